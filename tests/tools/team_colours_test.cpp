// A rider and a bike look the same on the front end's screens and in the race: the portrait's jersey and
// the bike picture's plastics have the colour of the race's jersey and plastics textures of that number.
#include <gtest/gtest.h>

#include <memory>

#include "game/files/texture.h"
#include "mkdisc/frontend_art.h"
#include "mkdisc/models.h"

namespace {

// The colour (0xRRGGBB) of texel `texel` (row by row) of common-objects sub-file `subFile` as the race
// loads it.
uint32_t TexelColour(int subFile, int texel) {
    std::vector<uint8_t> file = WriteTeamTexture(subFile);
    std::unique_ptr<CTexture> t(LoadTexture(file.data(), static_cast<int>(file.size()), subFile));
    if (!t || t->fsBitmap.bitsPerPixel != 8) return 0xFFFFFFFFu;
    const uint32_t k = t->fsBitmap.Pixels()[texel];
    const uint32_t p = t->fsBitmap.Palette()[(k & ~0x18u) | ((k & 8u) << 1) | ((k & 16u) >> 1)];
    return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
}

TEST(TeamColours, PortraitsAndBikePicturesWearTheRaceTexturesColours) {
    for (int k = 0; k < 10; ++k) {
        // Texels in the base colour: the jersey's first row, the plastics' first row past the stripe.
        const uint32_t jersey = TexelColour(76 + 2 * k, 0), plastics = TexelColour(96 + k, 5);
        EXPECT_EQ(RiderPicture(k).at(30, 120) & 0xFFFFFF, jersey) << "rider " << k;
        EXPECT_EQ(BikePicture(k).at(70, 48) & 0xFFFFFF, plastics) << "bike " << k;
        EXPECT_EQ(jersey, plastics) << k;  // rider k and bike k are one team
    }
}

}  // namespace
