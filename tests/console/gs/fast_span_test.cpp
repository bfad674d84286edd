// The vector spans against the general path on random states and primitives: every combination the vector
// spans take (flat or Gouraud, textured or not, any blend formula with or without PABE, every depth test,
// masked depth, repeat or clamp, constant or varying q, coordinates far outside the texture, textures that
// wrap around the end of local memory, any alpha test) must give the same bits as the scalar pipeline, and
// the same again with the rows shared out among threads. Small triangles take the set-up's short path on
// the fast side and the row walk on the general side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "gs_test_util.h"

namespace gstest {
namespace {

struct SceneState {
    bool textured, gouraud, blend, uv, bilinear, t8, pabe, tcc, decal, zmsk, endOfMemory, frameAtEnd;
    uint32_t alpha, fix, ztst, clamp;
    uint32_t alphaTest;  // TEST bits 0-13: ATE, ATST, AREF, AFAIL
    uint32_t qMode;      // 0 q per vertex, 1 q = 1 everywhere, 2 one q for the whole primitive
    bool wild;           // coordinates far outside the texture, infinite or not a number now and then
    bool copy;   // texel-sized sprites, u on texel centres: rows that are copies or mixes of texel rows
    bool small;  // triangles under 16 pixels each way (the set-up's short path)
    // Right triangles whose rows take every length from 1 to 24 pixels, starting anywhere in the frame (the
    // eight-wide spans' short rows and last pixels, rows ending at the frame's edge).
    bool ramps;
    bool zte = true;
    // Coordinates spread over a few texels only (the sky, the ground near the eye): many pixels in a row
    // sample the same square of four texels.
    bool magnified;
    // Every vertex coloured 128 (MODULATE then gives the texel back), alpha too or not.
    bool grey, greyAlpha;
    // One colour at every vertex of a primitive (Gouraud primitives then take the flat spans), now and then
    // at two of them only.
    bool oneColour;
};

SceneState RandomState(Rng& rnd) {
    SceneState s{};
    s.textured = rnd(4) != 0;
    s.gouraud = rnd(2) != 0;
    s.blend = rnd(3) != 0 || (!s.textured && !s.gouraud);  // untextured flat unblended has a path of its own
    s.uv = rnd(2) != 0;
    s.bilinear = rnd(2) != 0;
    s.t8 = rnd(3) == 0;
    s.pabe = rnd(3) == 0;
    s.tcc = rnd(4) != 0;
    s.decal = rnd(3) == 0;
    s.zmsk = rnd(4) == 0;
    s.endOfMemory = rnd(4) == 0;
    s.frameAtEnd = !s.endOfMemory && rnd(3) == 0;
    // Half the time the usual (Cs - Cd) * As + Cd, otherwise any A, B, C, D (3 is zero, or FIX for C).
    s.alpha = rnd(2) ? 0x44u : rnd(256);
    s.fix = rnd(256);
    const uint32_t ztsts[] = {kZtstAlways, kZtstGequal, kZtstGreater};
    s.ztst = ztsts[rnd(3)];
    s.clamp = rnd(4);  // WMS and WMT: repeat or clamp each
    s.qMode = rnd(3);
    s.wild = rnd(5) == 0;
    s.copy = rnd(4) == 0;
    if (rnd(3) == 0) s.alphaTest = 1u | (rnd(8) << 1) | (rnd(256) << 4) | (rnd(4) << 12);
    if (s.copy) {
        // Mostly what the copy of a frame into the display buffer uses: UV sprites, unblended, depth
        // not written.
        s.textured = s.uv = true;
        s.blend = rnd(4) == 0;
        if (rnd(3) != 0) s.ztst = kZtstAlways;
        s.zmsk = rnd(3) != 0;
        s.t8 = rnd(6) == 0;
        s.tcc = rnd(6) != 0;
        s.endOfMemory = s.endOfMemory && rnd(2) == 0;
    }
    // Now and then no depth test, or an alpha test that every pixel fails with only the colour written
    // (AFAIL 1), which the spans take as no alpha test and no depth write.
    s.zte = rnd(6) != 0;
    if (rnd(6) == 0) s.alphaTest = 1u | (rnd(256) << 4) | (1u << 12);
    s.magnified = !s.copy && rnd(4) == 0;
    s.grey = !s.copy && rnd(4) == 0;
    s.greyAlpha = rnd(2) != 0;
    s.oneColour = !s.copy && rnd(4) == 0;
    return s;
}

// Draws `prims` random triangles and sprites with one state over a random background, through the general
// path only when `general`. Returns the frame and the depth buffer.
std::vector<uint32_t> DrawScene(const SceneState& s, uint32_t seed, bool general, int prims = 16,
                                int threads = 1) {
    const GeneralPath path(general);
    Fixture f(threads);
    LocalMemory& mem = f.gs->Memory();
    // A 32 x 32 texture (buffer width 64) at block 0x100, or at the last 4 KiB of local memory so that its
    // lower rows wrap around to address 0 (nothing is drawn there: a texture the primitive draws into would
    // give results that depend on the drawing order).
    const uint32_t tbp = s.endOfMemory ? (LocalMemory::kSize - 4096) / 256 : 0x100;
    Rng rnd{seed};
    for (uint32_t i = 0; i < 32 * 64; ++i) {
        const uint32_t v = rnd(1u << 24) * 0x9E3779B1u;
        if (s.t8) {
            mem.Write8(tbp * 256 + i, uint8_t(v >> 7));
        } else {
            mem.Write32(tbp * 256 + i * 4, v);
        }
    }
    std::vector<uint32_t> pal(256);
    for (uint32_t i = 0; i < 256; ++i) pal[i] = (i * 0x01020305u) ^ 0x3C5A7E81u;
    f.Upload(0x180, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);

    AdPacket p;
    // The frame at page 4, or in the last two pages, where its last row ends exactly at the end of local
    // memory (spans there cannot read whole groups past their end).
    const uint32_t fbp = s.frameAtEnd ? LocalMemory::kSize / LocalMemory::kPageBytes - 2 : 4;
    p.Set(kRegFrame_1, Frame(fbp, 1, kPsmCt32));
    // A background with varied colours and depths so that every test outcome and blend input occurs.
    for (int y = 0; y < 64; y += 8) {
        for (int x = 0; x < 64; x += 8)
            f.Sprite(p, x, y, x + 8, y + 8, rnd(1u << 31) * 2 + rnd(2), rnd(4000));
    }
    p.Set(kRegTest_1, s.alphaTest | TestReg(s.zte, s.ztst));
    p.Set(kRegZbuf_1, Zbuf(2, kPsmZ24, s.zmsk));
    p.Set(kRegTex0_1, Tex0(tbp, 1, s.t8 ? kPsmT8 : kPsmCt32, 5, 5, s.tcc, s.decal ? kTfxDecal : kTfxModulate,
                           0x180, kPsmCt32, 0, 0, 1));
    p.Set(kRegTex1_1, s.bilinear ? 0x60 : 0);
    p.Set(kRegClamp_1, (s.clamp & 1) | ((s.clamp >> 1) << 2));
    p.Set(kRegAlpha_1, s.alpha | (uint64_t(s.fix) << 32)).Set(kRegPabe, s.pabe ? 1 : 0);
    for (int i = 0; i < prims && s.copy; ++i) {
        // One texel per pixel: U - X a whole number of texels (now and then not), V - Y anything; the
        // colour 128 (MODULATE gives the texel back) or not.
        p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, s.blend, true));
        const int x = int(rnd(72 * 16)) - 96, y = int(rnd(72 * 16)) - 96;
        const int w = 16 * int(1 + rnd(30)) + int(rnd(16)), h = int(rnd(20 * 16)) + 1;
        const uint32_t u = 16 * rnd(31) + uint32_t(x & 15) + (rnd(4) == 0 ? rnd(16) : 0),
                       v = 16 * rnd(34) + rnd(16);
        const uint64_t colour = rnd(2) ? Rgbaq(128, 128, 128, 128) : Rgbaq(rnd(256), rnd(256), rnd(256), 128);
        p.Set(kRegUv, Uv(u, v)).Set(kRegRgbaq, colour).Set(kRegXyz2, Xyz(x, y, rnd(4200)));
        p.Set(kRegUv, Uv(u + uint32_t(w), v + uint32_t(h))).Set(kRegRgbaq, colour);
        p.Set(kRegXyz2, Xyz(x + w, y + h, rnd(4200)));
    }
    for (int i = 0; i < prims && !s.copy; ++i) {
        const bool sprite = !s.ramps && rnd(4) == 0;
        p.Set(kRegPrim,
              Prim(sprite ? kPrimSprite : kPrimTriangle, s.gouraud, s.textured, false, s.blend, s.uv));
        const float primQ = s.qMode == 1 ? 1.0f : 0.25f + float(rnd(100)) / 25.0f;
        // Magnified: the primitive's texels within three of (u0, v0) (now and then across the texture's
        // edge).
        const int u0 = int(rnd(40)) - 4, v0 = int(rnd(40)) - 4;
        const uint64_t primColour = Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256));
        int x0 = 0, y0 = 0;
        for (int v = 0; v < (sprite ? 2 : 3); ++v) {
            const float q = s.qMode == 0 ? (rnd(3) == 0 ? 1.0f : 0.5f + float(rnd(100)) / 50.0f) : primQ;
            uint32_t qb;
            std::memcpy(&qb, &q, 4);
            if (s.uv) {
                if (s.magnified) {
                    p.Set(kRegUv, Uv(uint32_t(u0 * 16) + rnd(48), uint32_t(v0 * 16) + rnd(48)));
                } else {
                    p.Set(kRegUv, Uv(rnd(80 * 16) - 8 * 16, rnd(80 * 16) - 8 * 16));
                }
            } else {
                float sv = (float(rnd(400)) / 100.0f - 0.5f) * q, tv = (float(rnd(400)) / 100.0f - 0.5f) * q;
                if (s.magnified) {
                    sv = (float(u0) + float(rnd(300)) / 100.0f) / 32.0f * q;
                    tv = (float(v0) + float(rnd(300)) / 100.0f) / 32.0f * q;
                }
                if (s.wild) {
                    using L = std::numeric_limits<float>;
                    const float odd[] = {1e6f, -3e9f, 1e38f, L::infinity(), L::quiet_NaN(), 1e-40f};
                    if (rnd(2)) sv = odd[rnd(6)];
                    if (rnd(2)) tv = odd[rnd(6)] * 0.5f;
                }
                p.Set(kRegSt, St(sv, tv));
            }
            uint64_t colour = Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256));
            // (Now and then the middle vertex's own colour: two of three alike.)
            if (s.oneColour && (v != 1 || rnd(3) != 0)) colour = primColour;
            if (s.grey) colour = Rgbaq(128, 128, 128, s.greyAlpha ? 128 : uint32_t(colour >> 24) & 255);
            p.Set(kRegRgbaq, (colour & 0xFFFFFFFFu) | (uint64_t(qb) << 32));
            int x = int(rnd(76 * 16)) - 96, y = int(rnd(76 * 16)) - 96;
            if (s.small && v > 0) {
                // Within 15 pixels of the first vertex (at its left or right, above or below).
                x = x0 + (x & 255) - (rnd(2) ? 255 : 0);
                y = y0 + (y & 255) - (rnd(2) ? 255 : 0);
            }
            if (s.ramps) {
                // Primitive i spans 1 + i % 24 pixels: a horizontal edge that long, then the third vertex
                // below one of its ends. Now and then the first vertex is off the pixel grid.
                const int len = 1 + i % 24;
                if (v == 0) {
                    x = int(rnd(uint32_t(64 - std::min(len, 63)))) * 16 + (rnd(4) == 0 ? int(rnd(16)) : 0);
                    y = int(rnd(56)) * 16;
                } else {
                    x = x0 + (v == 1 || i % 2 == 0 ? len * 16 : 0);
                    y = y0 + (v == 1 ? 0 : len * 16);
                }
            }
            if (v == 0) {
                x0 = x;
                y0 = y;
            }
            p.Set(kRegXyz2, Xyz(x, y, rnd(4200)));
        }
    }
    f.Send(p);
    return f.Snapshot(fbp);
}

void CheckRandomStates() {
    Rng rnd{2024};
    int differentFromBackground = 0;
    for (int scene = 0; scene < 240; ++scene) {
        SceneState s = RandomState(rnd);
        const uint32_t seed = rnd(1u << 30);
        // The last third: many small triangles (the general side walks their rows).
        s.small = scene >= 160 && !s.copy;
        const int prims = s.small ? 48 : 16;
        const auto fast = DrawScene(s, seed, false, prims);
        const auto general = DrawScene(s, seed, true, prims);
        ASSERT_EQ(fast, general) << "scene " << scene;  // rerun with a breakpoint here to see its state
        ASSERT_EQ(DrawScene(s, seed, false, prims, 2 + scene % 3), fast) << "threaded scene " << scene;
        differentFromBackground += fast != DrawScene(s, seed, true, 0);
    }
    // The scenes draw something (compared with a scene of only the background).
    EXPECT_GT(differentFromBackground, 225);
    // Untextured flat unblended primitives fill through a path of their own, under every depth test.
    for (const uint32_t ztst : {kZtstAlways, kZtstGequal, kZtstGreater}) {
        SceneState s{};
        s.ztst = ztst;
        EXPECT_EQ(DrawScene(s, ztst, false), DrawScene(s, ztst, true)) << "flat fill, ztst " << ztst;
    }
}

// Slivers: nearly collinear vertices give steep colour and depth gradients whose values at the row ends
// leave 0..255 by rounding or more, which the vector span must clamp as the general path does.
std::vector<uint32_t> DrawSlivers(bool general, bool textured, uint32_t seed) {
    const GeneralPath path(general);
    Fixture f;
    AdPacket p;
    p.Set(kRegTest_1, TestReg(true, kZtstAlways)).Set(kRegAlpha_1, 0x44);
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 5, 5, true, kTfxModulate))
        .Set(kRegTex1_1, 0)
        .Set(kRegClamp_1, 0);
    Rng rnd{seed};
    for (uint32_t i = 0; i < 32 * 64; ++i)
        f.gs->Memory().Write32(0x100 * 256 + i * 4, rnd(1u << 24) * 0x9E3779B1u);
    for (int i = 0; i < 120; ++i) {
        p.Set(kRegPrim, Prim(kPrimTriangle, true, textured, false, rnd(2) != 0, true));
        const int ax = int(rnd(64 * 16)), ay = int(rnd(64 * 16)), bx = int(rnd(64 * 16)),
                  by = int(rnd(64 * 16));
        // The third vertex a few sixteenths of a pixel off the middle of the first two.
        const int cx = (ax + bx) / 2 + int(rnd(9)) - 4, cy = (ay + by) / 2 + int(rnd(9)) - 4;
        const int xs[3] = {ax, bx, cx}, ys[3] = {ay, by, cy};
        for (int v = 0; v < 3; ++v) {
            const uint32_t c = v == 2 ? 255 * rnd(2) : rnd(256);
            p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)));
            p.Set(kRegRgbaq, Rgbaq(c, 255 - c, rnd(256), v == 2 ? 255 - c : rnd(256)));
            p.Set(kRegXyz2, Xyz(xs[v], ys[v], rnd(1u << 24)));
        }
    }
    f.Send(p);
    return f.Snapshot();
}

TEST(GsFastSpan, RandomStatesMatchTheGeneralPath) {
    CheckRandomStates();
}

// Textured states whose depth is neither tested nor written (no depth test; ALWAYS with the depth masked;
// ALWAYS with an alpha test that every pixel fails writing only the colour) have a loop of their own in the
// eight-wide spans; an alpha test like that under GEQUAL leaves the depth test but not the depth write. All
// against the general path, with the rows shared out among threads too, and four pixels a step.
TEST(GsFastSpan, StatesWithoutDepthMatchTheGeneralPath) {
    Rng rnd{4242};
    for (int kind = 0; kind < 4; ++kind) {
        for (int i = 0; i < 16; ++i) {
            SceneState s = RandomState(rnd);
            s.textured = s.tcc = true;
            s.blend = rnd(4) == 0;  // blended ones take the other loops
            s.zte = kind != 0;
            s.zmsk = kind == 1;
            s.ztst = kind == 3 ? kZtstGequal : kZtstAlways;
            s.alphaTest = kind >= 2 ? 1u | (rnd(256) << 4) | (1u << 12) : 0u;
            s.small = i % 2 == 1 && !s.copy;
            const uint32_t seed = rnd(1u << 30);
            const auto general = DrawScene(s, seed, true);
            EXPECT_EQ(DrawScene(s, seed, false), general) << "kind " << kind << " scene " << i;
            EXPECT_EQ(DrawScene(s, seed, false, 16, 3), general)
                << "threaded, kind " << kind << " scene " << i;
            const bool old = Rasterizer::AllowVexSpans(false);
            EXPECT_EQ(DrawScene(s, seed, false), general) << "four wide, kind " << kind << " scene " << i;
            Rasterizer::AllowVexSpans(old);
            // The scene draws something.
            EXPECT_NE(general, DrawScene(s, seed, true, 0)) << "kind " << kind << " scene " << i;
        }
    }
}

// Rows of every length up to 24 pixels under random states: the eight-wide spans fetch only four pixels'
// texels for rows of up to four pixels and for the last one to four pixels of longer rows, and the row's
// place in memory decides how its last pixels are written. Against the general path, eight and four pixels
// a step, and with the rows shared out among threads.
TEST(GsFastSpan, ShortRowsAndRowEndsMatchTheGeneralPath) {
    Rng rnd{9090};
    int drawn = 0;
    for (int scene = 0; scene < 80; ++scene) {
        SceneState s = RandomState(rnd);
        if (s.copy) continue;  // sprites of their own
        s.ramps = true;
        const uint32_t seed = rnd(1u << 30);
        const auto general = DrawScene(s, seed, true, 48);
        EXPECT_EQ(DrawScene(s, seed, false, 48), general) << "scene " << scene;
        EXPECT_EQ(DrawScene(s, seed, false, 48, 2 + scene % 3), general) << "threaded scene " << scene;
        const bool old = Rasterizer::AllowVexSpans(false);
        EXPECT_EQ(DrawScene(s, seed, false, 48), general) << "four wide, scene " << scene;
        Rasterizer::AllowVexSpans(old);
        drawn += general != DrawScene(s, seed, true, 0);
    }
    EXPECT_GT(drawn, 50);
}

TEST(GsFastSpan, SliverTrianglesMatchTheGeneralPath) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        for (bool textured : {false, true}) {
            EXPECT_EQ(DrawSlivers(false, textured, seed), DrawSlivers(true, textured, seed))
                << "seed " << seed << " textured " << textured;
        }
    }
}

// Random triangles into a second frame, then primitives textured from it, then ones textured from their own
// frame, with a palette loaded in between: what the threads share out must wait for what it reads.
std::vector<uint32_t> DrawFeedback(int threads) {
    Fixture f(threads);
    Rng rnd{77};
    std::vector<uint32_t> pal(256);
    for (uint32_t i = 0; i < 256; ++i) pal[i] = i * 0x01030507u;
    AdPacket p;
    p.Set(kRegTest_1, TestReg(true, kZtstGequal)).Set(kRegAlpha_1, 0x44).Set(kRegClamp_1, 0);
    auto triangles = [&](int count, bool textured) {
        for (int i = 0; i < count; ++i) {
            p.Set(kRegPrim, Prim(kPrimTriangle, true, textured, false, rnd(2) != 0, true));
            for (int v = 0; v < 3; ++v) {
                p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                    .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                    .Set(kRegXyz2, Xyz(int(rnd(72 * 16)) - 64, int(rnd(72 * 16)) - 64, rnd(4000)));
            }
        }
    };
    p.Set(kRegFrame_1, Frame(4, 1, kPsmCt32));
    triangles(40, false);
    p.Set(kRegFrame_1, Frame(0, 1, kPsmCt32))
        .Set(kRegTex0_1, Tex0(4 * 32, 1, kPsmCt32, 6, 6, true, kTfxModulate));
    triangles(20, true);
    p.Set(kRegTex0_1, Tex0(0, 1, kPsmCt32, 6, 6, true, kTfxDecal));
    triangles(10, true);
    f.Send(p);
    f.Upload(0x180, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
    AdPacket q;
    q.Set(kRegTex0_1, Tex0(4 * 32, 1, kPsmT8, 6, 6, true, kTfxModulate, 0x180, kPsmCt32, 0, 0, 1));
    std::swap(p, q);
    triangles(20, true);
    f.Send(p);
    std::vector<uint32_t> out = f.Snapshot();
    const std::vector<uint32_t> second = f.Snapshot(4);
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

TEST(GsFastSpan, RowsSharedOutAmongThreadsGiveTheSamePixels) {
    const auto one = DrawFeedback(1);
    for (int threads : {2, 3, 4}) EXPECT_EQ(DrawFeedback(threads), one) << threads << " threads";
}

// Flat triangles and sprites over a 32-bit depth buffer that every pixel passes (the shadow pictures'
// state), depth written or masked: the flat fill writes the same colours and 32-bit depths as the general
// path.
std::vector<uint32_t> DrawFlatZ32(bool general, bool zmsk, uint32_t seed) {
    const GeneralPath path(general);
    Fixture f;
    Rng rnd{seed};
    AdPacket p;
    p.Set(kRegZbuf_1, Zbuf(2, kPsmZ32, zmsk)).Set(kRegTest_1, TestReg(true, kZtstAlways));
    for (int i = 0; i < 60; ++i) {
        const bool sprite = rnd(4) == 0;
        p.Set(kRegPrim, Prim(sprite ? kPrimSprite : kPrimTriangle));
        for (int v = 0; v < (sprite ? 2 : 3); ++v) {
            // Depths over the whole 32-bit range, some past what 24 bits hold.
            p.Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                .Set(kRegXyz2,
                     Xyz(int(rnd(80 * 16)) - 128, int(rnd(80 * 16)) - 128, rnd(1u << 31) * 2 + rnd(2)));
        }
    }
    f.Send(p);
    std::vector<uint32_t> out;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            out.push_back(f.Pixel(x, y));
            out.push_back(f.gs->Memory().ReadPixel(2 * 32, 1, kPsmZ32, uint32_t(x), uint32_t(y)));
        }
    return out;
}

TEST(GsFastSpan, FlatFillsOverAnAlwaysPassing32BitDepthMatchTheGeneralPath) {
    for (uint32_t seed = 1; seed <= 4; ++seed)
        for (bool zmsk : {false, true})
            EXPECT_EQ(DrawFlatZ32(false, zmsk, seed), DrawFlatZ32(true, zmsk, seed)) << seed << " " << zmsk;
}

// An 8-bit palette texture drawn in five bands of rows, with between them: new texels uploaded over it, a
// new palette loaded from the same place, a sprite drawn over its bytes, a write through Memory(). The
// vector spans read the texture expanded through its palette; every band must show what the texture and
// palette held when it was drawn, as the general path reads them from memory.
std::vector<uint32_t> DrawPaletteChanges(bool general, int threads) {
    const GeneralPath path(general);
    Fixture f(threads);
    Rng rnd{99};
    std::vector<uint8_t> texels(64 * 64);
    auto upload = [&] {
        for (auto& t : texels) t = uint8_t(rnd(256));
        f.Upload(0x100, 1, kPsmT8, 64, 64, texels.data(), texels.size());
    };
    std::vector<uint32_t> pal(256);
    auto palette = [&] {
        for (auto& c : pal) c = (rnd(1u << 16) << 16) | rnd(1u << 16);
        f.Upload(0x180, 1, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
    };
    const uint64_t tex0 = Tex0(0x100, 1, kPsmT8, 6, 6, true, kTfxModulate, 0x180, kPsmCt32, 0, 0, 1);
    auto band = [&](int b) {
        AdPacket p;
        p.Set(kRegScissor_1, Scissor(0, 63, uint32_t(12 * b), uint32_t(12 * b + 11)));
        for (int i = 0; i < 8; ++i) {
            p.Set(kRegPrim, Prim(kPrimTriangle, true, true, false, false, i % 2 == 0));
            for (int v = 0; v < 3; ++v) {
                p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)))
                    .Set(kRegSt, St(float(rnd(100)) / 100.0f, float(rnd(100)) / 100.0f))
                    .Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)))
                    .Set(kRegXyz2, Xyz(int(rnd(80 * 16)) - 128, int(rnd(12 * 16)) + 12 * 16 * b, rnd(4000)));
            }
        }
        f.Send(p);
    };
    palette();
    upload();
    AdPacket p;
    p.Set(kRegTex0_1, tex0).Set(kRegTex1_1, 0x60).Set(kRegClamp_1, 0);
    f.Send(p);
    band(0);
    upload();  // the same registers, other texels
    band(1);
    palette();
    AdPacket reload;
    reload.Set(kRegTex0_1, tex0);
    f.Send(reload);
    band(2);
    // A sprite over texture rows 4-7 (frame rows 1-2 of 256 bytes), the frame put back.
    AdPacket over;
    over.Set(kRegFrame_1, Frame(8, 1, kPsmCt32)).Set(kRegScissor_1, Scissor(0, 63, 0, 63));
    f.Sprite(over, 0, 1, 64, 3, 0x11223344u, 0);
    over.Set(kRegFrame_1, Frame(0, 1, kPsmCt32));
    f.Send(over);
    band(3);
    for (uint32_t i = 0; i < 64; ++i) f.gs->Memory().Write8(0x100 * 256 + 40 * 64 + i, uint8_t(i * 7));
    band(4);
    return f.Snapshot();
}

TEST(GsFastSpan, ExpandedPaletteTexturesFollowUploadsPalettesAndDrawing) {
    const auto general = DrawPaletteChanges(true, 1);
    EXPECT_EQ(DrawPaletteChanges(false, 1), general);
    EXPECT_EQ(DrawPaletteChanges(false, 3), general);
    const bool old = Rasterizer::AllowVexSpans(false);
    EXPECT_EQ(DrawPaletteChanges(false, 1), general);
    Rasterizer::AllowVexSpans(old);
}

// Rows of every length from 1 to 40 pixels at every alignment, left- and right-aligned (some ending at the
// frame's last column), over a background of varied depths: the vector spans' last group of a row (the
// masked or partly rewritten step) must leave every pixel past the row end as it was, with the frame in the
// middle of local memory or ending at its end, and the rows shared out among threads.
std::vector<uint32_t> DrawRowLengths(bool general, bool frameAtEnd, int threads) {
    const GeneralPath path(general);
    Fixture f(threads);
    Rng rnd{1234};
    for (uint32_t i = 0; i < 32 * 64; ++i)
        f.gs->Memory().Write32(0x100 * 256 + i * 4, rnd(1u << 24) * 0x9E3779B1u);
    const uint32_t fbp = frameAtEnd ? LocalMemory::kSize / LocalMemory::kPageBytes - 2 : 4;
    AdPacket p;
    p.Set(kRegFrame_1, Frame(fbp, 1, kPsmCt32));
    for (int y = 0; y < 64; y += 4) {
        for (int x = 0; x < 64; x += 4)
            f.Sprite(p, x, y, x + 4, y + 4, rnd(1u << 31) * 2 + rnd(2), rnd(4000));
    }
    p.Set(kRegTest_1, TestReg(true, kZtstGequal)).Set(kRegAlpha_1, 0x44);
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 5, 5, true, kTfxModulate))
        .Set(kRegTex1_1, 0x60)
        .Set(kRegClamp_1, 0);
    for (int len = 1; len <= 40; ++len) {
        for (int right = 0; right < 2; ++right) {
            // Right-aligned ones end at the last column now and then.
            const int x = right && len % 3 == 0 ? 64 - len : int(rnd(uint32_t(64 - std::min(len, 63)))),
                      y = int(rnd(48));
            p.Set(kRegPrim, Prim(kPrimTriangle, true, true, false, len % 2 == 0, false));
            const int xs[3] = {x, x + len, right ? x + len : x}, ys[3] = {y, y, y + len};
            for (int v = 0; v < 3; ++v) {
                p.Set(kRegSt, St(float(rnd(100)) / 50.0f, float(rnd(100)) / 50.0f))
                    .Set(kRegRgbaq,
                         Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)) | (uint64_t(0x3F800000u) << 32))
                    .Set(kRegXyz2, Xyz(xs[v] * 16, ys[v] * 16, 2000 + rnd(4000)));
            }
        }
    }
    f.Send(p);
    return f.Snapshot(fbp);
}

TEST(GsFastSpan, RowsOfEveryLengthMatchTheGeneralPath) {
    for (const bool atEnd : {false, true}) {
        const auto general = DrawRowLengths(true, atEnd, 1);
        for (const bool vex : {true, false}) {
            const bool old = Rasterizer::AllowVexSpans(vex);
            EXPECT_EQ(DrawRowLengths(false, atEnd, 1), general) << "at end " << atEnd << " vex " << vex;
            EXPECT_EQ(DrawRowLengths(false, atEnd, 3), general)
                << "threaded, at end " << atEnd << " vex " << vex;
            Rasterizer::AllowVexSpans(old);
        }
    }
}

// A triangle whose three vertices share one texture coordinate: a finite one gives a flat plane, an
// infinite one a not-a-number plane (inf - inf), as a not-a-number coordinate does. Clamped, not a number
// reads the first texel column and row and a huge finite value the last.
std::vector<uint32_t> DrawSharedCoordinate(float st, bool general) {
    const GeneralPath path(general);
    Fixture f;
    Rng rnd{5};
    for (uint32_t i = 0; i < 32 * 64; ++i)
        f.gs->Memory().Write32(0x100 * 256 + i * 4, rnd(1u << 24) * 0x9E3779B1u);
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 5, 5, true, kTfxDecal))
        .Set(kRegTex1_1, 0)
        .Set(kRegClamp_1, 1 | (1 << 2));
    p.Set(kRegPrim, Prim(kPrimTriangle, false, true));
    const int xs[3] = {2, 60, 10}, ys[3] = {3, 20, 58};
    for (int v = 0; v < 3; ++v)
        p.Set(kRegSt, St(st, st))
            .Set(kRegRgbaq, Rgbaq(128, 128, 128, 128) | (uint64_t(0x3F800000u) << 32))
            .Set(kRegXyz2, Xyz(xs[v] * 16, ys[v] * 16, 100));
    f.Send(p);
    return f.Snapshot();
}

TEST(GsFastSpan, ACoordinateSharedByAllVerticesKeepsInfinityApartFromFiniteValues) {
    for (const bool general : {false, true}) {
        const auto nan = DrawSharedCoordinate(std::numeric_limits<float>::quiet_NaN(), general);
        EXPECT_EQ(DrawSharedCoordinate(std::numeric_limits<float>::infinity(), general), nan) << general;
        EXPECT_NE(DrawSharedCoordinate(1e30f, general), nan) << general;
    }
}

// Texture coordinates near zero (just below it too), near the ends of the fixed-point range (+-16384
// texels) and past them, on textures 2 to 1024 texels wide, repeated or clamped on either axis, point
// sampled or bilinear, q constant or not: the spans work out texel addresses from coordinates offset to stay
// positive, and must pick the texels the general path picks, under depth ALWAYS and under GEQUAL with depth
// written (the common state, whose rows with one q along them have a loop of their own).
std::vector<uint32_t> DrawEdgeCoordinates(bool general, uint32_t tw, uint32_t clamp, bool bilinear,
                                          uint32_t ztst) {
    const GeneralPath path(general);
    Fixture f;
    Rng rnd{tw * 16 + clamp * 2 + (bilinear ? 1 : 0)};
    const uint32_t th = 2, tbw = std::max(1u, (1u << tw) / 64);
    for (uint32_t i = 0; i < tbw * 64 * (1u << th); ++i)
        f.gs->Memory().Write32(0x100 * 256 + i * 4, rnd(1u << 24) * 0x9E3779B1u);
    AdPacket p;
    p.Set(kRegTest_1, TestReg(true, ztst))
        .Set(kRegTex0_1, Tex0(0x100, tbw, kPsmCt32, tw, th, true, kTfxModulate))
        .Set(kRegTex1_1, bilinear ? 0x60 : 0)
        .Set(kRegClamp_1, clamp);
    const float texels[] = {0.0f,      -0.3f,     -1.7f, 0.49f, 16383.5f, 16384.5f,
                            -16383.5f, -16390.0f, 1e6f,  -1e6f, 700.25f,  -700.75f};
    const float size = float(1u << tw);
    for (int i = 0; i < 24; ++i) {
        p.Set(kRegPrim, Prim(kPrimTriangle, true, true));
        const bool oneQ = rnd(2) != 0;
        for (int v = 0; v < 3; ++v) {
            const float q = oneQ ? 1.0f : 0.5f + float(rnd(64)) / 32.0f;
            uint32_t qb;
            std::memcpy(&qb, &q, 4);
            const float u = texels[rnd(12)] + float(rnd(5)), w = texels[rnd(12)] + float(rnd(3));
            p.Set(kRegSt, St(u / size * q, w / 4.0f * q))
                .Set(kRegRgbaq,
                     (Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)) & 0xFFFFFFFFu) | (uint64_t(qb) << 32))
                .Set(kRegXyz2, Xyz(int(rnd(80 * 16)) - 128, int(rnd(80 * 16)) - 128, 100 + rnd(200)));
        }
    }
    f.Send(p);
    return f.Snapshot();
}

TEST(GsFastSpan, TextureCoordinatesAtTheEndsOfTheirRangeMatchTheGeneralPath) {
    for (const bool vex : {true, false}) {
        const bool old = Rasterizer::AllowVexSpans(vex);
        for (uint32_t tw = 1; tw <= 10; ++tw)
            for (const uint32_t clamp : {0u, 1u, 4u, 5u})  // CLAMP: repeat or clamp on each axis
                for (const bool bilinear : {false, true})
                    for (const uint32_t ztst : {kZtstAlways, kZtstGequal})
                        EXPECT_EQ(DrawEdgeCoordinates(false, tw, clamp, bilinear, ztst),
                                  DrawEdgeCoordinates(true, tw, clamp, bilinear, ztst))
                            << "width " << (1u << tw) << " clamp " << clamp << " bilinear " << bilinear
                            << " ztst " << ztst << " vex " << vex;
        Rasterizer::AllowVexSpans(old);
    }
}

// Bilinear rows over a narrow texture repeated (or clamped) along u, one texel or so per pixel: the edge
// where u + 1 wraps to the first column (or stays on the last) falls in one half of an eight-pixel step and
// not the other, in the middle of rows and in their last pixels. Such a step cannot fetch texel pairs, and
// must pick the texels the general path picks. UV or ST coordinates (q the same along a row or
// not), depth tested GEQUAL and written (the common state) or ALWAYS.
std::vector<uint32_t> DrawRepeatEdges(bool general, uint32_t tw, uint32_t clamp, bool st, uint32_t ztst,
                                      uint32_t seed) {
    const GeneralPath path(general);
    Fixture f;
    Rng rnd{seed};
    for (uint32_t i = 0; i < 64 * 16; ++i)
        f.gs->Memory().Write32(0x100 * 256 + i * 4, rnd(1u << 24) * 0x9E3779B1u);
    AdPacket p;
    p.Set(kRegTest_1, TestReg(true, ztst))
        .Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, tw, 4, true, kTfxModulate))
        .Set(kRegTex1_1, 0x60)
        .Set(kRegClamp_1, clamp);
    const float size = float(1u << tw);
    for (int i = 0; i < 40; ++i) {
        p.Set(kRegPrim, Prim(kPrimTriangle, true, true, false, false, !st));
        // A wide triangle, its rows 8 to 60 pixels long; u steps by about a texel per pixel.
        const int x = int(rnd(16 * 16)), y = int(rnd(40 * 16)), w = 8 * 16 + int(rnd(52 * 16));
        const int xs[3] = {x, x + w, x + int(rnd(uint32_t(w)))}, ys[3] = {y, y + int(rnd(32)), y + 24 * 16};
        const float u0 = float(rnd(64)) / 4.0f - 8.0f, du = 0.75f + float(rnd(8)) / 16.0f;
        const bool oneQ = rnd(2) != 0;
        for (int v = 0; v < 3; ++v) {
            const float u = u0 + du * float(xs[v] - x) / 16.0f, t = float(rnd(16 * 16)) / 16.0f;
            const float q = oneQ ? 1.0f : 0.75f + float(rnd(32)) / 64.0f;
            uint32_t qb;
            std::memcpy(&qb, &q, 4);
            if (st) {
                p.Set(kRegSt, St(u / size * q, t / 16.0f * q));
            } else {
                p.Set(kRegUv, Uv(uint32_t(int((u + 64.0f) * 16.0f)), uint32_t(t * 16.0f)));
            }
            p.Set(kRegRgbaq,
                  (Rgbaq(rnd(256), rnd(256), rnd(256), rnd(256)) & 0xFFFFFFFFu) | (uint64_t(qb) << 32))
                .Set(kRegXyz2, Xyz(xs[v], ys[v], 100 + rnd(300)));
        }
    }
    f.Send(p);
    return f.Snapshot();
}

TEST(GsFastSpan, BilinearRowsAcrossARepeatEdgeMatchTheGeneralPath) {
    uint32_t seed = 1;
    for (const bool vex : {true, false}) {
        const bool old = Rasterizer::AllowVexSpans(vex);
        for (const uint32_t tw : {2u, 3u, 4u})
            for (const uint32_t clamp : {0u, 1u})  // CLAMP: u repeated or clamped
                for (const bool st : {false, true})
                    for (const uint32_t ztst : {kZtstAlways, kZtstGequal}) {
                        const auto fast = DrawRepeatEdges(false, tw, clamp, st, ztst, seed);
                        EXPECT_EQ(fast, DrawRepeatEdges(true, tw, clamp, st, ztst, seed))
                            << "width " << (1u << tw) << " clamp " << clamp << " st " << st << " ztst "
                            << ztst << " vex " << vex;
                        // (Something is drawn: the frame is not all one colour.)
                        EXPECT_NE(std::count(fast.begin(), fast.end(), fast[0]), std::ptrdiff_t(fast.size()));
                        ++seed;
                    }
        Rasterizer::AllowVexSpans(old);
    }
}

TEST(GsFastSpan, FourWideSpansMatchTheGeneralPath) {
    // The spans of processors without AVX2: on processors with it, the tests above ran the eight-wide ones
    // (whose rows end in the four-wide code, so both meet in every scene).
    const bool old = Rasterizer::AllowVexSpans(false);
    CheckRandomStates();
    Rasterizer::AllowVexSpans(old);
}

}  // namespace
}  // namespace gstest
