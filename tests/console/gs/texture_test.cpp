// Texturing: uploads through IMAGE packets, sampling, palettes and texture functions.
#include <gtest/gtest.h>

#include "gs_test_util.h"

namespace gstest {
namespace {

// Uploads w x h pixels of `psm` at block `dbp` with buffer width `dbw` (0 = rows packed).
void Upload(Fixture& f, uint32_t dbp, uint32_t dbw, uint32_t psm, uint32_t w, uint32_t h, const void* data,
            size_t bytes, uint32_t dx = 0, uint32_t dy = 0) {
    AdPacket p;
    p.Set(kRegBitbltbuf, Bitbltbuf(0, 0, 0, dbp, dbw, psm))
        .Set(kRegTrxpos, Trxpos(0, 0, dx, dy))
        .Set(kRegTrxreg, Trxreg(w, h))
        .Set(kRegTrxdir, kXdirHostToLocal);
    f.Send(p);
    f.Send(ImagePacket(data, bytes));
}

// Texel colours nobody would produce by accident.
uint32_t Pattern(uint32_t i) {
    return (i * 0x9E3779B1u) ^ 0x5A5A5A5Au;
}

TEST(GsTexture, DecalSpriteCopiesTheTextureExactly) {
    Fixture f;
    std::vector<uint32_t> tex(16 * 16);
    for (uint32_t i = 0; i < tex.size(); ++i) tex[i] = Pattern(i);
    Upload(f, 0x100, 1, kPsmCt32, 16, 16, tex.data(), tex.size() * 4);
    for (bool uv : {true, false}) {
        AdPacket p;
        p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 4, 4, true, kTfxDecal)).Set(kRegTex1_1, 0);
        p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, uv));
        if (uv) {
            p.Set(kRegUv, Uv(0, 0)).Set(kRegXyz2, Xyz(20 * 16, 0, 0));
            p.Set(kRegUv, Uv(16 * 16, 16 * 16)).Set(kRegXyz2, Xyz(36 * 16, 16 * 16, 0));
        } else {
            p.Set(kRegSt, St(0, 0)).Set(kRegXyz2, Xyz(40 * 16, 0, 0));
            p.Set(kRegSt, St(1, 1)).Set(kRegXyz2, Xyz(56 * 16, 16 * 16, 0));
        }
        f.Send(p);
        const int ox = uv ? 20 : 40;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(f.Pixel(ox + x, y), tex[y * 16 + x]) << uv << " " << x << "," << y;
        EXPECT_EQ(f.Pixel(ox + 16, 0), 0u);
    }
}

TEST(GsTexture, ModulateScalesBy128AndClamps) {
    Fixture f;
    const uint32_t texel = 0x80FF4020u;  // A 0x80, B 0xFF, G 0x40, R 0x20
    std::vector<uint32_t> tex(64, texel);
    Upload(f, 0x100, 1, kPsmCt32, 8, 8, tex.data(), tex.size() * 4);
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 3, 3, true, kTfxModulate)).Set(kRegTex1_1, 0);
    p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true))
        .Set(kRegRgbaq, Rgbaq(128, 64, 255, 64));
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 0, 0))
        .Set(kRegUv, Uv(128, 128))
        .Set(kRegXyz2, Xyz(128, 128, 0));
    f.Send(p);
    // R 0x20*128>>7 = 0x20; G 0x40*64>>7 = 0x20; B 0xFF*255>>7 = 508 -> 255; A 0x80*64>>7 = 0x40.
    EXPECT_EQ(f.Pixel(3, 3), 0x40FF2020u);
}

TEST(GsTexture, HighlightAddsFragmentAlphaAndTccZeroKeepsFragmentAlpha) {
    Fixture f;
    std::vector<uint32_t> tex(64, 0x10404040u);
    Upload(f, 0x100, 1, kPsmCt32, 8, 8, tex.data(), tex.size() * 4);
    AdPacket p;
    p.Set(kRegTex1_1, 0).Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true));
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 3, 3, true, kTfxHighlight))
        .Set(kRegRgbaq, Rgbaq(128, 128, 128, 0x20));
    p.Set(kRegUv, Uv(0, 0)).Set(kRegXyz2, Xyz(0, 0, 0)).Set(kRegUv, Uv(16, 16)).Set(kRegXyz2, Xyz(16, 16, 0));
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 3, 3, false, kTfxDecal));
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(16, 0, 0))
        .Set(kRegUv, Uv(16, 16))
        .Set(kRegXyz2, Xyz(32, 16, 0));
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 3, 3, true, kTfxHighlight2));
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(32, 0, 0))
        .Set(kRegUv, Uv(16, 16))
        .Set(kRegXyz2, Xyz(48, 16, 0));
    f.Send(p);
    EXPECT_EQ(f.Pixel(0, 0), 0x30606060u);  // 0x40 + 0x20 per colour, alpha 0x10 + 0x20
    EXPECT_EQ(f.Pixel(1, 0), 0x20404040u);  // DECAL with TCC 0: fragment alpha
    EXPECT_EQ(f.Pixel(2, 0), 0x10606060u);  // HIGHLIGHT2: colour as HIGHLIGHT, texture alpha
}

TEST(GsTexture, EightBitClutUsesCsm1Order) {
    Fixture f;
    // Indices 0..255 in a 16 x 16 texture.
    std::vector<uint8_t> idx(256);
    for (int i = 0; i < 256; ++i) idx[i] = uint8_t(i);
    Upload(f, 0x200, 1, kPsmT8, 16, 16, idx.data(), idx.size());
    // The palette as the game stores it: position p holds Pattern(p); uploaded compactly (DBW 0) as 16 x 16.
    std::vector<uint32_t> pal(256);
    for (uint32_t i = 0; i < 256; ++i) pal[i] = Pattern(1000 + i);
    Upload(f, 0x300, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x200, 1, kPsmT8, 4, 4, true, kTfxDecal, 0x300, kPsmCt32, 0, 0, 1))
        .Set(kRegTex1_1, 0);
    p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true));
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 0, 0))
        .Set(kRegUv, Uv(256, 256))
        .Set(kRegXyz2, Xyz(256, 256, 0));
    f.Send(p);
    auto colourOfIndex = [&](int i) { return f.Pixel(i % 16, i / 16); };
    EXPECT_EQ(colourOfIndex(0), pal[0]);
    EXPECT_EQ(colourOfIndex(7), pal[7]);
    EXPECT_EQ(colourOfIndex(8), pal[16]) << "entries 8-15 live at 16-23";
    EXPECT_EQ(colourOfIndex(15), pal[23]);
    EXPECT_EQ(colourOfIndex(16), pal[8]);
    EXPECT_EQ(colourOfIndex(23), pal[15]);
    EXPECT_EQ(colourOfIndex(24), pal[24]);
    EXPECT_EQ(colourOfIndex(40), pal[48]);  // 32 + 8 -> 32 + 16
    EXPECT_EQ(colourOfIndex(255), pal[255]);
}

TEST(GsTexture, FourBitClutWithSixteenBitColoursAndTexa) {
    Fixture f;
    // 8 x 2 pixels, indices 0..15, two per byte (low nibble first).
    uint8_t idx[8];
    for (int i = 0; i < 8; ++i) idx[i] = uint8_t((2 * i) | ((2 * i + 1) << 4));
    Upload(f, 0x200, 1, kPsmT4, 8, 2, idx, sizeof(idx));
    uint16_t pal[16];
    for (int i = 0; i < 16; ++i) pal[i] = uint16_t(i | (i % 2 ? 0x8000 : 0));  // red = i (<< 3 when expanded)
    Upload(f, 0x300, 0, kPsmCt16, 8, 2, pal, sizeof(pal));
    AdPacket p;
    p.Set(kRegTexa, 0x20u | (uint64_t(0x70) << 32));
    p.Set(kRegTex0_1, Tex0(0x200, 1, kPsmT4, 3, 1, true, kTfxDecal, 0x300, kPsmCt16, 0, 0, 1))
        .Set(kRegTex1_1, 0);
    p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true));
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 0, 0))
        .Set(kRegUv, Uv(128, 32))
        .Set(kRegXyz2, Xyz(128, 32, 0));
    f.Send(p);
    for (int i = 0; i < 16; ++i) {
        const uint32_t a = (i % 2) ? 0x70u : 0x20u;  // TA1 for alpha-bit colours, TA0 otherwise
        EXPECT_EQ(f.Pixel(i % 8, i / 8), (uint32_t(i) << 3) | (a << 24)) << i;
    }
}

TEST(GsTexture, TwentyFourBitUploadPacksThreeBytesAndTakesTa0) {
    Fixture f;
    const uint8_t rgb[4 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Upload(f, 0x100, 1, kPsmCt24, 4, 1, rgb, sizeof(rgb));
    AdPacket p;
    p.Set(kRegTexa, 0x55u);
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt24, 2, 0, true, kTfxDecal)).Set(kRegTex1_1, 0);
    p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true));
    p.Set(kRegUv, Uv(0, 0)).Set(kRegXyz2, Xyz(0, 0, 0)).Set(kRegUv, Uv(64, 16)).Set(kRegXyz2, Xyz(64, 16, 0));
    f.Send(p);
    EXPECT_EQ(f.Pixel(0, 0), 0x55030201u);
    EXPECT_EQ(f.Pixel(3, 0), 0x550C0B0Au);
}

TEST(GsTexture, RepeatAndClampWrapModes) {
    Fixture f;
    uint32_t tex[4] = {10, 20, 30, 40};  // 4 x 1
    Upload(f, 0x100, 1, kPsmCt32, 4, 1, tex, sizeof(tex));
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 2, 0, true, kTfxDecal)).Set(kRegTex1_1, 0);
    p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true));
    p.Set(kRegClamp_1, 0);  // repeat
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 0, 0))
        .Set(kRegUv, Uv(8 * 16, 16))
        .Set(kRegXyz2, Xyz(8 * 16, 16, 0));
    p.Set(kRegClamp_1, 5);  // clamp
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 16, 0))
        .Set(kRegUv, Uv(8 * 16, 16))
        .Set(kRegXyz2, Xyz(8 * 16, 32, 0));
    // Region clamp to texels 1..2; region repeat with MINU (mask) 1 and MAXU (or) 2: u -> (u & 1) | 2.
    p.Set(kRegClamp_1, 2 | (2 << 2) | (1 << 4) | (2 << 14));
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 32, 0))
        .Set(kRegUv, Uv(8 * 16, 16))
        .Set(kRegXyz2, Xyz(8 * 16, 48, 0));
    p.Set(kRegClamp_1, 3 | (3 << 2) | (1 << 4) | (2 << 14));
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 48, 0))
        .Set(kRegUv, Uv(8 * 16, 16))
        .Set(kRegXyz2, Xyz(8 * 16, 64, 0));
    f.Send(p);
    const uint32_t rep[8] = {10, 20, 30, 40, 10, 20, 30, 40}, clm[8] = {10, 20, 30, 40, 40, 40, 40, 40};
    const uint32_t rcl[8] = {20, 20, 30, 30, 30, 30, 30, 30}, rrp[8] = {30, 40, 30, 40, 30, 40, 30, 40};
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(f.Pixel(x, 0), rep[x]) << x;
        EXPECT_EQ(f.Pixel(x, 1), clm[x]) << x;
        EXPECT_EQ(f.Pixel(x, 2), rcl[x]) << x;
        EXPECT_EQ(f.Pixel(x, 3), rrp[x]) << x;
    }
}

TEST(GsTexture, BilinearMagnificationBlendsNeighbours) {
    Fixture f;
    uint32_t tex[2] = {0x00000000u, 0x00000080u};  // red 0 and 128
    Upload(f, 0x100, 1, kPsmCt32, 2, 1, tex, sizeof(tex));
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 1, 0, true, kTfxDecal))
        .Set(kRegTex1_1, 0x60)
        .Set(kRegClamp_1, 5);
    p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true));
    // 2 texels over 8 pixels: pixel x samples u = (x + 0.5) / 4; texel centres at 0.5 and 1.5.
    p.Set(kRegUv, Uv(0, 0))
        .Set(kRegXyz2, Xyz(0, 0, 0))
        .Set(kRegUv, Uv(32, 16))
        .Set(kRegXyz2, Xyz(8 * 16, 16, 0));
    f.Send(p);
    EXPECT_EQ(f.Pixel(0, 0) & 255, 0u);    // u 0.125: clamped to texel 0
    EXPECT_EQ(f.Pixel(1, 0) & 255, 0u);    // u 0.375: before the centre of texel 0
    EXPECT_EQ(f.Pixel(2, 0) & 255, 16u);   // u 0.625: 1/8 of the way from texel 0 to 1 -> 128 / 8
    EXPECT_EQ(f.Pixel(3, 0) & 255, 48u);   // u 0.875: 3/8 -> 48
    EXPECT_EQ(f.Pixel(7, 0) & 255, 128u);  // u 1.875: clamped to texel 1
}

TEST(GsTexture, PerspectiveCorrectStqTriangle) {
    // A texture of vertical stripes (texel x holds x) on a triangle whose far vertex has q = 4: with
    // perspective the texel at a pixel is s/q * width, not a linear blend of the vertex texels.
    Fixture f;
    std::vector<uint32_t> tex(64 * 2);
    for (uint32_t i = 0; i < tex.size(); ++i) tex[i] = i % 64;
    Upload(f, 0x100, 1, kPsmCt32, 64, 2, tex.data(), tex.size() * 4);
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 6, 1, true, kTfxDecal)).Set(kRegTex1_1, 0).Set(kRegClamp_1, 5);
    p.Set(kRegPrim, Prim(kPrimTriangle, false, true));
    // Left edge: s = 0, q = 1; right vertex at x = 64: s = 4 * 1.0, q = 4 (so s/q = 1.0 there).
    auto stq = [&](float s, float t, float q) {
        uint32_t qb;
        std::memcpy(&qb, &q, 4);
        p.Set(kRegSt, St(s, t)).Set(kRegRgbaq, (Rgbaq(0, 0, 0, 0) & 0xFFFFFFFFu) | (uint64_t(qb) << 32));
    };
    stq(0, 0, 1);
    p.Set(kRegXyz2, Xyz(0, 0, 0));
    stq(4, 0, 4);
    p.Set(kRegXyz2, Xyz(64 * 16, 0, 0));
    stq(0, 0.5f, 1);
    p.Set(kRegXyz2, Xyz(0, 64 * 16, 0));
    f.Send(p);
    // On row 0 at centre px, the screen-linear q = 1 + 3 * px / 64 and s = 4 * px / 64; u = s / q * 64.
    for (int x : {1, 8, 21, 40}) {
        const double px = x + 0.5, q = 1 + 3 * px / 64, s = 4 * px / 64;
        const uint32_t expect = uint32_t(s / q * 64);
        EXPECT_EQ(f.Pixel(x, 0), expect) << x;
    }
}

}  // namespace
}  // namespace gstest

namespace gstest {
namespace {

// Random textured, Gouraud, blended, Z-tested triangles: the specialised span and (with an always-passing
// alpha test, which the specialised span does not take) the general one must give the same bits, for
// nearest and bilinear, STQ and UV, 32-bit and 8-bit palette textures.
std::vector<uint32_t> DrawTexturedScene(bool general, bool bilinear, bool uv, bool t8,
                                        uint32_t tfx = kTfxModulate, bool tcc = true, uint64_t alpha = 0x44,
                                        bool pabe = false) {
    Fixture f;
    std::vector<uint32_t> tex(32 * 32);
    for (uint32_t i = 0; i < tex.size(); ++i) tex[i] = Pattern(i) | 0x40000000u;
    std::vector<uint8_t> idx(32 * 32);
    for (uint32_t i = 0; i < idx.size(); ++i) idx[i] = uint8_t(Pattern(i) >> 3);
    std::vector<uint32_t> pal(256);
    for (uint32_t i = 0; i < 256; ++i) pal[i] = Pattern(7777 + i);
    if (t8) {
        Upload(f, 0x100, 1, kPsmT8, 32, 32, idx.data(), idx.size());
        Upload(f, 0x180, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
    } else {
        Upload(f, 0x100, 1, kPsmCt32, 32, 32, tex.data(), tex.size() * 4);
    }
    AdPacket p;
    f.Sprite(p, 0, 0, 64, 64, 0x20406080u, 2000);
    p.Set(kRegTest_1, (general ? (1u | (1u << 1)) : 0u) | TestReg(true, kZtstGequal));
    p.Set(kRegTex0_1, Tex0(0x100, 1, t8 ? kPsmT8 : kPsmCt32, 5, 5, tcc, tfx, 0x180, kPsmCt32, 0, 0, 1));
    p.Set(kRegTex1_1, bilinear ? 0x60 : 0)
        .Set(kRegClamp_1, 0)
        .Set(kRegAlpha_1, alpha)
        .Set(kRegPabe, pabe ? 1 : 0);
    uint32_t seed = 99;
    auto rnd = [&seed](uint32_t m) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % m;
    };
    for (int i = 0; i < 30; ++i) {
        p.Set(kRegPrim, Prim(kPrimTriangle, true, true, false, true, uv));
        for (int v = 0; v < 3; ++v) {
            if (uv) {
                p.Set(kRegUv, Uv(rnd(64 * 16), rnd(64 * 16)));
            } else {
                const float q = 0.5f + float(rnd(100)) / 50.0f;
                uint32_t qb;
                std::memcpy(&qb, &q, 4);
                p.Set(kRegSt, St(float(rnd(300)) / 100.0f * q, float(rnd(300)) / 100.0f * q));
                p.Set(kRegRgbaq,
                      (Rgbaq(rnd(256), rnd(256), rnd(256), rnd(160)) & 0xFFFFFFFFu) | (uint64_t(qb) << 32));
            }
            if (uv) p.Set(kRegRgbaq, Rgbaq(rnd(256), rnd(256), rnd(256), rnd(160)));
            p.Set(kRegXyz2, Xyz(int(rnd(72 * 16)) - 64, int(rnd(72 * 16)) - 64, rnd(4000)));
        }
    }
    f.Send(p);
    std::vector<uint32_t> out;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            out.push_back(f.Pixel(x, y));
            out.push_back(f.Depth(x, y));
        }
    return out;
}

TEST(GsTexture, SpecialisedTexturedSpanMatchesTheGeneralPath) {
    for (int mode = 0; mode < 8; ++mode) {
        const bool bilinear = mode & 1, uv = mode & 2, t8 = mode & 4;
        const auto fast = DrawTexturedScene(false, bilinear, uv, t8);
        EXPECT_EQ(fast, DrawTexturedScene(true, bilinear, uv, t8))
            << "bilinear " << bilinear << " uv " << uv << " t8 " << t8;
        // Something was drawn over the background.
        int changed = 0;
        for (size_t i = 0; i < fast.size(); i += 2) changed += fast[i] != 0x20406080u;
        EXPECT_GT(changed, 500);
    }
    // DECAL and RGB-only textures (TCC 0) take the specialised span too.
    for (int mode = 0; mode < 4; ++mode) {
        const bool bilinear = mode & 1, decal = mode & 2;
        const uint32_t tfx = decal ? kTfxDecal : kTfxModulate;
        EXPECT_EQ(DrawTexturedScene(false, bilinear, false, false, tfx, false),
                  DrawTexturedScene(true, bilinear, false, false, tfx, false))
            << "bilinear " << bilinear << " decal " << decal;
    }
    EXPECT_EQ(DrawTexturedScene(false, true, true, true, kTfxDecal, true),
              DrawTexturedScene(true, true, true, true, kTfxDecal, true));
    // The terrain layers' blends (0x62 with FIX 64, 0x42), destination alpha as C, and PABE.
    const uint64_t blends[] = {0x62 | (64ull << 32), 0x42, 0x54 /* (Cs - Cd) * Ad + Cd */,
                               0x48 | (100ull << 32)};
    for (uint64_t a : blends) {
        EXPECT_EQ(DrawTexturedScene(false, true, false, false, kTfxModulate, true, a),
                  DrawTexturedScene(true, true, false, false, kTfxModulate, true, a))
            << std::hex << a;
    }
    EXPECT_EQ(DrawTexturedScene(false, false, false, false, kTfxModulate, true, 0x44, true),
              DrawTexturedScene(true, false, false, false, kTfxModulate, true, 0x44, true));
}

}  // namespace
}  // namespace gstest
