#include "engine/font/font.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
#include "engine/font/font_format.h"
#include "engine/hal/engine_fixture.h"
#include "engine/hal/prim.h"
#include "engine/sys/heap.h"
#include "support/heap_image.h"
#include "support/image_patch.h"
#include "support/temp_dir.h"

namespace {

using enginetest::EngineTest;
using testsupport::Poke;

// A font from the writer (every glyph a full 5 x 7 cell, advance 5, spacing 1) with 'B' patched to
// advance 7 and the given word spacing.
constexpr size_t CharField(int c, size_t field) {
    return offsetof(_font_data, charData) + c * sizeof(_char_data) + field;
}
std::vector<uint8_t> SmallFont(uint8_t wordSpacing = 4) {
    static const char* const kFull = "#####/#####/#####/#####/#####/#####/#####";
    const char* glyphs[kFontGlyphs];
    for (const char*& g : glyphs) g = kFull;
    std::vector<uint8_t> f = WriteFont(FontStyle{}, glyphs);
    Poke(f, CharField('B', offsetof(_char_data, width)), int8_t(7));
    Poke(f, offsetof(_font_data, wordSpacing), wordSpacing);
    return f;
}
const _font_data& Header(const std::vector<uint8_t>& f) {
    return *reinterpret_cast<const _font_data*>(f.data());
}

class Fonts : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
        PS2CD_ResetFiles();
    }
    void TearDown() override {
        while (engine::usedfonts) veFontDestroy(engine::usedfonts);
        images_.clear();
        console::CdUnmount();
        EngineTest::TearDown();
    }
    void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        disc_.write("FONTS/" + name, bytes);
        console::CdUnmount();
        ASSERT_TRUE(console::CdMount(disc_.path().c_str()));
        PS2CD_ResetFiles();
    }
    _font* FromMemory(const char* name, const std::vector<uint8_t>& bytes = SmallFont()) {
        images_.emplace_back(bytes);
        return veFontCreateFromPointer(name, images_.back().as<_font_data>(), bytes.size(), 0, 0);
    }
    testsupport::TempDir disc_;
    std::list<testsupport::HeapImage> images_;
};

TEST_F(Fonts, FileFontsShareTheirImageByName) {
    WriteFile("SMALL.FNT", SmallFont());
    _font* a = veFontCreateFromFile("FONTS\\SMALL.FNT", 0);
    ASSERT_TRUE(a && a->data);
    EXPECT_EQ(a->data->memStatus, 3);
    EXPECT_EQ(a->data->colData, a->data->bitmapData + a->data->bitmapWidth * a->data->bitmapHeight);
    _font* b = veFontCreateFromFile("FONTS\\SMALL.FNT", 0);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->data, b->data);
    EXPECT_EQ(a->data->useCount, 2);
    _font_data* shared = a->data;
    veFontDestroy(a);
    EXPECT_EQ(b->data, shared);
    EXPECT_EQ(shared->useCount, 1);
    EXPECT_EQ(b->fsBitmap.pixdata, shared->bitmapData);
    // The texture descriptor names the palette the image has (256 entries), not 65536.
    EXPECT_EQ(b->fsBitmap.numColors, 256u);
    EXPECT_EQ(b->vAlignAdjust, shared->ascent);
}

TEST_F(Fonts, MissingShortAndCorruptFilesGiveNullAndReturnTheirRecords) {
    // The pool is made by the first allocation, which a missing file also makes (and gives back).
    EXPECT_EQ(veFontCreateFromFile("FONTS\\NONE.FNT", 0), nullptr);
    ASSERT_NE(console::CdFaultOf("FONTS\\NONE.FNT"), nullptr);  // for the program to tell the user
    EXPECT_EQ(console::CdFaultOf("FONTS\\NONE.FNT")->kind, console::DiscFault::kMissing);
    auto pooled = [] {
        int n = 0;
        for (_font* f = engine::freefonts; f; f = f->next) ++n;
        return n;
    };
    const int before = pooled();
    EXPECT_GT(before, 0);
    std::vector<uint8_t> shortFont = SmallFont(), badFont = SmallFont();
    shortFont.resize(shortFont.size() - 100);
    Poke(badFont, offsetof(_font_data, bitmapType), uint8_t(7));
    WriteFile("SHORT.FNT", shortFont);
    WriteFile("BAD.FNT", badFont);
    for (const auto& [name, why] : {std::pair{"FONTS\\SHORT.FNT", "shorter than its bitmap"},
                                    std::pair{"FONTS\\BAD.FNT", "7 bytes per pixel"}}) {
        enginetest::g_log.clear();
        EXPECT_EQ(veFontCreateFromFile(name, 0), nullptr);
        EXPECT_NE(enginetest::g_log.find(why), std::string::npos) << enginetest::g_log;
        // The file's own damage, not a read the disc failed: recorded as damaged, with the reason, for the
        // program to tell the user the game goes on without the font.
        const console::DiscFileFault* fault = console::CdFaultOf(name);
        ASSERT_NE(fault, nullptr) << name;
        EXPECT_EQ(fault->kind, console::DiscFault::kDamaged) << name;
        EXPECT_NE(std::string(fault->damage).find(why), std::string::npos) << fault->damage;
    }
    EXPECT_EQ(pooled(), before);
    for (int i = 0; i < kPs2FileCount; ++i) EXPECT_FALSE(PS2CD_FileRecord(i)->inUse) << i;
}

// A font the disc fails to read, header or bitmap (here cut short after the disc was mounted, as when it
// changes in a run), is the disc's fault: recorded with the reason, for the program to tell the user.
TEST_F(Fonts, AFontTheDiscFailsToReadIsReportedAsTheDiscs) {
    const char* const kFull = "#####/#####/#####/#####/#####/#####/#####";
    const char* glyphs[kFontGlyphs];
    for (const char*& g : glyphs) g = kFull;
    FontStyle style;
    style.scale = 4;
    const std::vector<uint8_t> large = WriteFont(style, glyphs);
    ASSERT_GT(large.size(), 50000u);
    WriteFile("HEAD.FNT", SmallFont());
    WriteFile("BITS.FNT", large);
    // 100 bytes: the header is not there; 40000: the header is, read in the first 32 KB, the bitmap not.
    for (const auto& [name, keep] : {std::pair{"HEAD.FNT", 100}, std::pair{"BITS.FNT", 40000}}) {
        ASSERT_EQ(truncate(disc_.file(std::string("FONTS/") + name).c_str(), keep), 0);
        const std::string file = std::string("FONTS\\") + name;
        enginetest::g_log.clear();
        EXPECT_EQ(veFontCreateFromFile(file.c_str(), 0), nullptr) << name;
        EXPECT_NE(enginetest::g_log.find("cannot read \"" + file + "\""), std::string::npos)
            << enginetest::g_log;
        const console::DiscFileFault* fault = console::CdFaultOf(file.c_str());
        ASSERT_NE(fault, nullptr) << name;
        char reason[256];
        EXPECT_STREQ(console::CdFaultReason(*fault, reason, sizeof reason),
                     "cannot be read: shorter than when the run started");
    }
    for (int i = 0; i < kPs2FileCount; ++i) EXPECT_FALSE(PS2CD_FileRecord(i)->inUse) << i;
}

TEST_F(Fonts, CorruptImagesInMemoryAreRefused) {
    const std::vector<uint8_t> good = SmallFont();
    EXPECT_EQ(veFontCheckImage(good.data(), good.size()), 1);
    struct Case {
        const char* why;
        size_t size;            // bytes kept of the image
        size_t at1, at2;        // fields patched (0: none)
        int32_t v1, v2, bytes;  // their values and sizes
    };
    const size_t w = offsetof(_font_data, bitmapWidth), h = offsetof(_font_data, bitmapHeight);
    const Case cases[] = {
        {"shorter than its header", kFontHeaderBytes - 1, 0, 0, 0, 0, 0},
        {"needs", good.size() - 1, 0, 0, 0, 0, 0},
        {"palette of 4096 bytes", good.size(), offsetof(_font_data, clutSize), 0, 4096, 0, 4},
        // 'B' reaches past the 128-pixel bitmap
        {"cell 66", good.size(), CharField('B', offsetof(_char_data, bounds.botRight.x)), 0, 130, 0, 2},
        {"bitmap of 64 pixels", good.size(), w, 0, 0, 0, 2},  // width 0: the larger side is reported
        // 127 x 63 bytes of bitmap: the palette would not start on a quadword
        {"whole number of quadwords", good.size(), w, h, 127, 63, 2},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> f(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(c.size));
        if (c.at1) std::memcpy(f.data() + c.at1, &c.v1, size_t(c.bytes));
        if (c.at2) std::memcpy(f.data() + c.at2, &c.v2, size_t(c.bytes));
        enginetest::g_log.clear();
        EXPECT_EQ(veFontCheckImage(f.data(), f.size()), 0) << c.why;
        EXPECT_NE(enginetest::g_log.find(c.why), std::string::npos) << enginetest::g_log;
    }
    EXPECT_EQ(FromMemory("bad", std::vector<uint8_t>(100, 0)), nullptr);
    // A good image off a 16-byte boundary cannot be sent by DMA.
    auto* raw = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(good.size() + 16), "", 0));
    std::memcpy(raw + 4, good.data(), good.size());
    EXPECT_EQ(veFontCreateFromPointer("odd", reinterpret_cast<_font_data*>(raw + 4), good.size(), 0, 0),
              nullptr);
    EXPECT_NE(enginetest::g_log.find("16-byte boundary"), std::string::npos);
    x_free(raw);
}

TEST_F(Fonts, SeventeenthFontIsRefusedAndANameIsReused) {
    std::vector<_font*> made;
    for (int i = 0; i < numFonts; ++i) {
        made.push_back(FromMemory(("font" + std::to_string(i)).c_str()));
        ASSERT_NE(made.back(), nullptr) << i;
    }
    EXPECT_EQ(FromMemory("one too many"), nullptr);
    veFontDestroy(made[3]);
    EXPECT_NE(FromMemory("fits again"), nullptr);
    // An image in memory replaces the image of the font with its name.
    _font* a = made[0];
    veFontSetColor(a, 0x11223344);
    _font_data* first = a->data;
    std::vector<uint8_t> other = SmallFont();
    Poke(other, offsetof(_font_data, spacing), uint8_t(5));
    _font* b = FromMemory("font0", other);
    EXPECT_EQ(a, b);
    EXPECT_NE(b->data, first);
    EXPECT_EQ(b->spacing, 5);
    EXPECT_EQ(b->rgba, 0x11223344u);
    EXPECT_EQ(first->useCount, 0);
    EXPECT_EQ(b->data->memStatus, 0);  // not owned: never freed by the font
}

TEST_F(Fonts, WidthsSpacesMonospacingAndAlignmentTables) {
    const std::vector<uint8_t> image = SmallFont(0);
    const _font_data& h = Header(image);
    const int a = h.charData['A'].width, b = h.charData['B'].width, sp = h.spacing;
    ASSERT_NE(a, b);
    _font* f = FromMemory("w", image);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(veFontGetStrWidth(f, "AB"), a + sp + b);
    EXPECT_EQ(veFontGetStrWidth(f, ""), -1);
    // A space of word spacing 0 adds nothing to the width...
    EXPECT_EQ(veFontGetStrWidth(f, "A B"), a + sp + b);
    // ...but the spacing to the pen when drawn; undefined and high codes are skipped without advance.
    veEngineBeginFrame();
    engine::cursorX = 100;
    veFontDrawStr(f, "A B\x01\xC1");
    EXPECT_EQ(engine::cursorX, 100 + (a + sp) + sp + (b + sp));
    // Centred "AB" starts half its width (rounded down) left.
    veFontSetHorizontalAlignment(f, 1);
    engine::cursorX = 100;
    veFontDrawStr(f, "AB");
    EXPECT_EQ(engine::cursorX, 100 - (a + sp + b) / 2 + (a + sp) + (b + sp));
    // Formatted text is cut to the 255-character buffer.
    veFontSetHorizontalAlignment(f, 0);
    veFontPrintfXY(f, 0, 0, "%s", std::string(600, 'A').c_str());
    EXPECT_EQ(std::strlen(engine::printfBuffer), 255u);
    EXPECT_EQ(engine::cursorX, 255 * (a + sp));
    veEngineEndFrame();

    const std::pair<int, int> aligns[] = {{1, h.ascent - h.height / 2}, {2, 0}, {3, -h.descent}, {9, 0}};
    for (const auto& [align, adjust] : aligns) {
        veFontSetVerticalAlignment(f, align);
        EXPECT_EQ(f->vAlignAdjust, adjust) << align;
    }

    veFontSetMonoSpacing(f);
    EXPECT_EQ(f->monoSpacing, h.maxWidth);
    EXPECT_EQ(veFontGetSpacing(f), 0);
    EXPECT_EQ(veFontGetStrWidth(f, "AB"), 2 * h.maxWidth);
    EXPECT_EQ(veFontGetStrWidth(f, "A B"), 3 * h.maxWidth);
}

}  // namespace
