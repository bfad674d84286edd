// The window's fitting rule (it needs no SDL).
#include <gtest/gtest.h>

#include "host/sdl_window.h"

namespace {

TEST(DisplayFit, WholeFactorsWhenTheyFitElseTheLargestFourByThreeBox) {
    // 640 pixels wide on a 4:3 screen: a 640 x 480 box per factor.
    host::FitRect r = host::FitDisplay(1280, 960, 640);
    EXPECT_EQ(r.w, 1280);
    EXPECT_EQ(r.h, 960);
    EXPECT_EQ(r.x, 0);
    r = host::FitDisplay(1920, 1080, 640);  // factor 2 (3 would need 1440 rows), centred
    EXPECT_EQ(r.w, 1280);
    EXPECT_EQ(r.h, 960);
    EXPECT_EQ(r.x, 320);
    EXPECT_EQ(r.y, 60);
    r = host::FitDisplay(800, 600, 640);
    EXPECT_EQ(r.w, 640);
    EXPECT_EQ(r.h, 480);
    EXPECT_EQ(r.x, 80);
    EXPECT_EQ(r.y, 60);
    r = host::FitDisplay(500, 500, 640);  // smaller than one factor: keep 4:3
    EXPECT_EQ(r.w, 500);
    EXPECT_EQ(r.h, 375);
    EXPECT_EQ(r.y, 62);
    r = host::FitDisplay(600, 300, 640);
    EXPECT_EQ(r.h, 300);
    EXPECT_EQ(r.w, 400);
    EXPECT_EQ(r.x, 100);
    r = host::FitDisplay(0, 480, 640);
    EXPECT_EQ(r.w, 0);
}

}  // namespace
