// The race's start and results pictures as the game reads them back: palettised colours close to what
// was drawn, and each count card showing its digit.
#include "mkdisc/race_art.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "game/files/texture.h"
#include "mkdisc/fonts.h"
#include "race/race_pictures.h"

namespace {

TEST(RaceArt, PicturesReadBackAsDrawnAndCardsShowTheirDigits) {
    for (int i = 0; i < 256; ++i) {
        if (!IsRaceArt(i)) continue;
        std::vector<uint8_t> file = RaceArtFile(i);
        const Canvas c = RaceArtCanvas(i);
        std::unique_ptr<CTexture> t(LoadTexture(file.data(), static_cast<int>(file.size()), i));
        ASSERT_TRUE(t && t->fsBitmap.bitsPerPixel == 8 && int(t->fsBitmap.width) == c.width()) << i;
        int worst = 0;
        for (int y = 0; y < c.height(); ++y)
            for (int x = 0; x < c.width(); ++x) {
                // The palette is stored in the order the graphics hardware reads it.
                const uint32_t k = t->fsBitmap.Pixels()[size_t(y) * c.width() + x];
                const uint32_t got = t->fsBitmap.Palette()[(k & ~0x18u) | ((k & 8u) << 1) | ((k & 16u) >> 1)];
                const uint32_t want = c.at(x, y);
                for (int s = 0; s < 24 && (want >> 24) >= 16; s += 8)
                    worst = std::max(worst, std::abs(int((got >> s) & 255) - int((want >> (16 - s)) & 255)));
            }
        EXPECT_LE(worst, 16) << "sub-file " << i;
    }
    // Count cards: the centre of every cell of the digit's glyph is bright, of every other cell dark.
    for (int n = 1; n <= 3; ++n) {
        const Canvas c = RaceArtCanvas(common::kStartCard0 + n - 1);
        const int scale = 7, x0 = (c.width() - Canvas::textWidth("1", scale)) / 2, y0 = 32 - 7 * scale / 2;
        int row = 0, col = 0;
        for (const char* p = kSampleGlyphs['0' + n - 32]; *p; ++p, ++col) {
            if (*p == '/') {
                ++row, col = -1;
                continue;
            }
            const uint32_t px = c.at(x0 + col * scale + scale / 2, y0 + row * scale + scale / 2);
            const int bright = std::max({int(px >> 16 & 255), int(px >> 8 & 255), int(px & 255)});
            EXPECT_EQ(bright > 150, *p == '#') << n << " row " << row << " col " << col;
            EXPECT_TRUE(bright > 150 || bright < 80) << n;
        }
    }
}

}  // namespace
