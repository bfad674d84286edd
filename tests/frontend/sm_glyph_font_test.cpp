// Fonts stored as glyph tables in the screen resource file: both file versions read, damaged glyph
// tables refused with one line each, widths from the character records, glyph images with their
// residency, and text placed, coloured by page and batched through the text buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/font/font_format.h"
#include "engine/hal/engine_fixture.h"
#include "frontend/sm/sm_dlist.h"
#include "frontend/sm/sm_draw.h"
#include "frontend/sm/sm_resource.h"
#include "mkdisc/fonts.h"
#include "support/image_patch.h"

namespace {

using testsupport::Peek;
using testsupport::Poke;

constexpr uint16_t kRed16 = 0x8000 | 31, kBlue16 = 0x8000 | 31 << 10;

// A 4-bit glyph-table font of two pages (red, blue): 'A' a solid 3 x 4 block drawn one pixel low, 'B' a
// 5 x 2 block, the space an advance of 2 without a glyph; kerning 1.
SMW_Font GlyphFont() {
    SMW_Font f;
    f.Name = "frontend\\glyphs.gly";
    f.Colours = 2;
    f.Pages = {{0x0000, kRed16}, {0x0000, kBlue16}};
    f.MaxOffsetY = 1, f.MaxCharHeight = 4, f.Kern = 1;
    f.Glyphs.resize(SM_FONT_CHARS);
    auto solid = [](int w, int h, int advance) {
        std::vector<uint8_t> px(size_t(advance * h / 2), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) px[size_t(y * advance + x) / 2] |= uint8_t(1 << (4 * (x & 1)));
        return px;
    };
    SMW_Glyph& a = f.Glyphs['A' - 32];
    a.Width = 3, a.Height = 4, a.Advance = 4, a.OffsetY = 1, a.DrawHeight = 4, a.Pixels = solid(3, 4, 4);
    SMW_Glyph& b = f.Glyphs['B' - 32];
    b.Width = 5, b.Height = 2, b.Advance = 6, b.OffsetY = 0, b.DrawHeight = 2, b.Pixels = solid(5, 2, 6);
    f.Glyphs[0].Advance = 2;
    return f;
}

SMW_Node Label(int16_t x, int16_t y, int16_t w, int16_t h, int32_t string, uint16_t align, int16_t id) {
    SMW_Node n;
    n.Type = SM_TYPE_TEXT, n.ID = id, n.x = x, n.y = y, n.w = w, n.h = h;
    n.Font = 0, n.Clut = 0, n.HiFont = -1, n.HiClut = 1;
    n.StringID = string, n.Align = align;
    return n;
}

// Screen 0: "AB A" at (100, 100) left and top; "A" centred in (200, 100, 40, 20); "A" right and bottom in
// (300, 100, 40, 20). Version 0x20001213 unless told otherwise; with font files a second font (an engine
// font) comes first, so the glyph-table font is font 1.
SMW_Resource Sample(uint32_t version) {
    SMW_Resource d;
    d.Version = version;
    d.Strings = {"AB A", "A", "C"};
    d.Fonts = {GlyphFont()};
    SMW_Node s0;
    s0.Children = {Label(100, 100, 40, 10, 0, 0, 40), Label(200, 100, 40, 20, 1, 1 | 4, 41),
                   Label(300, 100, 40, 20, 1, 2 | 8, 42)};
    d.Screens = {s0};
    if (version == SM_RES_VERSION_FONTFILES) {
        d.Fonts.insert(d.Fonts.begin(),
                       SMW_Font{"frontend\\file.fnt", 0, 14, WriteFont({2, 0x80FFFFFFu, 2}, kSampleGlyphs)});
        for (SMW_Node& n : d.Screens[0].Children) n.Font = 1;
    }
    return d;
}

std::vector<uint8_t> Write(const SMW_Resource& d) {
    std::vector<uint8_t> f;
    std::string error;
    EXPECT_TRUE(SM_WriteResource(d, &f, &error)) << error;
    return f;
}

class SmGlyphFont : public enginetest::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        SM_InitResourceModule();
        SM_PrepSetResourcePreload(-1);
        SM_InitDListModule(640, 448);
    }
    void TearDown() override {
        SM_DLFlush();
        SM_KillResource();
        EngineTest::TearDown();
    }
    void Load(const std::vector<uint8_t>& f) {
        ASSERT_EQ(SM_InitResourcePtr(f.data(), f.size(), 0, nullptr), 1);
    }
    static _smdlhdr* Find(int16_t id) { return SM_DLFindObjectByID(SM_ResScreenRoot(0), id); }
    static void DrawScreen() {
        DRAW_BeginFrame();
        const _sm_dldc dc = SM_DLRootContext();
        SM_DrawDisplayList(SM_ResScreenRoot(0), &dc);
        SM_DLFlush();
    }
    // The file offset of the character record of `code` of the font at table entry 0.
    static size_t CharAt(const std::vector<uint8_t>& f, int code) {
        const auto h = Peek<_sm_resheader>(f, 0);
        return h.CharDataOfs + Peek<_sm_fontentry>(f, h.FontTableOfs).CharDataOfs + size_t(code - 32) * 12;
    }
};

TEST_F(SmGlyphFont, BothVersionsAreReadAndTheWidthsComeFromTheCharacterRecords) {
    for (uint32_t version : {SM_RES_VERSION_GLYPHS, SM_RES_VERSION_FONTFILES}) {
        const std::vector<uint8_t> f = Write(Sample(version));
        EXPECT_EQ(Peek<uint32_t>(f, 0), version);
        Load(f);
        const int32_t font = version == SM_RES_VERSION_GLYPHS ? 0 : 1;
        ASSERT_TRUE(SM_FontHasGlyphs(font)) << version;
        EXPECT_EQ(SM_GetFont(font)->Font, nullptr);  // no engine font is made of it
        EXPECT_EQ(SM_GetFont(font)->Pages, 2);
        EXPECT_EQ(SM_GetFontMaxCharHeight(font), 4);
        EXPECT_EQ(SM_GetFontMaxOffsetY(font), 1);
        if (version == SM_RES_VERSION_FONTFILES) {
            EXPECT_FALSE(SM_FontHasGlyphs(0));
            EXPECT_NE(SM_GetFont(0)->Font, nullptr);
        }
        // Advances 4 + 6 + 2 + 4, kerning 1 between four characters; a code without a record adds only
        // the kerning; an empty text measures minus the kerning; the length counts, not the terminator.
        EXPECT_EQ(SM_DLTextPixelWidth(font, "AB A", 4), 19);
        EXPECT_EQ(SM_DLTextPixelWidth(font, "AB A", 2), 11);
        EXPECT_EQ(SM_DLTextPixelWidth(font, "A\x01", 2), 5);
        EXPECT_EQ(SM_DLTextPixelWidth(font, "", 0), -1);
        EXPECT_EQ(SM_GetCharRecord(font, 'B' - 32)->Advance, 6);
        EXPECT_EQ(SM_GetCharRecord(font, 96), nullptr);
        SM_KillResource();
    }
}

TEST_F(SmGlyphFont, DamagedGlyphTablesAreRefusedWithOneLineEach) {
    const std::vector<uint8_t> good = Write(Sample(SM_RES_VERSION_GLYPHS));
    ASSERT_EQ(SM_ValidateResource(good.data(), good.size()), 1);
    const auto h = Peek<_sm_resheader>(good, 0);
    const size_t font = h.FontTableOfs, a = CharAt(good, 'A');
    struct Case {
        const char* what;
        size_t at;
        int bytes;
        uint32_t value;
        const char* line;
    };
    const Case cases[] = {
        {"no pages in a glyph-table file", font + offsetof(_sm_fontentry, GlyphPages), 2, 0,
         "without glyph pages"},
        {"65 pages", font + offsetof(_sm_fontentry, GlyphPages), 2, 65, "too many glyph pages"},
        {"300 colours", font + offsetof(_sm_fontentry, Colours), 2, 300, "over 256 colours"},
        {"three pages, two listed", font + offsetof(_sm_fontentry, GlyphPages), 2, 3, "glyph list shorter"},
        {"one page, two listed", font + offsetof(_sm_fontentry, GlyphPages), 2, 1,
         "glyph list does not match"},
        {"page colours past the image", h.GlyphListOfs + 4, 4, 0x10000, "glyph page colours outside"},
        {"character records past the file", font + offsetof(_sm_fontentry, CharDataOfs), 4, 0xFFFFFF00u,
         "character records outside"},
        {"character area past the file", offsetof(_sm_resheader, CharDataOfs), 4, uint32_t(good.size() - 100),
         "character records outside"},
        {"negative advance", a + offsetof(_sm_charrecord, Advance), 1, 0xFF, "advance negative"},
        {"negative width", a + offsetof(_sm_charrecord, Width), 1, 0xFD, "size negative"},
        {"wider than its advance", a + offsetof(_sm_charrecord, Width), 1, 5, "wider than its advance"},
        {"odd advance at 4 bits", a + offsetof(_sm_charrecord, Advance), 1, 5, "not whole bytes"},
        {"drawing height 0", a + offsetof(_sm_charrecord, DrawHeight), 4, 0, "drawing height"},
        {"drawing height huge", a + offsetof(_sm_charrecord, DrawHeight), 4, 5000, "drawing height"},
        {"pixels past the image", a + offsetof(_sm_charrecord, PixelOfs), 4, 0xFFFFFFF0u,
         "pixels outside the font's image"},
        {"taller than its pixels", CharAt(good, 'B') + offsetof(_sm_charrecord, Height), 1, 100,
         "pixels outside the font's image"},
        {"image size 0", font + offsetof(_sm_fontentry, ImageSize), 4, 0, "not packed in order"},
        {"image past the file", font + offsetof(_sm_fontentry, ImageSize), 4, 0x7FFFFFFF,
         "font image outside"},
        {"glyph list not whole entries", offsetof(_sm_resheader, GlyphListSize), 4, 6, "glyph list outside"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        if (c.bytes == 1) Poke(bad, c.at, uint8_t(c.value));
        if (c.bytes == 2) Poke(bad, c.at, uint16_t(c.value));
        if (c.bytes == 4) Poke(bad, c.at, c.value);
        log_->clear();
        EXPECT_EQ(SM_InitResourcePtr(bad.data(), bad.size(), 0, nullptr), 0) << c.what;
        EXPECT_EQ(log_->count("file refused"), 1) << c.what << ": " << log_->text();
        EXPECT_EQ(log_->count("\n"), 1) << c.what << ": " << log_->text();
        EXPECT_TRUE(log_->has(c.line)) << c.what << ": " << log_->text();
        EXPECT_EQ(Resource.Loaded, 0) << c.what;
    }
    for (size_t len : {size_t(h.CharDataOfs + 50), size_t(h.FontImageOfs + 3), good.size() - 1})
        EXPECT_EQ(SM_ValidateResource(good.data(), len), 0) << len;

    // The writer refuses what the format cannot hold.
    const char* expect[] = {"cannot be stored in a glyph-table file", "page colour count", "pixel bytes",
                            "96 glyphs"};
    for (int i = 0; i < 4; ++i) {
        SMW_Resource d = Sample(SM_RES_VERSION_GLYPHS);
        if (i == 0)
            d.Fonts.push_back({"frontend\\f.fnt", 0, 7, WriteFont({1, 0x80FFFFFFu, 1}, kSampleGlyphs)});
        if (i == 1) d.Fonts[0].Pages[1].pop_back();
        if (i == 2) d.Fonts[0].Glyphs['A' - 32].Pixels.pop_back();
        if (i == 3) d.Fonts[0].Glyphs.pop_back();
        std::vector<uint8_t> f;
        std::string error;
        EXPECT_FALSE(SM_WriteResource(d, &f, &error)) << i;
        EXPECT_NE(error.find(expect[i]), std::string::npos) << error;
    }
}

TEST_F(SmGlyphFont, GlyphImagesAreBuiltOnUseAndFreedWhenIdle) {
    Load(Write(Sample(SM_RES_VERSION_GLYPHS)));
    _sm_fontrecord* rec = SM_GetFont(0);
    // Undefined characters (the space, 'C'), codes past the records and pages past the font: no image.
    for (auto [glyph, page] :
         {std::pair{0, 0}, {'C' - 32, 0}, {96, 0}, {-1, 0}, {'A' - 32, 2}, {'A' - 32, -1}})
        EXPECT_EQ(SM_GetCharImage(glyph, 0, page), nullptr) << glyph << " " << page;
    EXPECT_EQ(rec->Glyphs, 0);
    uint32_t* red = SM_GetCharImage('A' - 32, 0, 0);
    uint32_t* blue = SM_GetCharImage('A' - 32, 0, 1);
    ASSERT_TRUE(red && blue && *red && *blue);
    EXPECT_EQ(SM_GetCharImage('A' - 32, 0, 0), red);  // built once
    EXPECT_EQ(rec->Glyphs, 2);
    // The descriptor: the glyph's size, its advance as line length (4 pixels at 4 bits), the page's
    // palette expanded to 4-byte colours; each page has its own copy of the pixels.
    const auto* r = Ptr<BMP_INSTANCE>(*red);
    const auto* b = Ptr<BMP_INSTANCE>(*blue);
    EXPECT_EQ(r->format, 0x12);
    EXPECT_EQ(r->dims[0], 3);
    EXPECT_EQ(r->dims[1], 4);
    EXPECT_EQ(r->dims[2], 2);
    EXPECT_EQ(r->count, 2);
    EXPECT_EQ(Ptr<uint32_t>(r->words[2])[1], 0x800000FFu);
    EXPECT_EQ(Ptr<uint32_t>(b->words[2])[1], 0x80FF0000u);
    EXPECT_EQ(Ptr<uint32_t>(r->words[2])[0], 0u);
    EXPECT_NE(r->words[0], b->words[0]);
    EXPECT_EQ(Ptr<uint8_t>(r->words[0])[0], 0x11);
    EXPECT_EQ(SM_LogActiveResources(), 2);

    // Each use sets the expiry to page flips + 30; SM_ManageResource frees one idle glyph a frame.
    for (int i = 0; i < 30; ++i) {
        ENG_CountPageFlip();
        SM_ManageResource();
    }
    EXPECT_EQ(rec->Glyphs, 2);
    ENG_CountPageFlip();
    SM_ManageResource();
    EXPECT_EQ(rec->Glyphs, 1);
    SM_GetCharImage('A' - 32, 0, 1);  // used again: stays
    for (int i = 0; i < 5; ++i) {
        ENG_CountPageFlip();
        SM_ManageResource();
    }
    EXPECT_EQ(rec->Glyphs, 1);
    EXPECT_TRUE(rec->PageTable[1 * SM_FONT_CHARS + ('A' - 32)].Flags & 1);
    EXPECT_FALSE(rec->PageTable['A' - 32].Flags & 1);
    // Preload mode keeps the font's tables: a freed glyph is built again.
    EXPECT_NE(SM_GetCharImage('A' - 32, 0, 0), nullptr);
    EXPECT_EQ(rec->Glyphs, 2);
    SM_ReleaseAllFonts();
    EXPECT_EQ(rec->Glyphs, 0);
    EXPECT_NE(rec->Chars, nullptr);
}

TEST_F(SmGlyphFont, TextIsPlacedByAlignmentAndColouredByPage) {
    Load(Write(Sample(SM_RES_VERSION_FONTFILES)));
    const uint32_t back = Rgb(FramePixel(630, 440));
    DrawAndRun(DrawScreen);
    const uint32_t red = 0x0000FFu, blue = 0xFF0000u;
    // Left, top: the line starts one pixel (the largest offset) above the node, so 'A' (offset 1) covers
    // x 100..102, y 100..103; the pen moves 4 + 1: 'B' (offset 0) covers x 105..109, y 99..100; 'B' and the
    // space move it 6 + 1 and 2 + 1: 'A' at 115..117.
    struct Probe {
        int x, y;
        uint32_t rgb;
    };
    const Probe left[] = {{100, 100, red}, {102, 103, red}, {100, 104, back}, {103, 100, back},
                          {100, 99, back}, {105, 99, red},  {109, 100, red},  {105, 101, back},
                          {110, 99, back}, {115, 100, red}, {117, 103, red},  {114, 100, back},
                          {118, 100, back}};
    for (const Probe& p : left) EXPECT_EQ(Rgb(FramePixel(p.x, p.y)), p.rgb) << p.x << "," << p.y;
    // Centred in 200..239 x 100..119: width 4 → x = 219.5 - 2 = 217.5; the line (height 4) starts at
    // 109.5 - 2 = 107.5 and 'A', drawn one lower than the line's y, there too: pixels from (218, 108).
    int lit = 0, minX = 640, minY = 448;
    for (int y = 95; y < 125; ++y)
        for (int x = 195; x < 245; ++x)
            if (Rgb(FramePixel(x, y)) == red) ++lit, minX = std::min(minX, x), minY = std::min(minY, y);
    EXPECT_EQ(lit, 12);
    EXPECT_EQ(minX, 218);
    EXPECT_EQ(minY, 108);
    // Right and bottom in 300..339 x 100..119: x = 339 - (4 - 1) = 336; the line is the 4 rows 115..118.
    EXPECT_EQ(Rgb(FramePixel(336, 115)), red);
    EXPECT_EQ(Rgb(FramePixel(338, 118)), red);
    EXPECT_EQ(Rgb(FramePixel(339, 116)), back);
    EXPECT_EQ(Rgb(FramePixel(336, 114)), back);
    EXPECT_EQ(Rgb(FramePixel(336, 119)), back);
    // Highlighted, the labels take page 1.
    Find(40)->Flags |= SM_FLAG_HIGHLIGHTED;
    DrawAndRun(DrawScreen);
    EXPECT_EQ(Rgb(FramePixel(100, 100)), blue);
    EXPECT_EQ(Rgb(FramePixel(336, 115)), red);
}

TEST_F(SmGlyphFont, TheBufferBatchesUpToSixteenStringsAndNeverOverlappingOnes) {
    Load(Write(Sample(SM_RES_VERSION_GLYPHS)));
    _smdlhdr* node = Find(41);  // "A" centred in a 40 x 20 box
    const _sm_dldc root = SM_DLRootContext();
    auto draw = [&](int x, int y, bool highlighted = false) {
        node->x = int16_t(x), node->y = int16_t(y);
        node->Flags =
            uint16_t(highlighted ? node->Flags | SM_FLAG_HIGHLIGHTED : node->Flags & ~SM_FLAG_HIGHLIGHTED);
        SM_DLDrawTextString(node, &root);
    };
    DrawAndRun([&] {
        DRAW_BeginFrame();
        for (int i = 0; i < 15; ++i) draw(40 * i, 0);
        EXPECT_EQ(nStrings, 15);
        EXPECT_EQ(BufferedFont, 0);
        EXPECT_EQ(BufferedClut, 0);
        EXPECT_EQ(BufString[3].nChars, 1);
        draw(0, 100);  // the 16th flushes at once
        EXPECT_EQ(nStrings, 0);
        draw(0, 200);
        draw(0, 200);  // on top of the first: a batch of its own
        EXPECT_EQ(nStrings, 1);
        draw(100, 200, true);  // another page: another batch
        EXPECT_EQ(nStrings, 1);
        EXPECT_EQ(BufferedClut, 1);
        // A rectangle over a buffered string flushes it first; one elsewhere does not.
        _smdlhdr rect{};
        rect.Type = SM_TYPE_GOURAUD, rect.Flags = SM_FLAG_VISIBLE, rect.Alpha = 255,
        rect.xScale = rect.yScale = 1;
        _sm_gouraudnode g{rect, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}};
        g.Hdr.x = 400, g.Hdr.y = 400, g.Hdr.w = g.Hdr.h = 4;
        SM_DLDrawGouraudRect(&g.Hdr, &root);
        EXPECT_EQ(nStrings, 1);
        g.Hdr.x = 110, g.Hdr.y = 200, g.Hdr.w = 20, g.Hdr.h = 20;
        SM_DLDrawGouraudRect(&g.Hdr, &root);
        EXPECT_EQ(nStrings, 0);
        draw(0, 300);
        CurBounds = {10, 20, 10, 20};
        SM_DLFlush();  // draws and resets the text clip to the whole screen
        EXPECT_EQ(nStrings, 0);
        EXPECT_EQ(CurBounds.R, 639);
        EXPECT_EQ(CurBounds.B, 447);
    });
    // Every "A" of the first row was drawn; the rectangle covers the highlighted one.
    for (int i = 0; i < 15; ++i) EXPECT_EQ(Rgb(FramePixel(40 * i + 18, 10)), 0x0000FFu) << i;
    EXPECT_EQ(Rgb(FramePixel(18, 110)), 0x0000FFu);
    EXPECT_EQ(Rgb(FramePixel(118, 210)), 0xFFFFFFu);
}

}  // namespace
