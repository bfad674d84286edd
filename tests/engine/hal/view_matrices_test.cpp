#include "engine/hal/view_matrices.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/hal/dma_tasks.h"
#include "engine/hal/geometry.h"
#include "engine/hal/lights.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

// A point through local-to-screen, divided by w.
void Project(float x, float y, float z, float out[3]) {
    const float* m = veEngineLocalToScreen->M;
    float v[4];
    for (int c = 0; c < 4; ++c) v[c] = x * m[c] + y * m[4 + c] + z * m[8 + c] + m[12 + c];
    for (int c = 0; c < 3; ++c) out[c] = v[c] / v[3];
}

class ViewMatrices : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        veDisplayCreateView3D(&view_, 0, 0, 640, 448, kViewCentred, 1.0f, 65536.0f);
        M4_Identity(&view_.cameraMatrix);
    }
    _ve_view view_{};
};

TEST_F(ViewMatrices, DepthRunsFromZmaxAtTheNearPlaneToZminAtTheFar) {
    veEngineBeginFrame();
    veDisplayActivateView(&view_);
    veEngineBuildView(&view_);
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
    veEngineEndFrame();
}

TEST_F(ViewMatrices, TwoDViewsClipNothing) {
    _ve_view v2{};
    veDisplayCreateView2D(&v2, 0, 0, 640, 448, 0, 0.5f);
    veEngineBeginFrame();
    veDisplayActivateView(&v2);
    veEngineBuildView(&v2);
    _BBOX box;
    for (auto& c : box.corner) c[0] = -1e6f, c[1] = 1e6f, c[2] = -5, c[3] = 1;
    EXPECT_EQ(veEngineBBoxOutsideFrustum(&box), 0);
    veEngineEndFrame();
}

TEST_F(ViewMatrices, UnskinnedPacketCarriesFiveMatricesThenTheCall) {
    veEngineBeginFrame();
    veDisplayActivateView(&view_);
    veEngineBuildView(&view_);
    veLightCreateLightColorMatrix();
    uint8_t* rec = veNonBonedEngineViewsPtr;
    const int tasks = veDmaBuild->numTasks;
    ASSERT_EQ(veActivateView(), 0);
    EXPECT_EQ(veNonBonedEngineViewsPtr, rec + 22 * 16);
    ASSERT_EQ(veDmaBuild->numTasks, tasks + 1);
    const auto* v = reinterpret_cast<const _ve_vu_view2*>(rec);
    EXPECT_EQ(v->vifCommand1[0], 0x10000000u);
    EXPECT_EQ(v->vifCommand1[3], 0x6C140000u);  // 20 quadwords to VU1 0
    EXPECT_EQ(v->vifCommand2[3], 0x14000000u);
    EXPECT_EQ(std::memcmp(&v->vuMats[0], veEngineLocalToScreen, 64), 0);
    EXPECT_EQ(std::memcmp(&v->vuMats[1], veEngineLocalToClip, 64), 0);
    EXPECT_FLOAT_EQ(v->vuMats[4].M[0], 102.4f);
    uint64_t tag[2];
    std::memcpy(tag, Ptr<uint8_t>(veDmaBuild->dma[tasks].dmaAdr), 16);
    EXPECT_EQ(tag[0] & 0xFFFF, 22u);
    EXPECT_EQ((tag[0] >> 28) & 7, 0u);
    EXPECT_EQ(uint32_t(tag[0] >> 32), Addr32(rec));

    // The pre-lit variant puts the geometry colour in the colour matrix's first row.
    veDisplaySetMode(0x400000);
    ASSERT_EQ(veEngineHardwareDownLoadNonBonedPreLitMatrices(), 0);
    const auto* s = reinterpret_cast<const _ve_vu_view2*>(rec + 22 * 16);
    EXPECT_FLOAT_EQ(s->vuMats[4].M[0], 1.0f);  // scale
    EXPECT_FLOAT_EQ(s->vuMats[4].M[4], 76.8f);
    veDisplaySetMode(0x800000);
    ASSERT_EQ(veEngineHardwareDownLoadNonBonedPreLitMatrices(), 0);
    EXPECT_FLOAT_EQ(reinterpret_cast<const _ve_vu_view2*>(rec + 44 * 16)->vuMats[4].M[0],
                    128.0f);  // overwrite
    veDisplaySetMode(0);
    veEngineEndFrame();
}

TEST_F(ViewMatrices, SkinnedPacketUnpacksItsSixtyQuadwords) {
    veEngineBeginFrame();
    veDisplayActivateView(&view_);
    veEngineBuildView(&view_);
    veDisplaySetMode(0x200);
    uint8_t* rec = veBonedEngineViewsPtr;
    ASSERT_EQ(veActivateView(), 0);
    const auto* v = reinterpret_cast<const _ve_vu_view*>(rec);
    EXPECT_EQ((v->vifCommand1[3] >> 16) & 0xFF, 60u);  // local-to-screen, light, colour, 12 bones
    EXPECT_EQ(sizeof(v->vuMats) + sizeof(v->vuBones), 60u * 16);
    EXPECT_EQ(veBonedEngineViewsPtr, rec + 62 * 16);
    veDisplaySetMode(0);
    veEngineEndFrame();
}

TEST_F(ViewMatrices, LocalToWorldChangesReachTheNextBuild) {
    veEngineBeginFrame();
    veDisplayActivateView(&view_);
    veEngineBuildView(&view_);
    _matrix4 m;
    M4_Identity(&m);
    m.M[12] = 5;
    veEngineSetLocalToWorld(&m);
    veEngineBuildView(&view_);
    float p[3];
    Project(0, 0, 10, p);
    EXPECT_NEAR(p[0], 2048.0 + 512.0 * 5 / 10, 1e-2);
    veEngineReSetLocalToWorld();
    veEngineBuildView(&view_);
    Project(0, 0, 10, p);
    EXPECT_NEAR(p[0], 2048.0 + 512.0 * 5 / 10, 1e-2);  // the saved matrix is the one set last
    veEngineEndFrame();
}

TEST(ViewMath, MultiplyAppliesTheSecondMatrixFirst) {
    _matrix4 a, b, out;
    M4_Identity(&a);
    M4_Identity(&b);
    a.M[0] = 2;   // scale x by 2
    b.M[12] = 3;  // translate x by 3
    veMathMatrixMultiply(&out, &a, &b);
    // (1, 0, 0): translated to 4, then scaled to 8.
    EXPECT_FLOAT_EQ(1 * out.M[0] + out.M[12], 8.0f);
    const float s = 2;
    veMathUniScaleZeroTranslation(&b, &s);
    EXPECT_FLOAT_EQ(b.M[0], 2.0f);
    EXPECT_FLOAT_EQ(b.M[12], 3.0f);
}

TEST(ViewMath, InlineRoutines) {
    EXPECT_EQ(f32_to_s32(-2.9f), -2);
    EXPECT_EQ(f32_to_s32(2.9f), 2);
    EXPECT_EQ(f32_to_s32(1e20f), INT32_MAX);
    EXPECT_EQ(f32_to_s32(-1e20f), INT32_MIN);
    const float q[4] = {0.6f, 0.8f, 0, 0};
    float r;
    veMathQuaternionOneOverSin(q, &r);
    EXPECT_FLOAT_EQ(r, 1.25f);
    alignas(16) float src[16], dst[16] = {};
    for (int i = 0; i < 16; ++i) src[i] = float(i);
    EXPECT_EQ(veMemCpyQuadWord4(dst, src), dst);
    EXPECT_FLOAT_EQ(dst[15], 15.0f);
    float d2[4] = {};
    veMathQuaternionCopy(d2, q);
    EXPECT_FLOAT_EQ(d2[1], 0.8f);
}

}  // namespace
