// Triangle set-up against its general path: the short path of small triangles and the split row walk
// must give the rows of the four-bound walk, alone, in bands, and on the raster threads; and the AVX2
// set-up (four planes at once, short triangles eight centres a step) the bits of both.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "gs_test_util.h"

namespace gstest {
namespace {

constexpr uint32_t kFbw = 10, kW = 640, kH = 448;
constexpr uint32_t kDepthBase = 140 * LocalMemory::kPageBytes, kTexBase = 300 * LocalMemory::kPageBytes;
constexpr size_t kCompared = 150 * LocalMemory::kPageBytes;  // frame and depth buffer

// The attribute sets a triangle is drawn with: flat or Gouraud, untextured or textured by ST (perspective)
// or UV, fogged or not, depth tested or not, blended or not, 24- or 32-bit depth (k from 0 to 191).
DrawState StateFor(uint32_t k) {
    DrawState st;
    st.fbw = kFbw;
    st.fpsm = kPsmCt32;
    st.zBase = kDepthBase;
    st.zpsm = k < 96 ? kPsmZ24 : kPsmZ32;
    st.zte = (k & 1) != 0;
    st.ztst = kZtstGequal;
    st.scx1 = int32_t(kW) - 1;
    st.scy1 = int32_t(kH) - 1;
    st.gouraud = (k & 2) != 0;
    st.fogging = (k & 4) != 0;
    st.fogR = 200;
    st.blending = (k & 8) != 0;
    st.alphaA = 0;
    st.alphaB = 1;
    st.alphaC = 0;
    st.alphaD = 1;
    const uint32_t tex = (k >> 4) % 3;  // none, ST, UV
    st.textured = tex != 0;
    st.uvTexels = tex == 2;
    if (st.textured) {
        st.tBase = kTexBase;
        st.tbw = 1;
        st.tpsm = kPsmCt32;
        st.tw = st.th = 6;
        st.tfx = kTfxModulate;
        st.bilinearMag = (k & 64) != 0;
    }
    st.texFast = Rasterizer::TexFastApplies(st);
    st.version = k + 1;
    return st;
}

struct Tri {
    GsVertex v[3];
    uint32_t state;
};

// Depth (24 or 32 bits by the state), colours, fog and texture coordinates at random.
void RandomAttributes(Rng& rnd, uint32_t state, GsVertex& v) {
    v.z = state < 96 ? rnd(1u << 24) : rnd(1u << 24) << 8 | rnd(256);
    v.r = uint8_t(rnd(256));
    v.g = uint8_t(rnd(256));
    v.b = uint8_t(rnd(256));
    v.a = uint8_t(rnd(256));
    v.fog = uint8_t(rnd(256));
    v.q = 0.25f + float(rnd(1000)) / 500.0f;
    v.s = float(rnd(1000)) / 1000.0f * v.q;
    v.t = float(rnd(1000)) / 1000.0f * v.q;
    v.u = rnd(64 * 16);
    v.v = rnd(64 * 16);
}

// Random triangles of every kind of shape set-up meets, with random attributes.
std::vector<Tri> RandomTriangles(uint32_t seed, int count) {
    Rng rnd{seed};
    std::vector<Tri> out(size_t(count), Tri{});
    for (Tri& t : out) {
        t.state = rnd(192);
        const int kind = int(rnd(11));
        const int cx = int(rnd((kW + 40) * 16)) - 320, cy = int(rnd((kH + 40) * 16)) - 320;
        for (int i = 0; i < 3; ++i) {
            GsVertex& v = t.v[i];
            switch (kind) {
                case 0:  // within a pixel or two
                    v.x = cx + int(rnd(24));
                    v.y = cy + int(rnd(24));
                    break;
                case 1:  // under 16 pixels each way (the short path)
                    v.x = cx + int(rnd(256));
                    v.y = cy + int(rnd(256));
                    break;
                case 2:  // up to 40 pixels
                    v.x = cx + int(rnd(1280)) - 640;
                    v.y = cy + int(rnd(1280)) - 640;
                    break;
                case 3:  // anywhere on the screen and somewhat off it
                    v.x = int(rnd((kW + 200) * 16)) - 1600;
                    v.y = int(rnd((kH + 200) * 16)) - 1600;
                    break;
                case 4:  // far outside the screen, as guard band coordinates reach
                    v.x = int(rnd(1u << 18)) - (1 << 17);
                    v.y = int(rnd(1u << 18)) - (1 << 17);
                    break;
                case 5:  // on pixel centres: edges through centres, some horizontal or vertical
                    v.x = (cx & ~15) + 16 * int(rnd(i == 0 ? 40 : 3) * (rnd(2) ? 1 : 13)) + 8;
                    v.y = (cy & ~15) + 16 * int(rnd(i == 0 ? 40 : 3) * (rnd(2) ? 1 : 13)) + 8;
                    break;
                case 6:  // degenerate: on one line (or two vertices the same)
                    if (i < 2) {
                        v.x = cx + int(rnd(3200)) - 1600;
                        v.y = cy + int(rnd(3200)) - 1600;
                    } else {
                        const int64_t f = int64_t(rnd(5)) - 2;
                        v.x = int(t.v[0].x + f * (t.v[1].x - t.v[0].x));
                        v.y = int(t.v[0].y + f * (t.v[1].y - t.v[0].y));
                    }
                    break;
                case 9:  // wide and short: up to 70 pixels wide, under 17 high (the AVX2 short path's limits)
                    v.x = cx + int(rnd(i == 0 ? 1120 : 16)) + (i == 1 ? 1000 : 0);
                    v.y = cy + int(rnd(272));
                    break;
                case 10:  // as wide, a vertex (or two) on one row of centres: horizontal edges
                    v.x = cx + int(rnd(1100));
                    v.y = (cy & ~15) + 8 + (i == 2 ? 16 * int(rnd(17)) - 128 : 0);
                    break;
                default:  // slivers: the third vertex a few sixteenths off the middle of the first two
                    if (i < 2) {
                        const int reach = kind == 7 ? 256 : 6000;
                        v.x = cx + int(rnd(uint32_t(reach))) - reach / 2;
                        v.y = cy + int(rnd(uint32_t(reach))) - reach / 2;
                    } else {
                        v.x = (t.v[0].x + t.v[1].x) / 2 + int(rnd(9)) - 4;
                        v.y = (t.v[0].y + t.v[1].y) / 2 + int(rnd(9)) - 4;
                    }
                    break;
            }
            RandomAttributes(rnd, t.state, v);
        }
        // Attributes the same at every vertex, as most of a race's colours are (the set-up skips their
        // divisions): the colour, the colour but alpha, depth, or depth and texture coordinates.
        const uint32_t shared = rnd(6);
        for (int i = 1; i < 3; ++i) {
            GsVertex& v = t.v[i];
            const GsVertex& v0 = t.v[0];
            if (shared == 1 || shared == 2) {
                v.r = v0.r;
                v.g = v0.g;
                v.b = v0.b;
                v.a = shared == 1 ? v0.a : v.a;
            }
            if (shared >= 3) v.z = v0.z;
            if (shared == 4) {
                v.s = v0.s;
                v.t = v0.t;
                v.q = v0.q;
                v.u = v0.u;
                v.v = v0.v;
                v.fog = v0.fog;
            }
        }
    }
    return out;
}

std::unique_ptr<LocalMemory> MemoryWithTexture() {
    auto mem = std::make_unique<LocalMemory>();
    Rng rnd{5};
    for (uint32_t i = 0; i < 64 * 64 * 4; ++i) mem->Data()[kTexBase + i] = uint8_t(rnd(256));
    return mem;
}

// The general set-up (every triangle through the four-bound row walk, planes one at a time) is what the
// others are measured by; `vex` allows the AVX2 set-up where the processor has it.
struct GeneralSetup {
    GeneralSetup(bool on, bool vex)
        : old(Rasterizer::ForceGeneralSetup(on)), oldVex(Rasterizer::AllowVexSetup(vex)) {}
    ~GeneralSetup() {
        Rasterizer::ForceGeneralSetup(old);
        Rasterizer::AllowVexSetup(oldVex);
    }
    bool old, oldVex;
};

struct Drawn {
    std::vector<uint8_t> bytes;
    uint64_t pixels = 0;
};

Drawn DrawOne(const std::vector<Tri>& tris, bool general, bool vex = true) {
    const GeneralSetup g(general, vex);
    auto mem = MemoryWithTexture();
    Rasterizer r(*mem);
    for (const Tri& t : tris) {
        const DrawState st = StateFor(t.state);
        r.DrawTriangle(st, t.v[0], t.v[1], t.v[2], t.v[2]);
    }
    return Drawn{std::vector<uint8_t>(mem->Data(), mem->Data() + kCompared), r.PixelsProcessed()};
}

TEST(GsTriangleSetup, RandomTrianglesDrawTheBitsOfTheGeneralSetup) {
    for (uint32_t seed : {1u, 2u}) {
        const std::vector<Tri> tris = RandomTriangles(seed, 2000);
        const Drawn general = DrawOne(tris, true);
        EXPECT_GT(general.pixels, 500000u) << "seed " << seed;
        for (bool vex : {true, false}) {
            const Drawn fast = DrawOne(tris, false, vex);
            EXPECT_EQ(fast.pixels, general.pixels) << "seed " << seed << ", vex " << vex;
            EXPECT_TRUE(fast.bytes == general.bytes) << "seed " << seed << ", vex " << vex;
        }
    }
}

// The same triangles one at a time, each over a cleared buffer, so a wrong row of any one triangle shows.
TEST(GsTriangleSetup, EachTriangleCoversTheRowsOfTheGeneralSetup) {
    const std::vector<Tri> tris = RandomTriangles(9, 600);
    int covering = 0;
    for (size_t i = 0; i < tris.size(); ++i) {
        const std::vector<Tri> one{tris[i]};
        const Drawn general = DrawOne(one, true);
        covering += general.pixels > 0 ? 1 : 0;
        for (bool vex : {true, false}) {
            const Drawn fast = DrawOne(one, false, vex);
            ASSERT_EQ(fast.pixels, general.pixels) << "triangle " << i << ", vex " << vex;
            ASSERT_TRUE(fast.bytes == general.bytes) << "triangle " << i << ", vex " << vex;
        }
    }
    EXPECT_GT(covering, 300);
}

// Rasterisers given one band of several each draw every triangle, starting both row walks and the short
// paths at their own first row: together, slot after slot in either order, they draw the bits of one
// rasteriser with the general set-up (each pixel's triangles still come in order).
TEST(GsTriangleSetup, BandsDrawingEveryKindOfTriangleDrawWhatOneRasteriserDraws) {
    const std::vector<Tri> tris = RandomTriangles(17, 1000);
    const Drawn one = DrawOne(tris, true);
    for (bool vex : {true, false}) {
        const GeneralSetup g(false, vex);
        for (int count : {3, 32}) {
            for (bool reverse : {false, true}) {
                auto mem = MemoryWithTexture();
                uint64_t pixels = 0;
                for (int k = 0; k < count; ++k) {
                    Rasterizer r(*mem);
                    r.SetBand(reverse ? count - 1 - k : k, count);
                    for (const Tri& t : tris)
                        r.DrawTriangle(StateFor(t.state), t.v[0], t.v[1], t.v[2], t.v[2]);
                    pixels += r.PixelsProcessed();
                }
                EXPECT_EQ(pixels, one.pixels) << count << " bands, vex " << vex;
                EXPECT_TRUE(std::vector<uint8_t>(mem->Data(), mem->Data() + kCompared) == one.bytes)
                    << count << " bands, reverse " << reverse << ", vex " << vex;
            }
        }
    }
}

// Triangles of the short path's sizes with their box's columns at each side of the widths where it changes
// how many groups of eight columns a row takes (8, 16, 32 and 64 columns), one to 16 rows high, many of them
// covering only a row or none.
std::vector<Tri> ChunkEdgeTriangles(uint32_t seed, int count, int counts[5]) {
    static constexpr int kWidths[] = {0, 1, 6, 7, 8, 9, 14, 15, 16, 17, 30, 31, 32, 33, 61, 62, 63};
    Rng rnd{seed};
    std::vector<Tri> out;
    while (int(out.size()) < count) {
        Tri t{};
        t.state = rnd(192);
        const int w = kWidths[rnd(sizeof(kWidths) / sizeof(kWidths[0]))];
        const int h = int(rnd(16)) + 1;
        const int bx0 = int(rnd(kW - 64)), y0 = int(rnd(kH - 16));
        // Leftmost and rightmost vertices inside the columns whose centres bound the box, the third anywhere
        // between them; rows likewise.
        const int xl = bx0 * 16 + 8 - int(rnd(16)), xr = (bx0 + w) * 16 + 8 + int(rnd(16));
        const int yt = y0 * 16 + 8 - int(rnd(16)), yb = (y0 + h - 1) * 16 + 8 + int(rnd(16));
        const int xs[3] = {xl, xr, xl + int(rnd(uint32_t(xr - xl + 1)))};
        const int ys[3] = {yt + int(rnd(uint32_t(yb - yt + 1))), yt + int(rnd(uint32_t(yb - yt + 1))),
                           rnd(2) ? yt : yb};
        const int turn = int(rnd(3));
        for (int i = 0; i < 3; ++i) {
            GsVertex& v = t.v[i];
            v.x = xs[(i + turn) % 3];
            v.y = ys[(i + turn) % 3];
            RandomAttributes(rnd, t.state, v);
        }
        // The box as set-up works it out: columns bx0..bx1 whose centres can be inside.
        const int minX = std::min({t.v[0].x, t.v[1].x, t.v[2].x}),
                  maxX = std::max({t.v[0].x, t.v[1].x, t.v[2].x});
        const int cols = ((maxX - 8) >> 4) - ((minX + 7) >> 4);
        if (cols < 0 || cols > 63) continue;
        ++counts[cols < 8 ? 0 : cols < 16 ? 1 : cols < 32 ? 2 : 3];
        counts[4] += h == 1 ? 1 : 0;
        out.push_back(t);
    }
    return out;
}

// Every group count of the short path, at its edges, alone, one triangle at a time and in bands: the bits of
// the general set-up.
TEST(GsTriangleSetup, ShortTrianglesAtEachGroupCountDrawTheBitsOfTheGeneralSetup) {
    int counts[5] = {};
    const std::vector<Tri> tris = ChunkEdgeTriangles(31, 1600, counts);
    for (int i = 0; i < 4; ++i) EXPECT_GT(counts[i], 150) << "group count class " << i;
    EXPECT_GT(counts[4], 60);  // one row high
    const Drawn general = DrawOne(tris, true);
    EXPECT_GT(general.pixels, 50000u);
    for (bool vex : {true, false}) {
        const Drawn fast = DrawOne(tris, false, vex);
        EXPECT_EQ(fast.pixels, general.pixels) << "vex " << vex;
        EXPECT_TRUE(fast.bytes == general.bytes) << "vex " << vex;
    }
    for (size_t i = 0; i < 300; ++i) {
        const std::vector<Tri> one{tris[i]};
        const Drawn g = DrawOne(one, true);
        const Drawn fast = DrawOne(one, false);
        ASSERT_EQ(fast.pixels, g.pixels) << "triangle " << i;
        ASSERT_TRUE(fast.bytes == g.bytes) << "triangle " << i;
    }
    // Rasterisers of 2 and 5 bands (rows 16 high: most of these triangles in one band, some in two).
    const GeneralSetup g(false, true);
    for (int bands : {2, 5}) {
        auto mem = MemoryWithTexture();
        uint64_t pixels = 0;
        for (int k = 0; k < bands; ++k) {
            Rasterizer r(*mem);
            r.SetBand(k, bands);
            for (const Tri& t : tris) r.DrawTriangle(StateFor(t.state), t.v[0], t.v[1], t.v[2], t.v[2]);
            pixels += r.PixelsProcessed();
        }
        EXPECT_EQ(pixels, general.pixels) << bands << " bands";
        EXPECT_TRUE(std::vector<uint8_t>(mem->Data(), mem->Data() + kCompared) == general.bytes)
            << bands << " bands";
    }
}

// Screens of tall triangles (most reach several bands) of every attribute set drawn by the raster threads,
// each slot's rows set up by whichever thread takes it: every thread count gives one thread's bits.
std::vector<uint8_t> DrawTallTriangles(int threads) {
    Fixture f(threads);
    LocalMemory& mem = f.gs->Memory();
    Rng rnd{23};
    for (uint32_t i = 0; i < 64 * 64 * 4; ++i) mem.Data()[kTexBase + i] = uint8_t(rnd(256));
    AdPacket p;
    p.Set(kRegFrame_1, Frame(0, kFbw, kPsmCt32))
        .Set(kRegZbuf_1, Zbuf(kDepthBase / LocalMemory::kPageBytes, kPsmZ24, false))
        .Set(kRegScissor_1, Scissor(0, kW - 1, 0, kH - 1))
        .Set(kRegFogcol, 0x203040)
        .Set(kRegTex0_1, Tex0(kTexBase / 256, 1, kPsmCt32, 6, 6, true, kTfxModulate))
        .Set(kRegAlpha_1, 0x44);
    for (int run = 0; run < 40; ++run) {
        const uint32_t k = rnd(96);
        p.Set(kRegTest_1, TestReg((k & 1) != 0, kZtstGequal)).Set(kRegTex1_1, (k & 64) ? 0x60 : 0);
        for (int i = 0; i < 60; ++i) {
            p.Set(kRegPrim, Prim(kPrimTriangle, (k & 2) != 0, (k >> 4) % 3 != 0, (k & 4) != 0, (k & 8) != 0,
                                 (k >> 4) % 3 == 2));
            const int cx = int(rnd(kW * 16)), cy = int(rnd(kH * 16));
            const int w = rnd(4) == 0 ? 4000 : 400, h = rnd(3) == 0 ? 6000 : 900;
            for (int v = 0; v < 3; ++v) {
                const float q = 0.5f + float(rnd(100)) / 100.0f;
                p.Set(kRegSt, St(float(rnd(100)) / 100.0f * q, float(rnd(100)) / 100.0f * q))
                    .Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                    .Set(kRegFog, uint64_t(rnd(256)) << 56)
                    .Set(kRegRgbaq, (Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)) & 0xFFFFFFFFull) |
                                        (St(0.0f, q) & ~0xFFFFFFFFull))
                    .Set(kRegXyz2, Xyz(cx + int(rnd(uint32_t(w))) - w / 2, cy + int(rnd(uint32_t(h))) - h / 2,
                                       rnd(1u << 24)));
            }
        }
        f.Send(p);
        p = AdPacket();
    }
    f.gs->Flush();
    return std::vector<uint8_t>(mem.Data(), mem.Data() + kCompared);
}

TEST(GsTriangleSetup, TallTrianglesGiveOneThreadsBitsAtEveryThreadCount) {
    const std::vector<uint8_t> one = DrawTallTriangles(1);
    size_t drawn = 0;
    for (uint32_t i = 0; i < kW * kH * 4; i += 4) drawn += one[i] | one[i + 1] | one[i + 2] ? 1 : 0;
    EXPECT_GT(drawn, kW * kH / 2);
    for (int threads : {2, 3, 4, 8}) EXPECT_TRUE(DrawTallTriangles(threads) == one) << threads << " threads";
}

}  // namespace
}  // namespace gstest
