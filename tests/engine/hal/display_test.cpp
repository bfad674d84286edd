#include "engine/hal/display.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/hal/dma_tasks.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry.h"
#include "engine/hal/lights.h"
#include "engine/hal/view_matrices.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST_F(EngineTest, ViewCreationSetsOffsetsAspectAndThe2DPlane) {
    _ve_view v{};
    veDisplayCreateView3D(&v, 0, 224, 640, 224, kViewCentred, 1.0f, 100.0f);
    EXPECT_EQ(v.offsetX, 2048.0f);
    EXPECT_EQ(v.offsetY, 2160.0f);
    EXPECT_EQ(v.sytemFlags, kViewCentred | kView3D | kViewCreated);
    EXPECT_EQ(v.veViewPlaneDist, 512.0f);
    veDisplayCreateView3D(&v, 0, 224, 640, 224, 0, 1.0f, 100.0f);
    EXPECT_EQ(v.offsetX, 1728.0f);
    EXPECT_EQ(v.offsetY, 2048.0f);
    // The aspect comes from the viewport only with its flag.
    veDisplayCreateView3D(&v, 0, 0, 320, 448, kViewAspectFromViewport, 1.0f, 100.0f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioX, 0.5f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioY, 1.0f);
    veDisplayCreateView3D(&v, 0, 0, 320, 448, 0, 1.0f, 100.0f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioX, 1.0f);
    EXPECT_FLOAT_EQ(v.veViewAspectRatioY, 0.9f);
    // The 2D plane is clamped to the nearest bound of the unit range.
    veDisplayCreateView2D(&v, 0, 0, 640, 448, 0, -1.0f);
    EXPECT_EQ(v.zplane2d, 16777215.0f);
    EXPECT_EQ(v.sytemFlags, kView2D | kViewCreated);
    veDisplayCreateView2D(&v, 0, 0, 640, 448, 0, 2.0f);
    EXPECT_EQ(v.zplane2d, 0.0f);
    EXPECT_EQ(v.zbump, 0.0f);
    veConvertZviewport2D(&v, 0.25f);
    EXPECT_FLOAT_EQ(v.zbump, 16777215.0f * 0.75f);
    veChangeZviewport2D(&v);
    EXPECT_FLOAT_EQ(v.zbump, 16777215.0f * 0.75f + 1.0f);
}

// ---- view matrices ------------------------------------------------------------------------------------

// A point through local-to-screen, divided by w.
void Project(float x, float y, float z, float out[3]) {
    const float* m = veEngineLocalToScreen->M;
    float v[4];
    for (int c = 0; c < 4; ++c) v[c] = x * m[c] + y * m[4 + c] + z * m[8 + c] + m[12 + c];
    for (int c = 0; c < 3; ++c) out[c] = v[c] / v[3];
}

class ViewMatrices : public enginetest::View3DTest {
protected:
    void SetUp() override {
        View3DTest::SetUp();
        veEngineBeginFrame();
        veDisplayActivateView(&view_);
        veEngineBuildView(&view_);
    }
    void TearDown() override {
        veEngineEndFrame();
        View3DTest::TearDown();
    }
};

TEST_F(ViewMatrices, DepthRunsFromZmaxAtTheNearPlaneToZminAtTheFar) {
    float p[3];
    Project(0, 0, 1.0f, p);
    EXPECT_NEAR(p[2], 16777215.0, 2.0);
    Project(0, 0, 65536.0f, p);
    EXPECT_NEAR(p[2], 1.0, 2.0);
    Project(0, 0, 100.0f, p);
    EXPECT_NEAR(p[0], 2048.0, 1e-3);
    // x = Fx z / d lies on the +x clip plane: the box corner there is judged inside, just beyond it out.
    const float z = 100.0f, x = 2047.0f * z / 512.0f;
    _BBOX box;
    for (auto& c : box.corner) c[0] = x, c[1] = 0, c[2] = z, c[3] = 1;
    EXPECT_EQ(veEngineBBoxOutsideFrustum(&box), 0);
    for (auto& c : box.corner) c[0] = x * 1.001f;
    EXPECT_EQ(veEngineBBoxOutsideFrustum(&box), 0x8001);
    // A 2D view has no clip matrices and clips nothing.
    _ve_view v2{};
    veDisplayCreateView2D(&v2, 0, 0, 640, 448, 0, 0.5f);
    veDisplayActivateView(&v2);
    veEngineBuildView(&v2);
    for (float f : veEngineLocalToClip->M) EXPECT_EQ(f, 0.0f);
    for (float f : veEngineClipToScreen->M) EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(veEngineLocalToScreen->M[12], v2.offsetX);
    EXPECT_EQ(veEngineLocalToScreen->M[14], v2.zbump);
    for (auto& c : box.corner) c[0] = -1e6f, c[1] = 1e6f, c[2] = -5;
    EXPECT_EQ(veEngineBBoxOutsideFrustum(&box), 0);
}

TEST_F(ViewMatrices, ViewPacketsCarryTheMatricesThenTheCall) {
    veLightCreateLightColorMatrix();
    uint8_t* rec = veNonBonedEngineViewsPtr;
    const int tasks = veDmaBuild->numTasks;
    ASSERT_EQ(veActivateView(), 0);
    EXPECT_EQ(veNonBonedEngineViewsPtr, rec + 22 * 16);
    ASSERT_EQ(veDmaBuild->numTasks, tasks + 1);
    uint64_t tag;
    std::memcpy(&tag, Ptr<uint8_t>(veDmaBuild->dma[tasks].dmaAdr), 8);
    EXPECT_EQ(tag, 22u | (uint64_t(Addr32(rec)) << 32));  // REFE of the 22 quadwords
    const auto* v = reinterpret_cast<const _ve_vu_view2*>(rec);
    EXPECT_EQ(v->vifCommand1[3], 0x6C140000u);  // 20 quadwords to VU1 0
    EXPECT_EQ(v->vifCommand2[3], 0x14000000u);
    EXPECT_EQ(std::memcmp(&v->vuMats[0], veEngineLocalToScreen, 64), 0);
    EXPECT_EQ(std::memcmp(&v->vuMats[1], veEngineLocalToClip, 64), 0);
    EXPECT_FLOAT_EQ(v->vuMats[4].M[0], 102.4f);
    // The pre-lit variants put the geometry colour scale or overwrite in the colour matrix's first row.
    veDisplaySetMode(0x400000);
    ASSERT_EQ(veEngineHardwareDownLoadNonBonedPreLitMatrices(), 0);
    EXPECT_FLOAT_EQ(v[1].vuMats[4].M[0], 1.0f);
    EXPECT_FLOAT_EQ(v[1].vuMats[4].M[4], 76.8f);
    veDisplaySetMode(0x800000);
    ASSERT_EQ(veEngineHardwareDownLoadNonBonedPreLitMatrices(), 0);
    EXPECT_FLOAT_EQ(v[2].vuMats[4].M[0], 128.0f);
    // The skinned packet unpacks 60 quadwords: local-to-screen, light, colour and 12 bones.
    veDisplaySetMode(0x200);
    uint8_t* boned = veBonedEngineViewsPtr;
    ASSERT_EQ(veActivateView(), 0);
    EXPECT_EQ((reinterpret_cast<const _ve_vu_view*>(boned)->vifCommand1[3] >> 16) & 0xFF, 60u);
    EXPECT_EQ(veBonedEngineViewsPtr, boned + 62 * 16);
}

TEST(ViewMath, MatrixAndConversionRoutines) {
    _matrix4 a, b, out;
    M4_Identity(&a);
    M4_Identity(&b);
    a.M[0] = 2;   // scale x by 2
    b.M[12] = 3;  // translate x by 3
    veMathMatrixMultiply(&out, &a, &b);
    EXPECT_FLOAT_EQ(1 * out.M[0] + out.M[12], 8.0f);  // (1, 0, 0) translated to 4, then scaled to 8
    const float s = 2;
    veMathUniScaleZeroTranslation(&b, &s);
    EXPECT_FLOAT_EQ(b.M[0], 2.0f);
    EXPECT_FLOAT_EQ(b.M[12], 3.0f);
    EXPECT_EQ(f32_to_s32(-2.9f), -2);
    EXPECT_EQ(f32_to_s32(1e20f), INT32_MAX);
    EXPECT_EQ(f32_to_s32(-1e20f), INT32_MIN);
    const float q[4] = {0.6f, 0.8f, 0, 0};
    float r;
    veMathQuaternionOneOverSin(q, &r);
    EXPECT_FLOAT_EQ(r, 1.25f);
}

TEST_F(EngineTest, CameraMatrixIsTranslationThenZYXRotationsInDegrees) {
    _ve_view v{};
    const _ve_vector3d pos = {10, 20, 30, 0}, rot = {0, 90, 0, 0};
    veDisplaySetCameraPositionOrientation(&v, &pos, &rot);
    EXPECT_EQ(v.cameraPosition.w, 1.0f);
    _matrix4 expected;
    M4_Identity(&expected);
    const _vector3d t = {10, 20, 30};
    M4_TranslateBy(&expected, &t);
    M4_RotateYOn(&expected, 90.0f * 0.0174533f);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(v.cameraMatrix.M[i], expected.M[i]) << i;
}

}  // namespace
