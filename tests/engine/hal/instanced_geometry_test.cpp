#include "engine/hal/geometry_instanced.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/geometry_format.h"
#include "engine/hal/microcode.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "engine_fixture.h"
#include "support/heap_image.h"

namespace {

using enginetest::EngineTest;

// A pre-lit block of `materials` materials: a square of side 4 around the origin in the x-y plane,
// wound to face the camera, vertex colour (100, 60, 200, 128), with an 8 x 8 texture of 1.0 (the colour shows
// as it is); scale 2.
std::vector<uint8_t> Square(int materials = 1) {
    GeoMesh mesh;
    mesh.scale = 2.0f;
    const float c[4][2] = {{-2, -2}, {2, -2}, {2, 2}, {-2, 2}};
    for (int m = 0; m < materials; ++m) {
        GeoMaterial mat;
        mat.materialId = m;
        for (int k : {0, 2, 1, 0, 3, 2}) {
            GeoVertex v;
            v.x = c[k][0];
            v.y = c[k][1];
            v.rgba = 100 | 60 << 8 | 200 << 16 | 128u << 24;
            mat.triangles.push_back(v);
        }
        mat.texture.width = mat.texture.height = 8;
        mat.texture.pixels.assign(64, 0);
        mat.texture.palette.assign(16, 0x80808080u);  // modulates by 1
        mesh.materials.push_back(mat);
    }
    return WriteGeometry(mesh);
}

using Mem = testsupport::HeapImage;

using enginetest::Translation;

class InstancedDraw : public enginetest::View3DTest {
protected:
    void SetUp() override {
        View3DTest::SetUp();
        ASSERT_EQ(veEngineLoadGeo(m_.as<_FS_GEO_HEADER>(), m_.size), 1) << enginetest::g_log;
    }
    // Screen x of a world point (the camera is the identity).
    double ScreenX(float x, float z) {
        Activate();
        veEngineBuildView(veDisplayGetActiveView());
        const float* m = veEngineLocalToScreen->M;
        return (x * m[0] + z * m[8] + m[12]) / (x * m[3] + z * m[11] + m[15]);
    }
    // Starts a frame with the view active in display mode `mode`.
    void Begin(uint32_t mode) {
        veEngineBeginFrame();
        Activate();
        veDisplaySetMode(mode);
    }
    // Each frame starts with no active view.
    void Activate() { Place(0, 0, 0); }
    Mem m_{Square()};
};

TEST_F(InstancedDraw, EachInstanceGetsItsColourAndAlpha) {
    const _matrix4 mats[2] = {Translation(-20, 0, 100), Translation(20, 0, 100)};
    const _RGBA_GEO colours[2] = {{128, 128, 128, 128}, {64, 128, 32, 64}};
    DrawAndRun([&] {
        Activate();
        veDisplaySetMode(0x40000);
        // Twice: the first draw patches the block for instancing, the second must leave it so.
        veEngineDrawInstanceGeometry(m_.as<_FS_GEO_HEADER>(), mats, colours, 2);
        veEngineDrawInstanceGeometry(m_.as<_FS_GEO_HEADER>(), mats, colours, 2);
        veDisplaySetMode(0);
    });
    const int y = 224;
    const int left = static_cast<int>(ScreenX(-20, 100) - 2048 + 320 + 0.5);
    const int right = static_cast<int>(ScreenX(20, 100) - 2048 + 320 + 0.5);
    // The first keeps the vertex colour; the second is scaled per channel (100 * 64/128, 60, 200 * 32/128).
    EXPECT_EQ(FramePixel(left, y) & 0xFFFFFF, 100u | (60u << 8) | (200u << 16)) << enginetest::g_log;
    EXPECT_EQ(FramePixel(right, y) & 0xFFFFFF, 50u | (60u << 8) | (50u << 16));
    // Alpha is scaled too (128 * 64 / 128) and written with the colour.
    EXPECT_EQ(FramePixel(left, y) >> 24, 128u);
    EXPECT_EQ(FramePixel(right, y) >> 24, 64u);
}

TEST_F(InstancedDraw, PacketHoldsAtMostItsRoom) {
    std::vector<_matrix4> mats;
    for (int i = 0; i < 60; ++i) mats.push_back(Translation(float(i % 10) - 5, float(i / 10) - 3, 400));
    Begin(0);
    enginetest::g_log.clear();
    _matrixInfoTable* t = veBuildMatrixList(m_.as<_FS_GEO_HEADER>(), mats.data(), nullptr, 60, 0);
    EXPECT_EQ(t->matPacket.matCount, 54u);
    EXPECT_EQ(t->matrixCountPerPacket, 216u);
    EXPECT_NE(enginetest::g_log.find("more than 54 instances"), std::string::npos) << enginetest::g_log;
    t = veBuildMatrixList(m_.as<_FS_GEO_HEADER>(), mats.data(), nullptr, 60, 0x40000);
    EXPECT_EQ(t->matPacket.matCount, 27u);
    EXPECT_EQ(t->matrixCountPerPacket, 216u);
    veEngineEndFrame();
    // Uniform scaling by the block's scale leaves the translations.
    veEngineSetUniScaleInstanceGeo(m_.as<_FS_GEO_HEADER>(), mats.data(), 2);
    EXPECT_EQ(mats[1].M[0], 2.0f);
    EXPECT_EQ(mats[1].M[10], 2.0f);
    EXPECT_EQ(mats[1].M[12], -4.0f);
    EXPECT_EQ(mats[1].M[15], 1.0f);
}

}  // namespace
