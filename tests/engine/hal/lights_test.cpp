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

TEST_F(Lights, LightMatrixHoldsUnitVectorsTowardsTheLightsInObjectSpace) {
    // Default light 0 travels along (0, .5, .5): the row points back along it, unit length.
    _matrix4 n;
    M4_Identity(&n);
    veLightCreateNormalizedLightMatrix(&n);
    const float* m = veLightGetLightMatrix()->M;
    EXPECT_NEAR(m[0], 0.0f, 1e-6);
    EXPECT_NEAR(m[1], -std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(m[2], -std::sqrt(0.5f), 1e-6);
    for (int i = 3; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], 0.0f) << i;  // lights 1, 2 off; row 3 zero
    // An object turned 90 degrees about z: its normal matrix (the cofactors of a rotation are the
    // rotation) takes the world light (1, 0, 0) to d.i = light . row i.
    const _ve_vector3d l = {2, 0, 0, 0};
    veLightSetLightDirection(1, &l);
    _matrix4 r;
    M4_Identity(&r);
    r.M[0] = 0, r.M[1] = 1, r.M[4] = -1, r.M[5] = 0;
    veLightCreateNormalizedLightMatrix(&r);
    EXPECT_NEAR(m[4], 0.0f, 1e-6);  // light . row 0 = 0
    EXPECT_NEAR(m[5], 1.0f, 1e-6);  // -(light . row 1) / 2 = 1
    EXPECT_NEAR(m[6], 0.0f, 1e-6);
}

}  // namespace
