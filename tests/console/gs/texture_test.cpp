// Texturing: uploads through IMAGE packets, sampling, palettes and texture functions.
#include <gtest/gtest.h>

#include "gs_test_util.h"

namespace gstest {
namespace {

// A UV-mapped sprite over pixels [x0, x1) x [y0, y1) sampling texels [u0, u1) x [v0, v1).
void TexSprite(AdPacket& p, int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1) {
    p.Set(kRegPrim, Prim(kPrimSprite, false, true, false, false, true));
    p.Set(kRegUv, Uv(u0 * 16, v0 * 16)).Set(kRegXyz2, Xyz(x0 * 16, y0 * 16, 0));
    p.Set(kRegUv, Uv(u1 * 16, v1 * 16)).Set(kRegXyz2, Xyz(x1 * 16, y1 * 16, 0));
}

// Texel colours nobody would produce by accident.
uint32_t Pattern(uint32_t i) {
    return (i * 0x9E3779B1u) ^ 0x5A5A5A5Au;
}

TEST(GsTexture, DecalSpriteCopiesTheTextureExactly) {
    Fixture f;
    std::vector<uint32_t> tex(16 * 16);
    for (uint32_t i = 0; i < tex.size(); ++i) tex[i] = Pattern(i);
    f.Upload(0x100, 1, kPsmCt32, 16, 16, tex.data(), tex.size() * 4);
    for (bool uv : {true, false}) {
        AdPacket p;
        p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 4, 4, true, kTfxDecal)).Set(kRegTex1_1, 0);
        if (uv) {
            TexSprite(p, 20, 0, 36, 16, 0, 0, 16, 16);
        } else {
            p.Set(kRegPrim, Prim(kPrimSprite, false, true))
                .Set(kRegSt, St(0, 0))
                .Set(kRegXyz2, Xyz(40 * 16, 0, 0));
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

struct TfxCase {
    uint32_t texel, tfx;
    bool tcc;
    uint64_t rgbaq;
    uint32_t expect;
};

TEST(GsTexture, TextureFunctionsCombineTexelAndFragment) {
    const TfxCase cases[] = {
        // MODULATE: texel * fragment >> 7, clamped. B 0xFF * 255 >> 7 = 508 -> 255; A 0x80 * 64 >> 7 = 0x40.
        {0x80FF4020u, kTfxModulate, true, Rgbaq(128, 64, 255, 64), 0x40FF2020u},
        {0x10404040u, kTfxHighlight, true, Rgbaq(128, 128, 128, 0x20), 0x30606060u},  // adds fragment alpha
        {0x10404040u, kTfxDecal, false, Rgbaq(128, 128, 128, 0x20), 0x20404040u},     // TCC 0: fragment alpha
        {0x10404040u, kTfxHighlight2, true, Rgbaq(128, 128, 128, 0x20), 0x10606060u},  // texture alpha
    };
    for (const TfxCase& c : cases) {
        Fixture f;
        std::vector<uint32_t> tex(64, c.texel);
        f.Upload(0x100, 1, kPsmCt32, 8, 8, tex.data(), tex.size() * 4);
        AdPacket p;
        p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 3, 3, c.tcc, c.tfx))
            .Set(kRegTex1_1, 0)
            .Set(kRegRgbaq, c.rgbaq);
        TexSprite(p, 0, 0, 8, 8, 0, 0, 8, 8);
        f.Send(p);
        EXPECT_EQ(f.Pixel(3, 3), c.expect) << "tfx " << c.tfx;
    }
}

TEST(GsTexture, EightBitClutUsesCsm1Order) {
    Fixture f;
    // Indices 0..255 in a 16 x 16 texture.
    std::vector<uint8_t> idx(256);
    for (int i = 0; i < 256; ++i) idx[i] = uint8_t(i);
    f.Upload(0x200, 1, kPsmT8, 16, 16, idx.data(), idx.size());
    // The palette as the game stores it: position p holds Pattern(p); uploaded compactly (DBW 0) as 16 x 16.
    std::vector<uint32_t> pal(256);
    for (uint32_t i = 0; i < 256; ++i) pal[i] = Pattern(1000 + i);
    f.Upload(0x300, 0, kPsmCt32, 16, 16, pal.data(), pal.size() * 4);
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x200, 1, kPsmT8, 4, 4, true, kTfxDecal, 0x300, kPsmCt32, 0, 0, 1))
        .Set(kRegTex1_1, 0);
    TexSprite(p, 0, 0, 16, 16, 0, 0, 16, 16);
    f.Send(p);
    // Entries 8-15 of every 32 live at 16-23 and the other way round.
    const int at[][2] = {{0, 0},   {7, 7},   {8, 16},  {15, 23},  {16, 8},
                         {23, 15}, {24, 24}, {40, 48}, {255, 255}};
    for (const auto& [index, position] : at)
        EXPECT_EQ(f.Pixel(index % 16, index / 16), pal[position]) << index;
}

TEST(GsTexture, FourBitClutSixteenBitColoursAndTwentyFourBitTexelsTakeTexa) {
    Fixture f;
    // 8 x 2 pixels, indices 0..15, two per byte (low nibble first).
    uint8_t idx[8];
    for (int i = 0; i < 8; ++i) idx[i] = uint8_t((2 * i) | ((2 * i + 1) << 4));
    f.Upload(0x200, 1, kPsmT4, 8, 2, idx, sizeof(idx));
    uint16_t pal[16];
    for (int i = 0; i < 16; ++i) pal[i] = uint16_t(i | (i % 2 ? 0x8000 : 0));  // red = i (<< 3 when expanded)
    f.Upload(0x300, 0, kPsmCt16, 8, 2, pal, sizeof(pal));
    AdPacket p;
    p.Set(kRegTexa, 0x20u | (uint64_t(0x70) << 32));
    p.Set(kRegTex0_1, Tex0(0x200, 1, kPsmT4, 3, 1, true, kTfxDecal, 0x300, kPsmCt16, 0, 0, 1))
        .Set(kRegTex1_1, 0);
    TexSprite(p, 0, 0, 8, 2, 0, 0, 8, 2);
    f.Send(p);
    for (int i = 0; i < 16; ++i) {
        const uint32_t a = (i % 2) ? 0x70u : 0x20u;  // TA1 for alpha-bit colours, TA0 otherwise
        EXPECT_EQ(f.Pixel(i % 8, i / 8), (uint32_t(i) << 3) | (a << 24)) << i;
    }

    // 24-bit texels: three bytes each on upload, alpha from TA0.
    const uint8_t rgb[4 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    f.Upload(0x100, 1, kPsmCt24, 4, 1, rgb, sizeof(rgb));
    AdPacket q;
    q.Set(kRegTexa, 0x55u).Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt24, 2, 0, true, kTfxDecal));
    TexSprite(q, 0, 4, 4, 5, 0, 0, 4, 1);
    f.Send(q);
    EXPECT_EQ(f.Pixel(0, 4), 0x55030201u);
    EXPECT_EQ(f.Pixel(3, 4), 0x550C0B0Au);
}

struct WrapCase {
    uint64_t clamp;
    uint32_t expect[8];
};

TEST(GsTexture, RepeatAndClampWrapModes) {
    // A 4 x 1 texture over 8 pixels. Region clamp to texels 1..2; region repeat with MINU (mask) 1 and
    // MAXU (or) 2: u -> (u & 1) | 2.
    const WrapCase cases[] = {
        {0, {10, 20, 30, 40, 10, 20, 30, 40}},
        {5, {10, 20, 30, 40, 40, 40, 40, 40}},
        {2 | (2 << 2) | (1 << 4) | (2 << 14), {20, 20, 30, 30, 30, 30, 30, 30}},
        {3 | (3 << 2) | (1 << 4) | (2 << 14), {30, 40, 30, 40, 30, 40, 30, 40}},
    };
    Fixture f;
    uint32_t tex[4] = {10, 20, 30, 40};
    f.Upload(0x100, 1, kPsmCt32, 4, 1, tex, sizeof(tex));
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 2, 0, true, kTfxDecal)).Set(kRegTex1_1, 0);
    for (int row = 0; row < 4; ++row) {
        p.Set(kRegClamp_1, cases[row].clamp);
        TexSprite(p, 0, row, 8, row + 1, 0, 0, 8, 1);
    }
    f.Send(p);
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(f.Pixel(x, row), cases[row].expect[x]) << row << ": " << x;
}

TEST(GsTexture, BilinearMagnificationBlendsNeighbours) {
    Fixture f;
    uint32_t tex[2] = {0x00000000u, 0x00000080u};  // red 0 and 128
    f.Upload(0x100, 1, kPsmCt32, 2, 1, tex, sizeof(tex));
    AdPacket p;
    p.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 1, 0, true, kTfxDecal))
        .Set(kRegTex1_1, 0x60)
        .Set(kRegClamp_1, 5);
    // 2 texels over 8 pixels: pixel x samples u = (x + 0.5) / 4; texel centres at 0.5 and 1.5. Up to
    // u 0.5 texel 0 (clamped), then 1/8 of the way to texel 1 per pixel (128 / 8 = 16), clamped from 1.5.
    TexSprite(p, 0, 0, 8, 1, 0, 0, 2, 1);
    f.Send(p);
    const uint32_t expect[8] = {0, 0, 16, 48, 80, 112, 128, 128};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(f.Pixel(x, 0) & 255, expect[x]) << x;
}

TEST(GsTexture, PerspectiveCorrectStqTriangle) {
    // A texture of vertical stripes (texel x holds x) on a triangle whose far vertex has q = 4: with
    // perspective the texel at a pixel is s/q * width, not a linear blend of the vertex texels.
    Fixture f;
    std::vector<uint32_t> tex(64 * 2);
    for (uint32_t i = 0; i < tex.size(); ++i) tex[i] = i % 64;
    f.Upload(0x100, 1, kPsmCt32, 64, 2, tex.data(), tex.size() * 4);
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
