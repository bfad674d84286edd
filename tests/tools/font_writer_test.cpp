#include "engine/font/font_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "engine/font/font.h"
#include "engine/hal/engine_fixture.h"
#include "engine/hal/texture_manager.h"
#include "engine/sys/heap.h"
#include "mkdisc/fonts.h"

namespace {

using enginetest::EngineTest;

// A font file copied into engine memory (16-byte aligned, as master-file sub-files are).
_font_data* InMemory(const std::vector<uint8_t>& file) {
    auto* p = static_cast<_font_data*>(x_fn_malloc(static_cast<uint32_t>(file.size()), "", 0));
    std::memcpy(p, file.data(), file.size());
    return p;
}

TEST(FontWriter, HeaderMetricsAndGlyphCells) {
    const std::vector<uint8_t> f = WriteFont({2, 0x80FFFFFF, 2}, kSampleGlyphs);
    ASSERT_GE(f.size(), kFontHeaderBytes);
    _font_data h;
    std::memcpy(&h, f.data(), sizeof h);
    EXPECT_EQ(h.ascent, 14);  // 7 rows of 2 pixels
    EXPECT_EQ(h.descent, 4);  // and 2 more below the baseline
    EXPECT_EQ(f.size(), kFontHeaderBytes + size_t(h.bitmapWidth) * h.bitmapHeight + h.clutSize);
    EXPECT_EQ(h.charData[' '].defined + h.charData[0].defined + h.charData[127].defined, 0);
    // Every printable character has a 10 x 18 cell inside the bitmap with the baseline 14 rows down,
    // cells not overlapping; only g, j, p, q and y have pixels below the baseline.
    const uint8_t* pixels = f.data() + kFontHeaderBytes;
    for (int c = 33; c <= 126; ++c) {
        const _char_data& cd = h.charData[c];
        ASSERT_EQ(cd.defined, 1) << c;
        EXPECT_EQ(cd.bounds.botRight.x - cd.bounds.topLeft.x, 10);
        EXPECT_EQ(cd.bounds.botRight.y - cd.bounds.topLeft.y, 18);
        EXPECT_EQ(cd.baseline, 14);
        bool below = false;
        for (int y = cd.bounds.topLeft.y + 14; y < cd.bounds.botRight.y; ++y)
            for (int x = cd.bounds.topLeft.x; x < cd.bounds.botRight.x; ++x)
                below = below || pixels[size_t(y) * h.bitmapWidth + size_t(x)] != 0;
        EXPECT_EQ(below, std::strchr("gjpqy", c) != nullptr) << char(c);
        EXPECT_LE(cd.bounds.botRight.x, h.bitmapWidth);
        EXPECT_LE(cd.bounds.botRight.y, h.bitmapHeight);
        if (c > 33) {
            const _char_data& prev = h.charData[c - 1];
            EXPECT_TRUE(prev.bounds.topLeft.y != cd.bounds.topLeft.y ||
                        prev.bounds.botRight.x < cd.bounds.topLeft.x);
        }
    }
    // Top row of 'T' is five set cells, scaled: ten pixels of index 1.
    const _char_data& t = h.charData['T'];
    const uint8_t* bits = f.data() + kFontHeaderBytes;
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(bits[size_t(t.bounds.topLeft.y) * h.bitmapWidth + t.bounds.topLeft.x + x], 1) << x;
    // Colour index 1 is the style's colour; 0 is transparent.
    uint32_t pal[2];
    std::memcpy(pal, f.data() + kFontHeaderBytes + size_t(h.bitmapWidth) * h.bitmapHeight, 8);
    EXPECT_EQ(pal[0], 0u);
    EXPECT_EQ(pal[1], 0x80FFFFFFu);
    EXPECT_EQ(veFontCheckImage(f.data(), f.size()), 1);
}

TEST(FontWriter, NamedFontsAndRefusals) {
    for (const char* n : {"debug.fnt", "uni18.fnt", "uni18yel.fnt", "uni25.fnt", "uni25yel.fnt", "unism.fnt",
                          "digital.fnt", "highligh.fnt"}) {
        const std::vector<uint8_t> f = WriteNamedFont(n);
        ASSERT_FALSE(f.empty()) << n;
        EXPECT_EQ(veFontCheckImage(f.data(), f.size()), 1) << n;
    }
    EXPECT_TRUE(WriteNamedFont("nothing.fnt").empty());
    EXPECT_TRUE(WriteFont({0, 0, 0}, kSampleGlyphs).empty());
    EXPECT_TRUE(WriteFont({5, 0, 0}, kSampleGlyphs).empty());
}

class FontDrawing : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        veDisplayCreateView2D(&view_, 0, 0, 640, 448, kViewAspectFromViewport, 0.5f);
        image_ = InMemory(WriteFont({2, 0x80FFFFFF, 2}, kSampleGlyphs));
        font_ = veFontCreateFromPointer("uni18.fnt", image_,
                                        WriteFont({2, 0x80FFFFFF, 2}, kSampleGlyphs).size(), 0, 0);
        ASSERT_NE(font_, nullptr);
    }
    void TearDown() override {
        veFontDestroy(font_);
        x_free(image_);
        EngineTest::TearDown();
    }
    template <typename F>
    void Draw(F f) {
        DrawAndRun([&] {
            veDisplayActivateView(&view_);
            f();
        });
    }
    // Pixels touched by a glyph (the background is (0, 0, 128)) and pixels wholly white.
    static bool Lit(int x, int y) { return Rgb(FramePixel(x, y)) != 0x800000u; }
    static bool Full(int x, int y) { return Rgb(FramePixel(x, y)) == 0xFFFFFFu; }

    _ve_view view_{};
    _font_data* image_ = nullptr;
    _font* font_ = nullptr;
};

// The immediate-mode environment filters textures bilinearly, and the glyph quads put texel centres on
// pixel edges: a pixel whose two neighbouring texels are both set is fully lit, a pixel on a glyph's
// edge is partly lit.
TEST_F(FontDrawing, GlyphLandsAtThePenInItsColour) {
    // 'I' is .###. on its top and bottom rows and ..#.. between; scale 2 doubles every cell.
    Draw([&] { veFontPrintfXY(font_, 100, 50, "I"); });
    for (int x = 102; x <= 106; ++x) {
        EXPECT_TRUE(Full(x, 50)) << x;
        EXPECT_TRUE(Full(x, 62)) << x;
    }
    EXPECT_TRUE(Full(104, 56));
    for (auto [x, y] : {std::pair{101, 50}, {107, 50}, {103, 56}, {105, 56}}) {
        EXPECT_TRUE(Lit(x, y)) << x << "," << y;
        EXPECT_FALSE(Full(x, y)) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{100, 50}, {108, 50}, {104, 49}, {104, 64}, {102, 56}, {106, 56}})
        EXPECT_FALSE(Lit(x, y)) << x << "," << y;
    // The pen advanced by the width (10) plus the spacing (2).
    EXPECT_EQ(engine::cursorX, 112);
}

// 'p' hangs its stem two cells below the baseline (y 64 here), where 'I' ends; its bowl starts two cells
// under the pen, as the lower-case letters without descenders do.
TEST_F(FontDrawing, DescendersHangBelowTheBaseline) {
    Draw([&] { veFontPrintfXY(font_, 100, 50, "Ip"); });
    EXPECT_TRUE(Full(112, 62));
    EXPECT_TRUE(Full(112, 66));  // the stem under the baseline
    EXPECT_FALSE(Lit(112, 68));
    EXPECT_FALSE(Lit(114, 52));  // nothing above the bowl
    EXPECT_FALSE(Lit(104, 65));  // 'I' stops at the baseline
    EXPECT_EQ(engine::cursorX, 124);
}

// The glyph-table fonts of the screens carry the descenders too: as tall as the nine rows, scaled, with
// the shadow's row; 'y' has face pixels under the baseline, 'T' none.
TEST(FontWriter, GlyphTableFontHoldsTheDescenders) {
    const SMW_Font font = WriteGlyphTableFont(2, {{0xFFFF, 0x8000}});
    EXPECT_EQ(font.MaxCharHeight, 19);
    auto faceBelowBaseline = [&](char c) {
        const SMW_Glyph& g = font.Glyphs[size_t(c - 32)];
        EXPECT_EQ(g.Height, 19) << c;
        bool face = false;
        for (int y = 14; y < g.Height; ++y)
            for (int x = 0; x < g.Advance; ++x) {
                const size_t i = size_t(y) * size_t(g.Advance) + size_t(x);
                face = face || ((g.Pixels[i / 2] >> (i % 2 ? 4 : 0)) & 15) == 1;
            }
        return face;
    };
    EXPECT_TRUE(faceBelowBaseline('y'));
    EXPECT_TRUE(faceBelowBaseline('g'));
    EXPECT_FALSE(faceBelowBaseline('T'));
    EXPECT_FALSE(faceBelowBaseline('a'));
}

TEST_F(FontDrawing, PrintfHookDrawsWithTheDebugFont) {
    Draw([&] {
        veFontSetDebugFont(font_);
        EXPECT_EQ(veFontGetColor(font_), 0xFFFFFFFFu);
        EXPECT_EQ(font_->monoSpacing, 12);
        x_printfxy(100, 200, "%c", 'I');
    });
    // Vertical alignment 2 puts the baseline at y.
    EXPECT_TRUE(Lit(105, 198));
    EXPECT_FALSE(Lit(105, 200));
    EXPECT_FALSE(Lit(105, 185));
    veFontSetDebugFont(nullptr);
}

}  // namespace
