#include "engine/hal/display.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/hal/draw_env.h"
#include "engine/hal/view_matrices.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST_F(EngineTest, ViewOffsetsFollowTheCentredFlag) {
    _ve_view v{};
    veDisplayCreateView3D(&v, 0, 224, 640, 224, kViewCentred, 1.0f, 100.0f);
    EXPECT_EQ(v.offsetX, 2048.0f);
    EXPECT_EQ(v.offsetY, 2160.0f);
    EXPECT_EQ(v.sytemFlags, kViewCentred | kView3D | kViewCreated);
    EXPECT_EQ(v.veViewPlaneDist, 512.0f);
    veDisplayCreateView3D(&v, 0, 224, 640, 224, 0, 1.0f, 100.0f);
    EXPECT_EQ(v.offsetX, 1728.0f);
    EXPECT_EQ(v.offsetY, 2048.0f);
}

TEST_F(EngineTest, AspectComesFromTheViewportOnlyWithItsFlag) {
    _ve_view v{};
    veDisplayCreateView3D(&v, 0, 0, 320, 448, kViewAspectFromViewport, 1.0f, 100.0f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioX, 0.5f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioY, 1.0f);
    veDisplayCreateView3D(&v, 0, 0, 320, 448, 0, 1.0f, 100.0f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioX, 1.0f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioY, 0.9f);
}

TEST_F(EngineTest, TwoDViewPlaneIsClampedToTheNearestBound) {
    _ve_view v{};
    veDisplayCreateView2D(&v, 0, 0, 640, 448, 0, -1.0f);
    EXPECT_EQ(v.zplane2d, 16777215.0f);
    EXPECT_EQ(v.sytemFlags, kView2D | kViewCreated);
    veDisplayCreateView2D(&v, 0, 0, 640, 448, 0, 2.0f);
    EXPECT_EQ(v.zplane2d, 0.0f);
    EXPECT_EQ(v.zbump, 0.0f);
}

TEST_F(EngineTest, CameraMatrixIsTranslationThenZYXRotationsInDegrees) {
    _ve_view v{};
    const _ve_vector3d pos = {10, 20, 30, 0}, rot = {0, 90, 0, 0};
    veDisplaySetCameraPositionOrientation(&v, &pos, &rot);
    EXPECT_EQ(v.cameraPosition.w, 1.0f);
    EXPECT_EQ(v.cameraOrientation.y, 90.0f);
    _matrix4 expected;
    M4_Identity(&expected);
    const _vector3d t = {10, 20, 30};
    M4_TranslateBy(&expected, &t);
    M4_RotateYOn(&expected, 90.0f * 0.0174533f);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(v.cameraMatrix.M[i], expected.M[i]) << i;
}

TEST_F(EngineTest, ReactivatingTheActiveViewLeavesOffsetsAndScissorsAlone) {
    _ve_view a{};
    veDisplayCreateView2D(&a, 10, 20, 100, 50, 0, 0.0f);
    veDisplayActivateView(&a);
    EXPECT_EQ(veDisplayGetActiveView(), &a);
    EXPECT_EQ(veEngineScreenOffsetX, a.offsetX);
    const uint64_t scissor = veRenderEnvironment[0].scissor;
    EXPECT_EQ(scissor, 10u | (109ull << 16) | (20ull << 32) | (69ull << 48));
    EXPECT_EQ(engine::defaultEnv1.gs_draw.scissor1.SCAX1, 109u);
    // Someone changes the engine offsets and the default scissor; re-activating the same view restores
    // only the current draw environments (copies of the defaults).
    veEngineSetScreenOffsetXY(1.0f, 2.0f);
    veSetDefaultScissorEnv1(0, 0, 5, 5);
    engine::drawEnvPtr1->gs_draw.scissor1.SCAX1 = 99;
    veDisplayActivateView(&a);
    EXPECT_EQ(veEngineScreenOffsetX, 1.0f);
    EXPECT_EQ(veRenderEnvironment[0].scissor, scissor);
    EXPECT_EQ(engine::defaultEnv1.gs_draw.scissor1.SCAX1, 5u);
    EXPECT_EQ(engine::drawEnvPtr1->gs_draw.scissor1.SCAX1, 5u);
    EXPECT_EQ(veEngineViewBuildFlag, 1u);
}

TEST_F(EngineTest, ViewMatricesPutTheNearPlaneAtTheTopOfTheDepthRange) {
    veEngineSetNearPlane(1.0f);
    veEngineSetFarPlane(65536.0f);
    veEngineSetMinMaxZ(1.0f, 16777215.0f);
    veEngineBuildViewMatricesf(512.0f);
    auto depth = [](float z) {
        const float* p = veEnginePerspective->M;
        const float zs = z * p[10] + p[14];
        const float w = z * p[11] + p[15];
        return zs / w;
    };
    EXPECT_NEAR(depth(1.0f), 16777215.0f, 2.0f);
    EXPECT_NEAR(depth(65536.0f), 1.0f, 2.0f);
    // A point at x = Fx z / d lies on the +x clip plane: clip x equals clip w.
    const float z = 100.0f, x = 2047.0f * z / 512.0f;
    const float* c = veEngineClip->M;
    EXPECT_FLOAT_EQ(x * c[0], z * c[11] + c[15]);
}

TEST_F(EngineTest, TwoDViewBuildHasZeroClipMatrices) {
    _ve_view v{};
    veDisplayCreateView2D(&v, 0, 0, 640, 448, 0, 0.5f);
    veDisplayActivateView(&v);
    veEngineBuildView(&v);
    for (float f : veEngineLocalToClip->M) EXPECT_EQ(f, 0.0f);
    for (float f : veEngineClipToScreen->M) EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(veEngineLocalToScreen->M[12], v.offsetX);
    EXPECT_EQ(veEngineLocalToScreen->M[14], v.zbump);
    EXPECT_EQ(veEngineViewBuildFlag, 0u);
}

TEST_F(EngineTest, ModeAndResolutionAreStored) {
    veDisplaySetMode(0x4000200);
    EXPECT_EQ(veDisplayGetMode(), 0x4000200u);
    veDisplayInit(256, 256);
    EXPECT_EQ(veDisplayGetXRes(), 256);
    EXPECT_EQ(veDisplayGetYRes(), 256);
    veDisplayInit(640, 448);
    EXPECT_EQ(veDisplaySetEngine2DZPlane(16777215.0f), 1);
}

}  // namespace
