#include "mkdisc/hud_art.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "engine/hal/geometry_format.h"
#include "mkdisc/race_art.h"
#include "race/hud/hud_pictures.h"

namespace {

constexpr uint32_t kInk = Argb(255, 10, 12, 20);
constexpr uint32_t kPanel = Argb(215, 14, 20, 40);
constexpr uint32_t kEdge = Argb(255, 255, 170, 30);
constexpr uint32_t kWhite = Argb(255, 255, 255, 255);
constexpr uint32_t kDim = Argb(255, 60, 66, 80);
constexpr float kPi = 3.14159265f;

// Bilinear resample to w x h (straight alpha is fine for these flat pictures).
Canvas Resample(const Canvas& src, int w, int h) {
    Canvas out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float sx = (float(x) + 0.5f) * float(src.width()) / float(w) - 0.5f;
            const float sy = (float(y) + 0.5f) * float(src.height()) / float(h) - 0.5f;
            const int x0 = std::clamp(int(std::floor(sx)), 0, src.width() - 1);
            const int y0 = std::clamp(int(std::floor(sy)), 0, src.height() - 1);
            const int x1 = std::min(x0 + 1, src.width() - 1), y1 = std::min(y0 + 1, src.height() - 1);
            const float tx = std::clamp(sx - float(x0), 0.0f, 1.0f),
                        ty = std::clamp(sy - float(y0), 0.0f, 1.0f);
            uint32_t p = 0;
            for (int s = 0; s < 32; s += 8) {
                auto ch = [&](int xx, int yy) { return float((src.at(xx, yy) >> s) & 255); };
                const float v = (ch(x0, y0) * (1 - tx) + ch(x1, y0) * tx) * (1 - ty) +
                                (ch(x0, y1) * (1 - tx) + ch(x1, y1) * tx) * ty;
                p |= uint32_t(std::lround(v)) << s;
            }
            out.fillRect(x, y, x + 1, y + 1, p);
        }
    return out;
}

// Draws with `draw` on a canvas of twice the on-screen size (sw x sh) and resamples to tw x th.
Canvas OnScreen(int sw, int sh, int tw, int th, const std::function<void(Canvas&)>& draw) {
    Canvas c(2 * sw, 2 * sh);
    draw(c);
    return Resample(c, tw, th);
}

// Outlined text at twice-size coordinates.
void Label(Canvas& c, int x, int y, const std::string& s, int scale, uint32_t colour) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) c.text(x + dx, y + dy, s, scale, kInk);
    c.text(x, y, s, scale, colour);
}

// ---- speedometer (screen 138 x 150, the lower 26 rows below the screen's edge) ----

constexpr float kDialCx = 138, kDialCy = 102, kDialR = 90;  // twice-size units
// Stunt-advantage segment k (0..7) spans these angles along the dial's upper rim (left to right).
void SegmentAngles(int k, float& a0, float& a1) {
    const float start = kPi * 1.12f, span = kPi * 0.76f / 8.0f;
    a0 = start + span * float(k) + 0.02f;
    a1 = start + span * float(k + 1) - 0.02f;
}
void Segment(Canvas& c, int k, uint32_t colour) {
    float a0, a1;
    SegmentAngles(k, a0, a1);
    std::vector<float> poly;
    for (int i = 0; i <= 8; ++i) {
        const float a = a0 + (a1 - a0) * float(i) / 8.0f;
        poly.push_back(kDialCx + (kDialR - 4) * std::cos(a));
        poly.push_back(kDialCy + (kDialR - 4) * std::sin(a));
    }
    for (int i = 8; i >= 0; --i) {
        const float a = a0 + (a1 - a0) * float(i) / 8.0f;
        poly.push_back(kDialCx + (kDialR - 24) * std::cos(a));
        poly.push_back(kDialCy + (kDialR - 24) * std::sin(a));
    }
    c.polygon(poly, colour);
}
// Lamps and labels stay inside the dial's ring (radius kDialR); the nitro sockets run out to its right
// below it, their label under them.
constexpr float kNitroY = 176, kNitroX0 = 158, kNitroStep = 22, kNitroR = 8;
constexpr int kPreX0 = 52, kPreY0 = 156, kPreX1 = 140, kPreY1 = 184;

void Dial(Canvas& c) {
    c.disc(kDialCx, kDialCy, kDialR + 6, Argb(255, 255, 170, 30));
    c.disc(kDialCx, kDialCy, kDialR, Argb(225, 14, 20, 40));
    c.ring(kDialCx, kDialCy, kDialR - 28, kDialR - 26, Argb(200, 120, 130, 160));
    for (int k = 0; k < 8; ++k) Segment(c, k, Argb(255, 40, 44, 60));
    // The digit window: the speed is printed right-aligned ending at x 78, rows 57..71 (on screen).
    c.fillRect(50, 104, 162, 150, Argb(255, 4, 16, 6));
    c.fillRect(50, 104, 162, 106, Argb(255, 90, 220, 110));
    Label(c, 166, 122, "MPH", 2, kWhite);
    Label(c, 86, 64, "STUNT", 2, Argb(255, 200, 200, 210));
    // Preload lamp socket and nitro sockets.
    c.fillRect(kPreX0, kPreY0, kPreX1, kPreY1, kDim);
    for (int i = 0; i < 5; ++i) c.disc(kNitroX0 + kNitroStep * float(i), kNitroY, kNitroR, kDim);
    // Under the sockets, ending where the last one ends: clear of the dial's ring, which at the label's
    // left edge is already some 10 twice-size pixels above it.
    const int nitroRight = int(kNitroX0 + 4.0f * kNitroStep + kNitroR);
    Label(c, nitroRight - Canvas::textWidth("NITRO", 2), int(kNitroY + kNitroR) + 5, "NITRO", 2,
          Argb(255, 200, 200, 210));
}

void PreloadLamp(Canvas& c, int state) {
    const uint32_t colours[3] = {Argb(255, 70, 76, 90), Argb(255, 255, 160, 20), Argb(255, 60, 230, 80)};
    c.fillRect(kPreX0, kPreY0, kPreX1, kPreY1, colours[state]);
    // Whole texels at the texture's scale: one glyph cell of 2 twice-size pixels is about one texel.
    const std::string label = "PRELOAD";
    const int w = Canvas::textWidth(label, 2, 1);
    c.text((kPreX0 + kPreX1 - w) / 2, kPreY0 + 7, label, 2, state ? kInk : kWhite, 1);
}

void NitroLight(Canvas& c, int i) {
    const float x = kNitroX0 + kNitroStep * float(i);
    c.disc(x, kNitroY, kNitroR, Argb(255, 40, 160, 255));
    c.disc(x - 3, kNitroY - 3, 4, Argb(200, 220, 240, 255));
}

// ---- stat box (screen 152 x 120) ----

void StatBox(Canvas& c, bool freestyle) {
    // The values print left-aligned 47 screen pixels in, one row every 19, the first 3 pixels above the
    // box's top edge; each is 14 pixels high (twice-size units below: 94 in, 38 a row, -6 and 28 high).
    // The box ends 3 pixels under the last row; below it the picture is clear. The top edge runs over
    // the label column only and the column's divider rises to it: the first value stands in the open
    // top of its column instead of under a border that would cross it. The top two rows stay clear too:
    // the HUD draws with the texture repeating, and the box's bottom edge is filtered with them.
    const int rows = freestyle ? 2 : 5;
    constexpr int kTop = 2;
    const int bottom = 38 * (rows - 1) - 6 + 28 + 6 + 3;  // last value, a gap, the edge
    c.fillRect(0, kTop, 304, bottom, kPanel);
    static const char* const kRace[5] = {"TIME", "POS", "LAP T", "BEST", "LAP"};
    static const char* const kFree[2] = {"LEFT", "SCORE"};
    for (int r = 0; r < rows; ++r) {
        const int top = 38 * r - 6;  // the value's top
        if (r % 2 == 1) c.fillRect(4, top - 4, 300, top + 34, Argb(60, 255, 255, 255));
        // The label (14 high here) stands on the value's foot, clear of the top edge on the first row.
        Label(c, 10, top + 14, freestyle ? kFree[r] : kRace[r], 2, Argb(255, 255, 200, 60));
    }
    for (int i = 0; i < 3; ++i) {
        c.fillRect(i, kTop + i, 88, kTop + i + 1, kEdge);           // top, over the labels
        c.fillRect(i, bottom - 1 - i, 304 - i, bottom - i, kEdge);  // bottom
        c.fillRect(i, kTop + i, i + 1, bottom - i, kEdge);          // left
        c.fillRect(303 - i, kTop, 304 - i, bottom - i, kEdge);      // right
    }
    c.fillRect(88, kTop, 91, bottom - 3, kEdge);  // the divider, up to the top edge
}

// ---- radar (bracket 144 x 136, arrow 20 x 20, blip 12 x 12) ----

void Bracket(Canvas& c) {
    c.fillRect(0, 0, 288, 272, Argb(255, 10, 14, 30));
    c.fillRect(12, 8, 276, 264, Argb(255, 0, 0, 0));
    for (int i = 0; i < 4; ++i) {
        c.fillRect(i, i, 288 - i, i + 1, kEdge);
        c.fillRect(i, 271 - i, 288 - i, 272 - i, kEdge);
        c.fillRect(i, i, i + 1, 272 - i, kEdge);
        c.fillRect(287 - i, i, 288 - i, 272 - i, kEdge);
    }
}

void MapArrow(Canvas& c) {
    // Points to the top edge (texture row 0): the heading.
    c.polygon({32, 2, 60, 58, 32, 44, 4, 58}, kInk);
    c.polygon({32, 10, 53, 52, 32, 40, 11, 52}, Argb(255, 255, 255, 255));
    c.polygon({32, 10, 32, 40, 11, 52}, Argb(255, 255, 80, 40));
}

void Blip(Canvas& c, int frame) {
    const float phase = float(frame) / 20.0f;
    const float r = 10.0f + 20.0f * phase;
    const uint32_t a = uint32_t(255.0f * (1.0f - phase));
    c.ring(32, 32, r - 3, r, Argb(a, 120, 255, 120));
    c.disc(32, 32, 10, kInk);
    c.disc(32, 32, 8, Argb(255, 80, 255, 90));
}

}  // namespace

Canvas HudArtCanvas(int i) {
    using namespace common;
    if (i == kSpeedDial) return OnScreen(138, 150, 128, 128, Dial);
    if (i >= kPreloadLight0 && i < kPreloadLight0 + kPreloadLights)
        return OnScreen(138, 150, 128, 128, [i](Canvas& c) { PreloadLamp(c, i - kPreloadLight0); });
    if (i >= kNitroLight0 && i < kNitroLight0 + kNitroLights)
        return OnScreen(138, 150, 128, 128, [i](Canvas& c) { NitroLight(c, i - kNitroLight0); });
    if (i >= kStuntSegment0 && i < kStuntSegment0 + kStuntSegments)
        return OnScreen(138, 150, 128, 128, [i](Canvas& c) {
            const int k = i - kStuntSegment0;
            Segment(c, k, Argb(255, 255, uint32_t(60 + 24 * k), 20));
        });
    if (i == kStatBox || i == kStatBoxFreestyle)
        return OnScreen(152, 120, 256, 128, [i](Canvas& c) { StatBox(c, i == kStatBoxFreestyle); });
    if (i == kRadarBracket) return OnScreen(144, 136, 128, 128, Bracket);
    if (i == kMapArrow) return OnScreen(32, 32, 32, 32, MapArrow);
    if (i >= kBlip0 && i < kBlip0 + kBlipFrames)
        return OnScreen(32, 32, 16, 16, [i](Canvas& c) { Blip(c, i - kBlip0); });
    return Canvas(1, 1);
}

std::vector<uint8_t> HudArtFile(int i) {
    if (!common::IsHudPicture(i)) return {};
    char name[16];
    std::snprintf(name, sizeof name, "hud%03d", i);
    return WriteBitmap(Palettised(HudArtCanvas(i), name));
}

// The baja guide arrow: a flat arrow pointing along -y, 100 long, 64 across the head, 12 thick along z;
// the game turns -y towards the next gate and +z to the sky. It floats a little above the eye line, so
// it raises its nose 40 degrees: the camera sees its lower face rather than an edge, with the tip above
// the tail as on a road sign. Both faces are bright (the lower one a shade darker) with dark rims. Pre-lit,
// so it reads in any light. Every face is written in both windings, so the arrow is solid whichever way faces
// are culled.
std::vector<uint8_t> GuideArrowGeometry() {
    constexpr float kZ = 6.0f, kRaise = 40.0f * kPi / 180.0f;
    // The outline: tip, left barb, shaft's left side, tail, shaft's right side, right barb.
    const float outline[7][2] = {{0, -50}, {-32, -6}, {-12, -6}, {-12, 50}, {12, 50}, {12, -6}, {32, -6}};
    // Colours are 0xAABBGGRR with 128 as full strength: orange-yellow faces, a pale tip.
    constexpr uint32_t kTop = 0x80106880, kUnder = 0x800C5470, kTip = 0x80508080, kRim = 0x80042438;
    GeoMaterial m;
    m.texture = CheckerTexture(16, 16, 0x80FFFFFF, 0x80FFFFFF);
    auto both = [&m](const GeoVertex& a, const GeoVertex& b, const GeoVertex& c) {
        for (const GeoVertex& v : {a, b, c, a, c, b}) m.triangles.push_back(v);
    };
    const float c = std::cos(kRaise), sn = std::sin(kRaise);
    auto at = [&](int i, float z, uint32_t rgba) {
        const float y = outline[i][1];
        GeoVertex v;
        v.x = outline[i][0], v.y = y * c + z * sn, v.z = z * c - y * sn;
        v.s = v.t = 0.5f;
        v.rgba = rgba;
        return v;
    };
    // The head and the shaft's two halves, on top and underneath.
    const int faces[3][3] = {{0, 1, 6}, {2, 3, 4}, {2, 4, 5}};
    for (const auto& f : faces) {
        both(at(f[0], kZ, f[0] == 0 ? kTip : kTop), at(f[1], kZ, kTop), at(f[2], kZ, kTop));
        both(at(f[0], -kZ, f[0] == 0 ? kTip : kUnder), at(f[1], -kZ, kUnder), at(f[2], -kZ, kUnder));
    }
    // The rim: one quad per edge of the outline.
    for (int i = 0; i < 7; ++i) {
        const int j = (i + 1) % 7;
        both(at(i, -kZ, kRim), at(j, -kZ, kRim), at(j, kZ, kRim));
        both(at(i, -kZ, kRim), at(j, kZ, kRim), at(i, kZ, kRim));
    }
    GeoMesh mesh;
    mesh.materials.push_back(m);
    return WriteGeometry(mesh);
}
