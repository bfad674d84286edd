// Pixel-exact tests of drawing: packets in, local memory out.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "gs_test_util.h"

namespace gstest {
namespace {

uint32_t Red(uint32_t c) {
    return c & 255;
}

TEST(GsRasterizer, GouraudInterpolatesAtPixelCentresAndFlatTakesTheLastVertex) {
    // Red runs 0..255 across x = 0..255 (red(x) = x at the vertices), so the pixel centre x + 0.5 gives
    // x after truncation; the same triangle flat takes the last vertex's colour.
    for (const bool gouraud : {true, false}) {
        Fixture f;
        AdPacket p;
        p.Set(kRegPrim, Prim(kPrimTriangle, gouraud))
            .Set(kRegRgbaq, Rgbaq(0, 50, 0, 128))
            .Set(kRegXyz2, Xyz(0, 0, 0))
            .Set(kRegRgbaq, Rgbaq(255, 50, 0, 128))
            .Set(kRegXyz2, Xyz(255 * 16, 0, 0))
            .Set(kRegRgbaq, gouraud ? Rgbaq(0, 50, 0, 128) : Rgbaq(9, 8, 7, 6))
            .Set(kRegXyz2, Xyz(0, 255 * 16, 0));
        f.Send(p);
        for (int y = 0; y < 64; y += 7)
            for (int x = 0; x < 64; x += 5)
                ASSERT_EQ(f.Pixel(x, y), gouraud ? 0x80003200u + uint32_t(x) : 0x06070809u) << x << "," << y;
    }
}

// Counts how often each pixel is drawn: additive blend (Cs - 0) * FIX + Cd with FIX 128 and colour 1.
void SetAdditive(AdPacket& p) {
    p.Set(kRegAlpha_1, 0x8000000000ull | (0u) | (2u << 2) | (2u << 4) | (1u << 6));
}

TEST(GsRasterizer, TrianglesSharingAnEdgeDrawEveryPixelExactlyOnce) {
    // Vertices at fractional positions so pixel centres fall exactly on edges: (8 in 12.4 = half a pixel).
    Fixture f;
    AdPacket p;
    SetAdditive(p);
    const int ax = 8, ay = 8, bx = 40 * 16 + 8, by = 8, cx = 40 * 16 + 8, cy = 30 * 16 + 8, dx = 8,
              dy = 30 * 16 + 8;
    p.Set(kRegPrim, Prim(kPrimTriangle, false, false, false, true)).Set(kRegRgbaq, Rgbaq(1, 0, 0, 128));
    p.Set(kRegXyz2, Xyz(ax, ay, 0)).Set(kRegXyz2, Xyz(bx, by, 0)).Set(kRegXyz2, Xyz(cx, cy, 0));
    p.Set(kRegXyz2, Xyz(ax, ay, 0)).Set(kRegXyz2, Xyz(cx, cy, 0)).Set(kRegXyz2, Xyz(dx, dy, 0));
    // A second pair along a steep diagonal, in the other winding.
    const int ex = 44 * 16, ey = 0, gx = 60 * 16 + 3, gy = 63 * 16, hx = 44 * 16, hy = 63 * 16;
    const int ix = 63 * 16, iy = 5;
    p.Set(kRegXyz2, Xyz(ex, ey, 0)).Set(kRegXyz2, Xyz(hx, hy, 0)).Set(kRegXyz2, Xyz(gx, gy, 0));
    p.Set(kRegXyz2, Xyz(ex, ey, 0)).Set(kRegXyz2, Xyz(gx, gy, 0)).Set(kRegXyz2, Xyz(ix, iy, 0));
    f.Send(p);
    int covered = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint32_t r = Red(f.Pixel(x, y));
            ASSERT_LE(r, 1u) << "pixel drawn twice at " << x << "," << y;
            covered += int(r);
        }
    }
    // The first quad's corners sit on pixel centres: top and left edges are in, bottom and right out,
    // so it covers columns 0..39 and rows 0..29 exactly.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(Red(f.Pixel(x, y)), 1u) << x << "," << y;
    for (int y = 0; y < 31; ++y) EXPECT_EQ(Red(f.Pixel(40, y)), 0u);
    for (int x = 0; x < 41; ++x) EXPECT_EQ(Red(f.Pixel(x, 30)), 0u);
    EXPECT_GT(covered, 1200);
}

// Whether pixel (x, y) of the 64 x 64 frame is covered by the triangle a, b, c (window coordinates, 12.4):
// its centre on the inner side of every edge, or on an edge that is a top or a left one.
bool CoversCentre(const int (&xs)[3], const int (&ys)[3], int x, int y) {
    int o[3] = {0, 1, 2};
    const int64_t area = int64_t(xs[1] - xs[0]) * (ys[2] - ys[0]) - int64_t(xs[2] - xs[0]) * (ys[1] - ys[0]);
    if (area == 0) return false;
    if (area < 0) std::swap(o[1], o[2]);
    const int64_t px = int64_t(x) * 16 + 8, py = int64_t(y) * 16 + 8;
    for (int i = 0; i < 3; ++i) {
        const int a = o[i], b = o[(i + 1) % 3];
        const int64_t A = int64_t(ys[a]) - ys[b], B = int64_t(xs[b]) - xs[a];
        const int64_t e = A * (px - xs[a]) + B * (py - ys[a]);
        const bool topLeft = A > 0 || (A == 0 && B > 0);
        if (e < 0 || (e == 0 && !topLeft)) return false;
    }
    return true;
}

// Random triangles of every size one at a time, compared pixel by pixel with the rule at every centre:
// small ones (the short path), larger ones and slivers (the row walk), ones reaching far outside the frame
// (guard band coordinates, negative ones too), edges exactly through pixel centres, horizontal and
// vertical edges; with one thread, with the row walk for every triangle, and shared out among threads
// (each band starts its walk at its own first row).
TEST(GsRasterizer, TrianglesCoverThePixelCentresTheTopLeftRuleGives) {
    constexpr int kOff = 1024 * 16;  // window (0, 0) at XYZ (1024, 1024): negative window positions too
    for (int mode = 0; mode < 3; ++mode) {
        const GeneralPath walkOnly(mode == 1);
        Fixture f(mode == 2 ? 3 : 1);
        AdPacket setup;
        setup.Set(kRegXyoffset_1, uint64_t(kOff) | (uint64_t(kOff) << 32))
            .Set(kRegTest_1, TestReg(false, kZtstAlways));
        f.Send(setup);
        Rng rnd{77u + uint32_t(mode)};
        int mismatches = 0, coveredTotal = 0;
        for (int i = 0; i < 700 && mismatches == 0; ++i) {
            int xs[3], ys[3];
            const int kind = int(rnd(6));
            const int cx = int(rnd(70 * 16)) - 3 * 16, cy = int(rnd(70 * 16)) - 3 * 16;
            for (int v = 0; v < 3; ++v) {
                switch (kind) {
                    case 0:  // under 16 pixels each way
                        xs[v] = cx + int(rnd(256));
                        ys[v] = cy + int(rnd(256));
                        break;
                    case 1:  // up to 40 pixels
                        xs[v] = cx + int(rnd(640)) - 320;
                        ys[v] = cy + int(rnd(640)) - 320;
                        break;
                    case 2:  // far outside the frame
                        xs[v] = int(rnd(2000 * 16)) - 1000 * 16;
                        ys[v] = int(rnd(2000 * 16)) - 1000 * 16;
                        break;
                    case 3:  // on pixel centres, so edges run through centres (and some are axis-aligned)
                        xs[v] = (cx & ~15) + 16 * int(rnd(12)) + 8;
                        ys[v] = (cy & ~15) + 16 * int(rnd(12)) + 8;
                        break;
                    default:  // slivers: the third vertex a few sixteenths off the middle of the first two
                        if (v < 2) {
                            xs[v] = cx + int(rnd(kind == 4 ? 256 : 1600)) - (kind == 4 ? 0 : 800);
                            ys[v] = cy + int(rnd(kind == 4 ? 256 : 1600)) - (kind == 4 ? 0 : 800);
                        } else {
                            xs[2] = (xs[0] + xs[1]) / 2 + int(rnd(9)) - 4;
                            ys[2] = (ys[0] + ys[1]) / 2 + int(rnd(9)) - 4;
                        }
                        break;
                }
            }
            AdPacket p;
            p.Set(kRegPrim, Prim(kPrimSprite)).Set(kRegRgbaq, Rgbaq(0, 0, 0, 0));
            p.Set(kRegXyz2, Xyz(kOff, kOff, 0)).Set(kRegXyz2, Xyz(kOff + 64 * 16, kOff + 64 * 16, 0));
            p.Set(kRegPrim, Prim(kPrimTriangle)).Set(kRegRgbaq, Rgbaq(255, 255, 255, 255));
            for (int v = 0; v < 3; ++v) p.Set(kRegXyz2, Xyz(xs[v] + kOff, ys[v] + kOff, 0));
            f.Send(p);
            for (int y = 0; y < 64; ++y) {
                for (int x = 0; x < 64; ++x) {
                    const bool want = CoversCentre(xs, ys, x, y), got = f.Pixel(x, y) != 0;
                    coveredTotal += got;
                    if (want != got && mismatches++ < 5) {
                        ADD_FAILURE() << "mode " << mode << " triangle " << i << " (" << xs[0] << "," << ys[0]
                                      << ") (" << xs[1] << "," << ys[1] << ") (" << xs[2] << "," << ys[2]
                                      << "): pixel " << x << "," << y << (want ? " missing" : " extra");
                    }
                }
            }
        }
        EXPECT_GT(coveredTotal, 50000) << "mode " << mode;
    }
}

// Rasterisers given one band of several each draw only their own rows, starting their walk at their first
// one: together they draw what one rasteriser draws, for band counts that are powers of two or not.
TEST(GsRasterizer, BandsTogetherDrawWhatOneRasteriserDraws) {
    DrawState st;
    st.fbw = 2;  // 128 pixels wide
    st.gouraud = true;
    st.zte = true;
    st.zBase = 16 * LocalMemory::kPageBytes;
    st.zpsm = kPsmZ24;
    st.ztst = kZtstGequal;
    st.scx1 = 127;
    st.scy1 = 199;
    st.version = 1;
    Rng rnd{9};
    std::vector<GsVertex> v(3 * 400);
    for (size_t i = 0; i < v.size(); ++i) {
        // Mostly small triangles, every fourth up to 100 pixels across; some reach past the scissor.
        const int size = (i / 3) % 4 == 0 ? 1600 : 200;
        const GsVertex& c = v[i - i % 3];
        v[i] = GsVertex{};
        v[i].x = i % 3 ? c.x + int(rnd(uint32_t(size))) - size / 2 : int(rnd(140 * 16)) - 6 * 16;
        v[i].y = i % 3 ? c.y + int(rnd(uint32_t(size))) - size / 2 : int(rnd(212 * 16)) - 6 * 16;
        v[i].z = rnd(1u << 24);
        v[i].r = uint8_t(rnd(256));
        v[i].g = uint8_t(rnd(256));
        v[i].b = uint8_t(rnd(256));
        v[i].a = uint8_t(rnd(256));
    }
    auto draw = [&](int count) {
        auto mem = std::make_unique<LocalMemory>();
        uint64_t pixels = 0;
        for (int band = 0; band < count; ++band) {
            Rasterizer r(*mem);
            r.SetBand(band, count);
            for (size_t i = 0; i < v.size(); i += 3) r.DrawTriangle(st, v[i], v[i + 1], v[i + 2], v[i + 2]);
            pixels += r.PixelsProcessed();
        }
        std::vector<uint8_t> out(mem->Data(), mem->Data() + 17 * LocalMemory::kPageBytes);
        return std::make_pair(out, pixels);
    };
    const auto one = draw(1);
    EXPECT_GT(one.second, 20000u);
    for (int count : {2, 3, 5, 32}) {
        const auto banded = draw(count);
        EXPECT_TRUE(banded.first == one.first) << count << " bands";
        EXPECT_EQ(banded.second, one.second) << count << " bands: every pixel drawn once";
    }
}

TEST(GsRasterizer, StripAndFanCoverAQuadWithoutOverlap) {
    for (uint32_t type : {uint32_t(kPrimTriangleStrip), uint32_t(kPrimTriangleFan)}) {
        Fixture f;
        AdPacket p;
        SetAdditive(p);
        p.Set(kRegPrim, Prim(type, false, false, false, true)).Set(kRegRgbaq, Rgbaq(1, 0, 0, 128));
        if (type == kPrimTriangleStrip) {
            p.Set(kRegXyz2, Xyz(0, 0, 0)).Set(kRegXyz2, Xyz(0, 160, 0)).Set(kRegXyz2, Xyz(160, 0, 0));
            p.Set(kRegXyz2, Xyz(160, 160, 0));
        } else {
            p.Set(kRegXyz2, Xyz(0, 0, 0)).Set(kRegXyz2, Xyz(160, 0, 0)).Set(kRegXyz2, Xyz(160, 160, 0));
            p.Set(kRegXyz2, Xyz(0, 160, 0));
        }
        f.Send(p);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x)
                EXPECT_EQ(Red(f.Pixel(x, y)), (x < 10 && y < 10) ? 1u : 0u) << type << ":" << x << "," << y;
    }
}

TEST(GsRasterizer, ScissorClipsEveryPrimitiveKind) {
    Fixture f;
    AdPacket p;
    p.Set(kRegScissor_1, Scissor(10, 19, 5, 14));
    f.Sprite(p, 0, 0, 64, 64, 0x11u, 0);
    p.Set(kRegPrim, Prim(kPrimTriangle)).Set(kRegRgbaq, Rgbaq(0x22, 0, 0, 0));
    p.Set(kRegXyz2, Xyz(0, 0, 0)).Set(kRegXyz2, Xyz(64 * 16, 0, 0)).Set(kRegXyz2, Xyz(0, 64 * 16, 0));
    f.Send(p);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 10 && x <= 19 && y >= 5 && y <= 14;
            const uint32_t expect = !inside ? 0u : (x + y < 63 ? 0x22u : 0x11u);
            ASSERT_EQ(f.Pixel(x, y), expect) << x << "," << y;
        }
    }
}

struct DepthCase {
    uint32_t ztst;
    bool drawnBelow, drawnEqual, drawnAbove;
};

TEST(GsRasterizer, DepthTestModesCompareLargerAsNearer) {
    const DepthCase cases[] = {
        {kZtstNever, false, false, false},
        {kZtstAlways, true, true, true},
        {kZtstGequal, false, true, true},
        {kZtstGreater, false, false, true},
    };
    for (const DepthCase& c : cases) {
        Fixture f;
        AdPacket p;
        f.Sprite(p, 0, 0, 3, 1, 0x01u, 1000);  // depth 1000 everywhere
        p.Set(kRegTest_1, TestReg(true, c.ztst));
        f.Sprite(p, 0, 0, 1, 1, 0x02u, 999);
        f.Sprite(p, 1, 0, 2, 1, 0x03u, 1000);
        f.Sprite(p, 2, 0, 3, 1, 0x04u, 1001);
        f.Send(p);
        EXPECT_EQ(f.Pixel(0, 0), c.drawnBelow ? 0x02u : 0x01u) << c.ztst;
        EXPECT_EQ(f.Pixel(1, 0), c.drawnEqual ? 0x03u : 0x01u) << c.ztst;
        EXPECT_EQ(f.Pixel(2, 0), c.drawnAbove ? 0x04u : 0x01u) << c.ztst;
        EXPECT_EQ(f.Depth(0, 0), c.drawnBelow ? 999u : 1000u);
        EXPECT_EQ(f.Depth(2, 0), c.drawnAbove ? 1001u : 1000u);
    }
}

TEST(GsRasterizer, DepthMaskKeepsDepthAndTriangleDepthIsTestedPerPixel) {
    Fixture f;
    AdPacket p;
    f.Sprite(p, 0, 0, 64, 64, 0u, 500);
    p.Set(kRegZbuf_1, Zbuf(2, kPsmZ24, true)).Set(kRegTest_1, TestReg(true, kZtstGequal));
    // Depth rises from 0 at x = 0 to 1000 at x = 64: only the right half (z >= 500) passes.
    p.Set(kRegPrim, Prim(kPrimTriangle)).Set(kRegRgbaq, Rgbaq(7, 0, 0, 0));
    p.Set(kRegXyz2, Xyz(0, 0, 0)).Set(kRegXyz2, Xyz(64 * 16, 0, 1000)).Set(kRegXyz2, Xyz(0, 64 * 16, 0));
    p.Set(kRegXyz2, Xyz(64 * 16, 0, 1000))
        .Set(kRegXyz2, Xyz(64 * 16, 64 * 16, 1000))
        .Set(kRegXyz2, Xyz(0, 64 * 16, 0));
    f.Send(p);
    EXPECT_EQ(Red(f.Pixel(10, 2)), 0u);
    EXPECT_EQ(Red(f.Pixel(40, 2)), 7u);
    EXPECT_EQ(Red(f.Pixel(31, 2)), 0u);  // centre 31.5 -> z 492
    EXPECT_EQ(Red(f.Pixel(32, 2)), 7u);  // centre 32.5 -> z 507
    EXPECT_EQ(f.Depth(40, 2), 500u);     // masked: unchanged
}

struct BlendCase {
    uint64_t alpha;
    uint32_t fix;
    uint32_t cs, as, cd;
    bool clamp;
    uint32_t expect;
};

TEST(GsRasterizer, AlphaBlendFormulasOfTheEngine) {
    const BlendCase cases[] = {
        // 0x44: (Cs - Cd) * As / 128 + Cd.  (100 - 200) * 64 >> 7 = -50.
        {0x44, 0, 100, 64, 200, true, 150},
        {0x44, 0, 200, 128, 10, true, 200},  // As 128 = 1.0 gives the source
        {0x44, 0, 200, 0, 10, true, 10},     // As 0 keeps the destination
        // 0x62: Cd - Cs * FIX / 128.  200 - 40 * 64 / 128 = 180.
        {0x62, 64, 40, 0, 200, true, 180},
        // 0x42: Cd - Cs * As / 128.  200 - 40 = 160; 10 - 100 clamps to 0, or wraps to 166 without clamping.
        {0x42, 0, 40, 128, 200, true, 160},
        {0x42, 0, 100, 128, 10, true, 0},
        {0x42, 0, 100, 128, 10, false, 166},
    };
    for (const BlendCase& c : cases) {
        Fixture f;
        AdPacket p;
        f.Sprite(p, 0, 0, 1, 1, c.cd | (c.cd << 8) | (c.cd << 16), 0);
        p.Set(kRegAlpha_1, c.alpha | (uint64_t(c.fix) << 32)).Set(kRegColclamp, c.clamp ? 1 : 0);
        f.Sprite(p, 0, 0, 1, 1, c.cs | (c.cs << 8) | (c.cs << 16) | (c.as << 24), 0, true);
        f.Send(p);
        const uint32_t px = f.Pixel(0, 0);
        EXPECT_EQ(Red(px), c.expect) << std::hex << c.alpha << " cs " << std::dec << c.cs << " cd " << c.cd;
        EXPECT_EQ((px >> 16) & 255, c.expect);
        EXPECT_EQ(px >> 24, c.as) << "alpha is written from the source";
    }
}

TEST(GsRasterizer, AlphaTestFailModesAndPabe) {
    Fixture f;
    AdPacket p;
    f.Sprite(p, 0, 0, 4, 1, 0x10101010u, 100);
    // ATE on, GEQUAL 0x40: alpha 0x20 fails. AFAIL KEEP / FB_ONLY / ZB_ONLY / RGB_ONLY on four pixels.
    for (int mode = 0; mode < 4; ++mode) {
        p.Set(kRegTest_1,
              1u | (5u << 1) | (0x40u << 4) | (uint64_t(mode) << 12) | TestReg(true, kZtstAlways));
        f.Sprite(p, mode, 0, mode + 1, 1, 0x20AABBCCu, 200);
    }
    f.Send(p);
    const uint32_t pixels[4] = {0x10101010u, 0x20AABBCCu, 0x10101010u, 0x10AABBCCu},
                   depths[4] = {100, 100, 200, 100};
    for (int mode = 0; mode < 4; ++mode) {
        EXPECT_EQ(f.Pixel(mode, 0), pixels[mode]) << mode;
        EXPECT_EQ(f.Depth(mode, 0), depths[mode]) << mode;
    }

    // PABE: sources with alpha below 0x80 are written unblended.
    AdPacket q;
    q.Set(kRegTest_1, TestReg(true, kZtstAlways)).Set(kRegPabe, 1).Set(kRegAlpha_1, 0x42);
    f.Sprite(q, 0, 0, 1, 1, 0x7F000005u, 0, true);
    f.Sprite(q, 1, 0, 2, 1, 0x80000005u, 0, true);
    f.Send(q);
    EXPECT_EQ(f.Pixel(0, 0), 0x7F000005u);
    EXPECT_EQ(Red(f.Pixel(1, 0)), 0xCCu - 5u);
}

TEST(GsRasterizer, DestinationAlphaTestFrameMaskAndFba) {
    Fixture f;
    AdPacket p;
    f.Sprite(p, 0, 0, 1, 1, 0x80000000u, 0);  // destination alpha bit set
    f.Sprite(p, 1, 0, 2, 1, 0x00000000u, 0);  // clear
    p.Set(kRegTest_1,
          (1u << 14) | TestReg(true, kZtstAlways));  // DATE, DATM 0: only alpha-bit-clear pixels pass
    f.Sprite(p, 0, 0, 2, 1, 0x00000055u, 0);
    f.Send(p);
    EXPECT_EQ(f.Pixel(0, 0), 0x80000000u);
    EXPECT_EQ(f.Pixel(1, 0), 0x00000055u);

    AdPacket q;
    q.Set(kRegTest_1, TestReg(true, kZtstAlways))
        .Set(kRegFrame_1, Frame(0, 1, kPsmCt32, 0xFF00FF00u))
        .Set(kRegFba_1, 1);
    f.Sprite(q, 2, 0, 3, 1, 0x11223344u, 0);
    f.Send(q);
    EXPECT_EQ(f.Pixel(2, 0), 0x00220044u)
        << "masked bytes keep the old zeroes; FBA sets alpha bit 7 (masked here)";
}

TEST(GsRasterizer, LinesDrawTheirStartButNotTheirEnd) {
    Fixture f;
    AdPacket p;
    p.Set(kRegPrim, Prim(kPrimLineStrip)).Set(kRegRgbaq, Rgbaq(9, 0, 0, 0));
    p.Set(kRegXyz2, Xyz(2 * 16 + 8, 1 * 16 + 8, 0)).Set(kRegXyz2, Xyz(6 * 16 + 8, 1 * 16 + 8, 0));
    p.Set(kRegXyz2, Xyz(6 * 16 + 8, 4 * 16 + 8, 0));
    f.Send(p);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Red(f.Pixel(x, 1)), (x >= 2 && x <= 6) ? 9u : 0u) << x;
    for (int y = 2; y < 6; ++y) EXPECT_EQ(Red(f.Pixel(6, y)), y <= 3 ? 9u : 0u) << y;
}

TEST(GsRasterizer, PointsAndFogAndSixteenBitFrame) {
    Fixture f;
    AdPacket p;
    p.Set(kRegFogcol, 0x0000FFu);
    p.Set(kRegPrim, Prim(kPrimPoint, false, false, true)).Set(kRegRgbaq, Rgbaq(0, 0, 255, 0));
    // XYZF2: fog 0 gives the fog colour, 255 the primitive colour (almost: (255 * c) >> 8).
    p.Set(kRegXyzf2, uint64_t(5 * 16) | (uint64_t(5 * 16) << 16) | (uint64_t(0) << 56));
    p.Set(kRegXyzf2, uint64_t(6 * 16) | (uint64_t(5 * 16) << 16) | (uint64_t(255) << 56));
    f.Send(p);
    EXPECT_EQ(f.Pixel(5, 5) & 0xFFFFFFu, 0x0000FEu);
    EXPECT_EQ(f.Pixel(6, 5) & 0xFFFFFFu, 0xFE0000u);

    AdPacket q;
    q.Set(kRegFrame_1, Frame(4, 1, kPsmCt16));
    f.Sprite(q, 0, 0, 2, 1, 0x80F80818u, 0);
    f.Send(q);
    // 5:5:5:1 packing: R 0x18 -> 3, G 0x08 -> 1, B 0xF8 -> 31, alpha bit from bit 7 of A.
    EXPECT_EQ(f.gs->Memory().Read16(4 * 8192), uint16_t(3 | (1 << 5) | (31 << 10) | 0x8000));
}

TEST(GsRasterizer, SameScenesGiveTheSameBitsOnEveryRun) {
    // Every kind of primitive and pipeline feature into fresh devices twice: local memory must match
    // byte for byte (no dependence on addresses, uninitialised state or timing).
    auto run = [] {
        Fixture f;
        AdPacket p;
        p.Set(kRegFogcol, 0x123456).Set(kRegAlpha_1, 0x44).Set(kRegTest_1, TestReg(true, kZtstGequal));
        Rng rnd{4242};
        for (int i = 0; i < 60; ++i) {
            const uint32_t type = rnd(7);
            p.Set(kRegPrim, Prim(type, rnd(2), false, rnd(2), rnd(2)));
            for (int v = 0; v < 3; ++v) {
                p.Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)));
                p.Set(kRegXyzf2, uint64_t(rnd(64 * 16)) | (uint64_t(rnd(64 * 16)) << 16) |
                                     (uint64_t(rnd(1 << 24)) << 32) | (uint64_t(rnd(256)) << 56));
            }
        }
        f.Send(p);
        return std::vector<uint8_t>(f.gs->Memory().Data(), f.gs->Memory().Data() + 5 * 8192);
    };
    const auto a = run();
    EXPECT_EQ(a, run());
    EXPECT_NE(std::count(a.begin(), a.end(), 0), long(a.size()));
}

}  // namespace
}  // namespace gstest
