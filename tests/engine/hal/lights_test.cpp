#include "engine/hal/lights.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class Lights : public ::testing::Test {
protected:
    void SetUp() override { veLightReset(); }
    void TearDown() override { veLightReset(); }
};

TEST_F(Lights, ColourMatrixRowsAreTheColoursThenAmbientAndIndexThreeChangesNothing) {
    const _ve_vector3d bad = {9, 9, 9, 9};
    veLightSetLightDirection(3, &bad);
    veLightSetColor(3, &bad);
    veLightSetLightDirection(-1, &bad);
    EXPECT_FLOAT_EQ(engine::light0.y, 0.5f);
    EXPECT_FLOAT_EQ(engine::light1.x, 0.0f);
    veLightCreateLightColorMatrix();
    const float* m = veLightGetColorMatrix()->M;
    EXPECT_FLOAT_EQ(m[0], 102.4f);
    EXPECT_FLOAT_EQ(m[5], 76.8f);
    EXPECT_FLOAT_EQ(m[9], 128.0f);
    EXPECT_FLOAT_EQ(m[14], 19.2f);
    // A colour change shows only after the next rebuild.
    const _ve_vector3d c = {1, 2, 3, 4};
    veLightSetColor(1, &c);
    EXPECT_FLOAT_EQ(m[4], 76.8f);
    veLightCreateLightColorMatrix();
    EXPECT_FLOAT_EQ(m[4], 1.0f);
    EXPECT_FLOAT_EQ(m[7], 4.0f);
}

}  // namespace
