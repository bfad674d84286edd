// The race's start and results pictures as the game reads them back: palettised colours close to what
// was drawn, and each count card showing its digit.
#include "mkdisc/race_art.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/sys/bitmap.h"
#include "game/files/texture.h"
#include "game/race/race_pictures.h"
#include "mkdisc/fonts.h"

namespace {

// Entry `index` of a 256-colour palette stored in the order the graphics hardware reads it.
uint32_t PaletteEntry(const CTexture& t, uint32_t index) {
    const uint32_t pos = (index & ~0x18u) | ((index & 8u) << 1) | ((index & 16u) >> 1);
    return t.fsBitmap.Palette()[pos];
}

TEST(RaceArt, PicturesReadBackAsDrawnAndCardsShowTheirDigits) {
    for (int i = 0; i < 256; ++i) {
        if (!IsRaceArt(i)) continue;
        std::vector<uint8_t> file = RaceArtFile(i);
        const Canvas c = RaceArtCanvas(i);
        std::unique_ptr<CTexture> t(LoadTexture(file.data(), static_cast<int>(file.size()), i));
        ASSERT_TRUE(t) << i;
        ASSERT_EQ(t->fsBitmap.bitsPerPixel, 8) << i;
        ASSERT_EQ(int(t->fsBitmap.width), c.width());
        int worst = 0;
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x) {
                const uint32_t got = PaletteEntry(*t, t->fsBitmap.Pixels()[size_t(y) * c.width() + x]);
                const uint32_t want = c.at(x, y);
                if (((want >> 24) & 255) < 16) continue;  // all but transparent: colour does not matter
                for (int s : {0, 8, 16})
                    worst = std::max(worst, std::abs(int((got >> s) & 255) - int((want >> (16 - s)) & 255)));
            }
        EXPECT_LE(worst, 16) << "sub-file " << i;
    }
    // Count cards: every cell of the digit's glyph is bright, every other cell of its box dark.
    for (int n = 1; n <= 3; ++n) {
        const Canvas c = RaceArtCanvas(common::kStartCard0 + n - 1);
        const char* g = kSampleGlyphs['0' + n - 32];
        const int scale = 7, x0 = (c.width() - Canvas::textWidth("1", scale)) / 2, y0 = 32 - 7 * scale / 2;
        int row = 0, col = 0;
        for (const char* p = g; *p; ++p) {
            if (*p == '/') {
                ++row, col = 0;
                continue;
            }
            const uint32_t px = c.at(x0 + col * scale + scale / 2, y0 + row * scale + scale / 2);
            const int bright = std::max({int(px >> 16 & 255), int(px >> 8 & 255), int(px & 255)});
            if (*p == '#')
                EXPECT_GT(bright, 150) << n << " row " << row << " col " << col;
            else
                EXPECT_LT(bright, 80) << n << " row " << row << " col " << col;
            ++col;
        }
    }
}

}  // namespace
