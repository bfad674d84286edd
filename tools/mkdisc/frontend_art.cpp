#include "mkdisc/frontend_art.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "mkdisc/fonts.h"
#include "mkdisc/race_art.h"
#include "mkdisc/team_colours.h"

namespace {

constexpr float kPi = 3.14159265f;

uint32_t Ch(uint32_t c, int shift) {
    return (c >> shift) & 0xFF;
}

// Linear mix of two colours (all four channels), t in 0..1.
uint32_t Mix(uint32_t a, uint32_t b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        float v = float(Ch(a, s)) + (float(Ch(b, s)) - float(Ch(a, s))) * t;
        out |= uint32_t(std::lround(v)) << s;
    }
    return out;
}

uint32_t WithAlpha(uint32_t c, uint32_t a) {
    return (c & 0x00FFFFFF) | (a << 24);
}

// A small fixed generator so pictures do not depend on the library's random state.
struct Lcg {
    uint32_t s;
    uint32_t next() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
    float unit() { return float(next() & 0xFFFF) / 65535.0f; }
};

// The front end's colours.
constexpr uint32_t kOrange = Argb(255, 255, 138, 28);
constexpr uint32_t kYellow = Argb(255, 255, 214, 60);
constexpr uint32_t kNavy = Argb(255, 12, 20, 48);
constexpr uint32_t kInk = Argb(255, 10, 10, 16);
constexpr uint32_t kWhite = Argb(255, 255, 255, 255);

// Team k's colours as the race's textures have them (a rider and a bike of one number match there too).
constexpr uint32_t FromTexel(uint32_t t) {
    return Argb(255, t & 0xFF, (t >> 8) & 0xFF, (t >> 16) & 0xFF);
}
constexpr uint32_t TeamColour(int k) {
    return FromTexel(kTeamBase[k % 10]);
}
constexpr uint32_t TeamTrim(int k) {
    return FromTexel(kTeamTrim[k % 10]);
}

}  // namespace

Canvas::Canvas(int w, int h, uint32_t fill) : w_(w), h_(h), px_(size_t(w) * h, fill) {}

void Canvas::blend(int x, int y, uint32_t argb, float cover) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    float a = float(Ch(argb, 24)) / 255.0f * std::clamp(cover, 0.0f, 1.0f);
    if (a <= 0) return;
    uint32_t& d = px_[size_t(y) * w_ + x];
    float da = float(Ch(d, 24)) / 255.0f;
    float oa = a + da * (1 - a);
    uint32_t out = uint32_t(std::lround(oa * 255)) << 24;
    for (int s = 0; s < 24; s += 8) {
        float v = oa > 0 ? (float(Ch(argb, s)) * a + float(Ch(d, s)) * da * (1 - a)) / oa : 0;
        out |= uint32_t(std::lround(std::clamp(v, 0.0f, 255.0f))) << s;
    }
    d = out;
}

void Canvas::fillRect(int x0, int y0, int x1, int y1, uint32_t argb) {
    for (int y = std::max(0, y0); y < std::min(h_, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) blend(x, y, argb);
}

void Canvas::gradientRect(int x0, int y0, int x1, int y1, uint32_t top, uint32_t bottom) {
    for (int y = std::max(0, y0); y < std::min(h_, y1); ++y) {
        uint32_t c = Mix(top, bottom, y1 - y0 > 1 ? float(y - y0) / float(y1 - y0 - 1) : 0.0f);
        for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) blend(x, y, c);
    }
}

void Canvas::disc(float cx, float cy, float r, uint32_t argb) {
    ring(cx, cy, -1.0f, r, argb);
}

void Canvas::ring(float cx, float cy, float r0, float r1, uint32_t argb) {
    for (int y = int(cy - r1 - 2); y <= int(cy + r1 + 2); ++y)
        for (int x = int(cx - r1 - 2); x <= int(cx + r1 + 2); ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            float c = std::clamp(r1 - d + 0.5f, 0.0f, 1.0f) * std::clamp(d - r0 + 0.5f, 0.0f, 1.0f);
            if (c > 0) blend(x, y, argb, c);
        }
}

void Canvas::line(float x0, float y0, float x1, float y1, float width, uint32_t argb) {
    float r = width / 2;
    float dx = x1 - x0, dy = y1 - y0;
    float len2 = dx * dx + dy * dy;
    for (int y = int(std::min(y0, y1) - r - 2); y <= int(std::max(y0, y1) + r + 2); ++y)
        for (int x = int(std::min(x0, x1) - r - 2); x <= int(std::max(x0, x1) + r + 2); ++x) {
            float px = x + 0.5f - x0, py = y + 0.5f - y0;
            float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f) : 0.0f;
            float d = std::hypot(px - t * dx, py - t * dy);
            float c = std::clamp(r - d + 0.5f, 0.0f, 1.0f);
            if (c > 0) blend(x, y, argb, c);
        }
}

void Canvas::polygon(const std::vector<float>& xy, uint32_t argb) {
    size_t n = xy.size() / 2;
    if (n < 3) return;
    float minX = xy[0], maxX = xy[0], minY = xy[1], maxY = xy[1];
    for (size_t i = 0; i < n; ++i) {
        minX = std::min(minX, xy[2 * i]), maxX = std::max(maxX, xy[2 * i]);
        minY = std::min(minY, xy[2 * i + 1]), maxY = std::max(maxY, xy[2 * i + 1]);
    }
    for (int y = std::max(0, int(minY)); y <= std::min(h_ - 1, int(maxY)); ++y)
        for (int x = std::max(0, int(minX)); x <= std::min(w_ - 1, int(maxX)); ++x) {
            int inside = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    float px = x + (sx + 0.5f) / 4, py = y + (sy + 0.5f) / 4;
                    bool in = false;
                    for (size_t i = 0, j = n - 1; i < n; j = i++) {
                        float xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
                        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
                    }
                    inside += in;
                }
            if (inside) blend(x, y, argb, float(inside) / 16.0f);
        }
}

int Canvas::textWidth(const std::string& s, int scale, int spacing) {
    return s.empty() ? 0 : int(s.size()) * (5 + spacing) * scale - spacing * scale;
}

int Canvas::text(int x, int y, const std::string& s, int scale, uint32_t argb, int spacing) {
    int cx = x;
    for (char ch : s) {
        int code = static_cast<unsigned char>(ch);
        if (code >= 32 && code < 32 + kFontGlyphs) {
            const char* g = kSampleGlyphs[code - 32];
            int row = 0, col = 0;
            for (const char* p = g; *p; ++p) {
                if (*p == '/') {
                    ++row, col = 0;
                    continue;
                }
                if (*p == '#')
                    fillRect(cx + col * scale, y + row * scale, cx + (col + 1) * scale, y + (row + 1) * scale,
                             argb);
                ++col;
            }
        }
        cx += (5 + spacing) * scale;
    }
    return cx - x;
}

BitmapImage Canvas::image32(const std::string& name) const {
    BitmapImage img;
    img.width = uint32_t(w_);
    img.height = uint32_t(h_);
    img.bitsPerPixel = 32;
    img.pixels.resize(px_.size() * 4);
    for (size_t i = 0; i < px_.size(); ++i) {
        uint32_t c = px_[i];
        img.pixels[4 * i + 0] = uint8_t(Ch(c, 16));
        img.pixels[4 * i + 1] = uint8_t(Ch(c, 8));
        img.pixels[4 * i + 2] = uint8_t(Ch(c, 0));
        img.pixels[4 * i + 3] = uint8_t((Ch(c, 24) * 128 + 127) / 255);
    }
    img.texName = name;
    return img;
}

namespace {

// Text with a dark outline and a drop shadow: how every word painted into a picture is drawn.
void OutlinedText(Canvas& c, int x, int y, const std::string& s, int scale, uint32_t fill, uint32_t edge) {
    int o = std::max(1, scale / 3);
    c.text(x + 2 * o, y + 2 * o, s, scale, WithAlpha(kInk, 150));
    for (int dy = -o; dy <= o; dy += o)
        for (int dx = -o; dx <= o; dx += o)
            if (dx || dy) c.text(x + dx, y + dy, s, scale, edge);
    c.text(x, y, s, scale, fill);
}

// Glyph text filled with a vertical gradient (for the logo): drawn on a side canvas and copied.
void GradientText(Canvas& c, int x, int y, const std::string& s, int scale, uint32_t top, uint32_t bottom) {
    int w = Canvas::textWidth(s, scale), h = 7 * scale;
    Canvas mask(w, h);
    mask.text(0, 0, s, scale, kWhite);
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx)
            if (mask.at(xx, yy) >> 24) c.blend(x + xx, y + yy, Mix(top, bottom, float(yy) / float(h - 1)));
}

}  // namespace

Canvas TitleArt() {
    Canvas c(512, 256);
    // Speed streaks behind the letters.
    Lcg rng{7};
    for (int i = 0; i < 26; ++i) {
        float y = 30 + rng.unit() * 150;
        float x0 = rng.unit() * 120, len = 120 + rng.unit() * 260;
        c.line(x0, y, x0 + len, y, 2 + rng.unit() * 3,
               WithAlpha(i % 3 ? kOrange : kYellow, 90 + (i * 37) % 100));
    }
    // "QZ" in big letters, outlined, with a slanted underline; "MOTOCROSS" below.
    const int big = 20;
    int qzW = Canvas::textWidth("QZ", big);
    int qx = (512 - qzW) / 2, qy = 12;
    for (int d = 8; d >= 1; --d) c.text(qx + d, qy + d + 4, "QZ", big, WithAlpha(kInk, 60));  // shadow
    for (int dy = -5; dy <= 5; dy += 1)
        for (int dx = -5; dx <= 5; dx += 5)
            if (dx * dx + dy * dy <= 25) c.text(qx + dx, qy + dy, "QZ", big, kInk);
    GradientText(c, qx, qy, "QZ", big, kYellow, Argb(255, 230, 80, 10));
    c.text(qx, qy, "QZ", big, WithAlpha(kWhite, 40));
    c.polygon({60, 166, 470, 158, 452, 176, 42, 184}, kOrange);
    c.polygon({60, 166, 470, 158, 466, 162, 56, 170}, WithAlpha(kYellow, 220));
    int mw = Canvas::textWidth("MOTOCROSS", 6, 2);
    int mx = (512 - mw) / 2, my = 196;
    for (int dy = -3; dy <= 3; dy += 3)
        for (int dx = -3; dx <= 3; dx += 3)
            if (dx || dy) c.text(mx + dx, my + dy, "MOTOCROSS", 6, kInk, 2);
    c.text(mx + 4, my + 4, "MOTOCROSS", 6, WithAlpha(kInk, 160), 2);
    c.text(mx, my, "MOTOCROSS", 6, kWhite, 2);
    return c;
}

Canvas SmallLogo() {
    Canvas c(128, 32);
    c.polygon({8, 24, 124, 22, 120, 28, 4, 30}, kOrange);
    OutlinedText(c, 6, 2, "QZ", 3, kYellow, kInk);
    c.text(46, 10, "MX", 2, kWhite);
    return c;
}

Canvas HighlightBar() {
    Canvas c(256, 32);
    // A slanted bar of deep orange fading out to the right, with a hot top edge.
    for (int y = 0; y < 32; ++y) {
        float slant = float(31 - y) * 0.5f;
        for (int x = 0; x < 256; ++x) {
            float fx = float(x) - slant;
            if (fx < 0) continue;
            float fade = 1.0f - std::pow(std::clamp(fx / 250.0f, 0.0f, 1.0f), 1.4f);
            uint32_t col = Mix(Argb(255, 190, 64, 12), Argb(255, 120, 30, 8), float(y) / 31.0f);
            if (y < 2) col = kYellow;
            c.blend(x, y, WithAlpha(col, uint32_t(235 * fade)), std::clamp(fx, 0.0f, 1.0f));
        }
    }
    return c;
}

Canvas BikePicture(int index) {
    Canvas c(256, 128);
    const uint32_t paint = TeamColour(index);
    const uint32_t dark = Mix(paint, kInk, 0.55f);
    const uint32_t metal = Argb(255, 170, 175, 185);
    // Ground shadow.
    for (int i = 0; i < 8; ++i) c.line(40 + i, 118, 216 - i, 118, 6 - i * 0.5f, WithAlpha(kInk, 30));
    // Wheels: knobbly tyre, rim, spokes, hub.
    for (float wx : {62.0f, 194.0f}) {
        const float wy = 88, r = 30;
        for (int k = 0; k < 24; ++k) {
            float a = float(k) * 2 * kPi / 24;
            c.disc(wx + std::cos(a) * (r - 1), wy + std::sin(a) * (r - 1), 3.2f, Argb(255, 28, 28, 30));
        }
        c.ring(wx, wy, r - 9, r, Argb(255, 36, 36, 40));
        c.ring(wx, wy, r - 12, r - 9, metal);
        for (int k = 0; k < 12; ++k) {
            float a = float(k) * kPi / 6;
            c.line(wx, wy, wx + std::cos(a) * (r - 11), wy + std::sin(a) * (r - 11), 1.2f,
                   Argb(200, 200, 200, 210));
        }
        c.disc(wx, wy, 5, Argb(255, 90, 90, 100));
    }
    // Swing arm, frame, fork, exhaust.
    c.line(62, 88, 124, 76, 7, Argb(255, 80, 82, 90));
    c.line(124, 76, 104, 52, 6, metal);
    c.line(104, 52, 160, 48, 6, metal);
    c.line(124, 76, 160, 48, 5, metal);
    c.line(194, 88, 172, 30, 7, Argb(255, 200, 170, 60));  // fork legs
    c.line(194, 88, 184, 62, 9, Argb(255, 60, 60, 66));
    c.line(120, 62, 76, 58, 6, Argb(255, 150, 150, 160));  // exhaust pipe
    c.line(78, 58, 60, 56, 9, Argb(255, 110, 110, 118));
    // Engine block.
    c.polygon({112, 58, 150, 56, 150, 84, 118, 84}, Argb(255, 70, 72, 80));
    c.polygon({118, 64, 144, 62, 144, 78, 120, 78}, Argb(255, 120, 122, 130));
    // Bodywork: rear fender, side plate with number, seat, tank, front fender, number plate.
    c.polygon({40, 40, 110, 44, 112, 54, 60, 56}, paint);
    c.polygon({84, 44, 118, 46, 116, 70, 92, 68}, paint);
    c.polygon({66, 38, 150, 40, 148, 46, 70, 46}, Argb(255, 30, 30, 34));  // seat
    c.polygon({126, 40, 168, 34, 174, 50, 150, 58, 128, 52}, paint);       // tank and shroud
    c.polygon({130, 44, 166, 40, 168, 46, 134, 50}, WithAlpha(kWhite, 90));
    c.polygon({174, 56, 222, 50, 228, 56, 188, 62}, paint);  // front fender
    c.polygon({162, 16, 180, 14, 184, 40, 168, 42}, dark);   // number plate
    c.line(160, 24, 186, 20, 4, Argb(255, 30, 30, 34));      // handlebar
    char num[16];
    std::snprintf(num, sizeof num, "%d", index + 1);
    c.fillRect(90, 50, 114, 64, WithAlpha(kWhite, 230));
    c.text(94 + (index + 1 < 10 ? 4 : 0), 51, num, 2, kInk);
    c.text(166, 22, num, 2, kWhite);
    return c;
}

Canvas RiderPicture(int index) {
    Canvas c(128, 128);
    const uint32_t kit = TeamColour(index);
    const uint32_t kit2 = TeamTrim(index);
    // Backdrop disc so the portrait reads on any panel.
    c.disc(64, 64, 62, WithAlpha(Mix(kit, kNavy, 0.7f), 220));
    c.ring(64, 64, 59, 62, WithAlpha(kOrange, 255));
    // Shoulders and jersey.
    c.polygon({14, 128, 22, 100, 44, 88, 84, 88, 106, 100, 114, 128}, kit);
    c.polygon({44, 88, 84, 88, 78, 104, 50, 104}, kit2);
    char num[16];
    std::snprintf(num, sizeof num, "%d", index + 1);
    const uint32_t light = Ch(kit, 16) * 3 + Ch(kit, 8) * 6 + Ch(kit, 0);  // ten times the brightness
    c.text(64 - Canvas::textWidth(num, 3) / 2, 106, num, 3, light > 1800 ? kInk : kWhite);
    // Helmet with peak, goggles and chin guard.
    c.disc(64, 56, 32, kit);
    c.polygon({30, 44, 98, 40, 104, 30, 60, 20, 28, 32}, kit2);
    c.polygon({26, 34, 70, 28, 66, 22, 22, 26}, Mix(kit, kInk, 0.4f));   // peak
    c.polygon({40, 50, 92, 50, 92, 66, 40, 66}, Argb(255, 30, 30, 34));  // goggle strap
    c.polygon({46, 52, 86, 52, 84, 64, 48, 64}, Argb(255, 90, 170, 230));
    c.polygon({50, 54, 70, 54, 68, 58, 52, 58}, WithAlpha(kWhite, 160));
    c.polygon({50, 70, 82, 70, 76, 90, 56, 90}, Mix(kit, kInk, 0.3f));
    for (int k = 0; k < 3; ++k) c.line(58, 76 + 4 * k, 74, 76 + 4 * k, 1.5f, Argb(255, 40, 40, 44));
    return c;
}

Canvas TrackThumbnail(int kind, int entry, bool open) {
    static const uint32_t kGround[4] = {Argb(255, 214, 176, 110), Argb(255, 52, 46, 60),
                                        Argb(255, 70, 128, 56), Argb(255, 138, 96, 60)};
    static const uint32_t kDirt[4] = {Argb(255, 150, 100, 50), Argb(255, 150, 110, 70),
                                      Argb(255, 120, 84, 48), Argb(255, 190, 150, 100)};
    Canvas c(128, 64);
    const uint32_t ground = kGround[kind & 3];
    c.gradientRect(0, 0, 128, 64, Mix(ground, kWhite, 0.15f), Mix(ground, kInk, 0.25f));
    if (!open) {
        c.fillRect(0, 0, 128, 64, WithAlpha(Argb(255, 40, 40, 48), 200));
        for (int x = -64; x < 128; x += 16) c.line(float(x), 64, float(x + 64), 0, 5, WithAlpha(kYellow, 60));
        int w = Canvas::textWidth("CLOSED", 2);
        OutlinedText(c, (128 - w) / 2, 25, "CLOSED", 2, Argb(255, 200, 200, 210), kInk);
        c.ring(64, 32, 30, 31.5f, WithAlpha(kWhite, 0));
        return c;
    }
    Lcg rng{uint32_t(1000 * (kind + 1) + entry * 17 + 3)};
    // Scenery dots: bushes outside, stands indoors.
    for (int i = 0; i < 40; ++i) {
        float x = rng.unit() * 128, y = rng.unit() * 64;
        c.disc(x, y, 1.5f + rng.unit() * 2, WithAlpha(Mix(ground, kInk, 0.4f), 160));
    }
    if (kind == 1) {
        c.fillRect(0, 0, 128, 8, Argb(255, 90, 80, 110));
        c.fillRect(0, 56, 128, 64, Argb(255, 90, 80, 110));
    }
    // The lap: a closed loop of radial wobble (baja wide, indoor serpentine).
    const int n = 96;
    const int lobes = 2 + int(rng.next() % 3) + (kind == 1 ? 2 : 0);
    const float phase = rng.unit() * 2 * kPi, amp = 0.15f + rng.unit() * 0.2f;
    std::vector<float> xs, ys;
    for (int i = 0; i <= n; ++i) {
        float a = float(i) * 2 * kPi / n;
        float r = 1.0f + amp * std::sin(lobes * a + phase) + 0.08f * std::sin(7 * a + phase * 2);
        xs.push_back(64 + std::cos(a) * 50 * r);
        ys.push_back(32 + std::sin(a) * 22 * r);
    }
    for (int i = 0; i < n; ++i) c.line(xs[i], ys[i], xs[i + 1], ys[i + 1], 7, WithAlpha(kInk, 90));
    for (int i = 0; i < n; ++i) c.line(xs[i], ys[i], xs[i + 1], ys[i + 1], 5, kDirt[kind & 3]);
    for (int i = 0; i < n; ++i) c.line(xs[i], ys[i], xs[i + 1], ys[i + 1], 1, WithAlpha(kWhite, 70));
    // Start line and jumps.
    c.line(xs[0] - 4, ys[0], xs[0] + 4, ys[0], 2, kWhite);
    for (int j = 1; j < 5; ++j) {
        int i = j * n / 5 + int(rng.next() % 6);
        c.disc(xs[i], ys[i], 2.2f, kOrange);
    }
    // Entry number in the corner.
    char num[16];
    std::snprintf(num, sizeof num, "%d", entry + 1);
    OutlinedText(c, 4, 4, num, 2, kWhite, kInk);
    return c;
}

Canvas Trophy(int tier) {
    static const uint32_t kMetal[3] = {Argb(255, 205, 127, 50), Argb(255, 200, 205, 215),
                                       Argb(255, 250, 200, 40)};
    const uint32_t m = kMetal[tier % 3];
    Canvas c(64, 64);
    c.polygon({18, 56, 46, 56, 44, 62, 20, 62}, Argb(255, 60, 44, 30));   // base
    c.polygon({26, 44, 38, 44, 40, 56, 24, 56}, Mix(m, kInk, 0.3f));      // stem
    c.polygon({14, 8, 50, 8, 46, 30, 38, 42, 26, 42, 18, 30}, m);         // cup
    c.polygon({18, 10, 26, 10, 24, 30, 20, 28}, WithAlpha(kWhite, 120));  // shine
    c.ring(12, 18, 4, 7, m);
    c.ring(52, 18, 4, 7, m);
    return c;
}

Canvas SpecialTrophy() {
    Canvas c(128, 128);
    for (int k = 0; k < 16; ++k) {
        float a = float(k) * kPi / 8;
        c.line(64, 56, 64 + std::cos(a) * 62, 56 + std::sin(a) * 62, 6, WithAlpha(kYellow, 60));
    }
    c.polygon({30, 112, 98, 112, 94, 124, 34, 124}, Argb(255, 50, 36, 24));
    c.polygon({52, 86, 76, 86, 80, 112, 48, 112}, Argb(255, 200, 150, 30));
    c.polygon({24, 14, 104, 14, 96, 56, 78, 82, 50, 82, 32, 56}, Argb(255, 250, 205, 50));
    c.polygon({32, 18, 46, 18, 42, 56, 36, 52}, WithAlpha(kWhite, 130));
    c.ring(20, 34, 8, 13, Argb(255, 240, 190, 40));
    c.ring(108, 34, 8, 13, Argb(255, 240, 190, 40));
    std::vector<float> star;
    for (int k = 0; k < 10; ++k) {
        float a = -kPi / 2 + float(k) * kPi / 5, r = k % 2 ? 7.0f : 16.0f;
        star.push_back(64 + std::cos(a) * r), star.push_back(42 + std::sin(a) * r);
    }
    c.polygon(star, Argb(255, 230, 60, 30));
    return c;
}

Canvas Padlock() {
    Canvas c(32, 32);
    c.ring(16, 13, 5, 8, Argb(255, 170, 175, 185));
    c.fillRect(6, 13, 26, 29, Argb(255, 200, 160, 40));
    c.fillRect(6, 13, 26, 15, Argb(255, 250, 220, 110));
    c.disc(16, 20, 2.5f, kInk);
    c.line(16, 20, 16, 25, 2, kInk);
    return c;
}

Canvas CheckMark() {
    Canvas c(32, 32);
    c.disc(16, 16, 14, Argb(255, 30, 90, 200));
    c.ring(16, 16, 12, 14, Argb(255, 140, 190, 255));
    c.line(9, 16, 14, 22, 4, kWhite);
    c.line(14, 22, 24, 9, 4, kWhite);
    return c;
}

Canvas SkillPips(int level) {
    Canvas c(128, 16);
    for (int i = 0; i < 5; ++i) {
        int x0 = 2 + i * 25;
        bool lit = i < level;
        c.polygon({float(x0 + 4), 2, float(x0 + 23), 2, float(x0 + 19), 14, float(x0), 14},
                  lit ? Mix(kYellow, kOrange, float(i) / 4) : WithAlpha(Argb(255, 80, 90, 120), 200));
        if (lit) c.line(float(x0 + 5), 3, float(x0 + 21), 3, 1, WithAlpha(kWhite, 160));
    }
    return c;
}

Canvas PadDiagram() {
    Canvas c(256, 128);
    const uint32_t body = Argb(255, 60, 64, 76), edge = Argb(255, 150, 156, 170);
    c.disc(60, 64, 50, edge);
    c.disc(196, 64, 50, edge);
    c.fillRect(60, 18, 196, 110, edge);
    c.disc(60, 64, 47, body);
    c.disc(196, 64, 47, body);
    c.fillRect(60, 21, 196, 107, body);
    // D-pad, face buttons, sticks, shoulder buttons.
    c.fillRect(46, 44, 58, 76, Argb(255, 30, 30, 36));
    c.fillRect(36, 54, 68, 66, Argb(255, 30, 30, 36));
    const uint32_t face[4] = {Argb(255, 60, 200, 150), Argb(255, 230, 70, 70), Argb(255, 110, 150, 240),
                              Argb(255, 220, 120, 200)};
    const float fx[4] = {196, 216, 196, 176}, fy[4] = {40, 60, 80, 60};
    for (int i = 0; i < 4; ++i) {
        c.disc(fx[i], fy[i], 9, Argb(255, 30, 30, 36));
        c.ring(fx[i], fy[i], 4, 6, face[i]);
    }
    c.disc(100, 90, 12, Argb(255, 30, 30, 36));
    c.disc(156, 90, 12, Argb(255, 30, 30, 36));
    c.fillRect(30, 8, 90, 16, edge);
    c.fillRect(166, 8, 226, 16, edge);
    return c;
}

BitmapImage LoadingScreenImage() {
    // Drawn at screen size, then resampled to 512 x 512 (the bar stretches it over the whole display).
    Canvas s(640, 448);
    s.gradientRect(0, 0, 640, 448, Argb(255, 16, 28, 70), Argb(255, 4, 6, 16));
    for (int x = -448; x < 640; x += 40) s.line(float(x), 448, float(x + 448), 0, 10, WithAlpha(kWhite, 10));
    Canvas logo = TitleArt();
    for (int y = 0; y < 128; ++y)  // the logo at half size, centred above the bar
        for (int x = 0; x < 256; ++x) {
            uint32_t p = Mix(Mix(logo.at(2 * x, 2 * y), logo.at(2 * x + 1, 2 * y), 0.5f),
                             Mix(logo.at(2 * x, 2 * y + 1), logo.at(2 * x + 1, 2 * y + 1), 0.5f), 0.5f);
            if (p >> 24) s.blend(192 + x, 24 + y, p);
        }
    // Trough of the progress bar: (248, 170) - (446, 180).
    s.fillRect(240, 162, 454, 188, WithAlpha(kInk, 230));
    s.fillRect(242, 164, 452, 186, Argb(255, 90, 96, 120));
    s.fillRect(246, 168, 448, 182, Argb(255, 20, 22, 30));
    int w = Canvas::textWidth("LOADING", 3, 1);
    OutlinedText(s, (640 - w) / 2, 200, "LOADING", 3, kWhite, kInk);
    const char* tip = "TIP: LAND ON BOTH WHEELS TO KEEP YOUR SPEED";
    OutlinedText(s, (640 - Canvas::textWidth(tip, 2)) / 2, 390, tip, 2, Argb(255, 200, 210, 230), kInk);
    Canvas out(512, 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            // Bilinear sample of the screen-sized picture.
            float fx = (x + 0.5f) * 640.0f / 512.0f - 0.5f, fy = (y + 0.5f) * 448.0f / 512.0f - 0.5f;
            int x0 = std::clamp(int(std::floor(fx)), 0, 639), y0 = std::clamp(int(std::floor(fy)), 0, 447);
            int x1 = std::min(x0 + 1, 639), y1 = std::min(y0 + 1, 447);
            float tx = std::clamp(fx - float(x0), 0.0f, 1.0f), ty = std::clamp(fy - float(y0), 0.0f, 1.0f);
            uint32_t top = Mix(s.at(x0, y0), s.at(x1, y0), tx), bot = Mix(s.at(x0, y1), s.at(x1, y1), tx);
            out.blend(x, y, Mix(top, bot, ty));
        }
    // Palettised: at 32 bits a 512 x 512 picture needs more graphics memory than the texture pool holds.
    return Palettised(out, "loadscrn");
}

BitmapImage LoadingBarImage() {
    Canvas c(64, 16);
    c.gradientRect(0, 0, 64, 16, kYellow, Argb(255, 210, 80, 10));
    c.fillRect(0, 0, 64, 2, WithAlpha(kWhite, 200));
    return c.image32("loadbar");
}
