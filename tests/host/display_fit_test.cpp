// Where the picture goes on the screen and in the window (no SDL needed).
#include "host/display_fit.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayFit, TheWindowOpensAtTheLargestWholeScaleTheUsableAreaHolds) {
    struct Case {
        int areaW, areaH, scale;
    } const cases[] = {
        {1280, 720, 1},   // 896 rows would not fit
        {1920, 1080, 2},  // 1920 x 1344 would not fit
        {1920, 1040, 2},  // a panel takes 40 rows
        {2560, 1440, 3}, {3840, 2160, 4}, {1280, 896, 2},
        {1279, 896, 1},  {600, 400, 1},  // nothing fits: scale 1
    };
    for (const Case& c : cases)
        EXPECT_EQ(host::WholeScale(c.areaW, c.areaH, 640, 448), c.scale) << c.areaW << "x" << c.areaH;
}

TEST(DisplayFit, WholeScalesLetterboxedElseThePicturesShape) {
    struct Case {
        int winW, winH;
        host::FitRect want;
    } const cases[] = {
        {640, 448, {0, 0, 640, 448}},
        {1280, 896, {0, 0, 1280, 896}},
        {1920, 1080, {320, 92, 1280, 896}},  // resized: factor 2, bars on every side
        {1300, 1400, {10, 252, 1280, 896}},
        {1000, 500, {180, 26, 640, 448}},
        {320, 448, {0, 112, 320, 224}},  // narrower than the picture: its shape, full width
        {640, 224, {160, 0, 320, 224}},  // lower than the picture: full height
        {0, 480, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const host::FitRect r = host::FitDisplay(c.winW, c.winH, 640, 448);
        EXPECT_EQ(r.x, c.want.x) << c.winW << "x" << c.winH;
        EXPECT_EQ(r.y, c.want.y) << c.winW << "x" << c.winH;
        EXPECT_EQ(r.w, c.want.w) << c.winW << "x" << c.winH;
        EXPECT_EQ(r.h, c.want.h) << c.winW << "x" << c.winH;
    }
}

}  // namespace
