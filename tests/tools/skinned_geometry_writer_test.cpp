#include "engine/hal/geometry_skinned_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../engine/hal/engine_fixture.h"
#include "engine/anim/anim_format.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "mkdisc/models.h"
#include "mkdisc/motions.h"
#include "support/heap_image.h"

namespace {

using enginetest::EngineTest;

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t U16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

using Mem = testsupport::HeapImage;

TEST_F(EngineTest, SampleModelsPassTheChecksAndCarryTheAnimationSkeletons) {
    const std::vector<_bone> rider = RiderSkeletonBones();
    for (bool vu0 : {false, true}) {
        const std::vector<uint8_t> img = WriteRiderSkinnedGeometry(vu0);
        ASSERT_FALSE(img.empty());
        Mem m(img);
        EXPECT_EQ(veEngineCheckSkinnedGeo(m.p, m.size), 1) << enginetest::g_log;
        ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1) << enginetest::g_log;
        EXPECT_EQ(m.as<_FS_GEO_HEADER>()->geoType & (kGeoSkinnedVu0 | kGeoSkinnedVu1),
                  vu0 ? kGeoSkinnedVu0 : kGeoSkinnedVu1);
        _geo_skeleton s;
        ASSERT_EQ(veEngineGetSkeleton(m.as<_FS_GEO_HEADER>(), &s), 1);
        ASSERT_EQ(s.boneCount, int32_t(rider.size()));
        for (size_t i = 0; i < rider.size(); ++i) {
            EXPECT_STREQ(s.bones[i].name, rider[i].name);
            EXPECT_EQ(s.bones[i].globalPos[1], rider[i].globalPos.y);
            EXPECT_EQ(s.bones[i].boneID, i);
        }
        // One box (12 triangles) per bone, in groups of 12 bones: 12 + 12 + 3.
        EXPECT_EQ(m.as<_FS_GEO_HEADER>()->numTriangles, int32_t(12 * rider.size()));
        const uint8_t* rec = m.p + 160 + 16 + 64 * rider.size();
        ASSERT_EQ(U32(rec + 8), 3u);
        const uint8_t* info = rec + 16;
        const uint8_t* data = info + 16;
        EXPECT_EQ(U16(data + 2), 12u);
        for (uint16_t k = 0; k < 12; ++k) EXPECT_EQ(U16(data + 4 + 2 * k), k);
        // 144 triangles in strips of at most 16.
        EXPECT_EQ(U16(data), 9u);
        EXPECT_EQ(U32(info + 8), 48u + 48 * 48);
    }
    Mem bike(WriteBikeSkinnedGeometry(true));
    EXPECT_EQ(veEngineLoadGeo(bike.as<_FS_GEO_HEADER>(), bike.size), 1) << enginetest::g_log;
}

TEST(SkinnedGeometryWriter, RefusesMeshesItCannotWrite) {
    SkinMesh good = RiderSkinMesh(false);
    ASSERT_FALSE(WriteSkinnedGeometry(good).empty());
    SkinMesh m = good;
    m.materials[0].triangles[5].boneB = 27;  // past the skeleton
    EXPECT_TRUE(WriteSkinnedGeometry(m).empty());
    m = good;
    m.materials[0].triangles.pop_back();
    EXPECT_TRUE(WriteSkinnedGeometry(m).empty());
    m = good;
    m.skeleton.resize(41, m.skeleton.back());
    EXPECT_TRUE(WriteSkinnedGeometry(m).empty());
    m = good;
    m.skeleton.clear();
    EXPECT_TRUE(WriteSkinnedGeometry(m).empty());
}

// Corrupted images: every one the checks accept draws without reading outside the image (the sanitizer
// build checks the reads), and a refused one queues nothing.
TEST_F(EngineTest, CorruptedSkinnedImagesAreRefusedOrDrawnSafely) {
    const std::vector<uint8_t> good = WriteBikeSkinnedGeometry(false);
    const std::vector<uint8_t> good0 = WriteBikeSkinnedGeometry(true);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    _ve_view view{};
    veDisplayCreateView3D(&view, 0, 0, 640, 448, kViewCentred, 1.0f, 65535.0f);
    M4_Identity(&view.cameraMatrix);
    int accepted = 0, refused = 0;
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> img = (i & 1) ? good0 : good;
        uint32_t records;
        std::memcpy(&records, img.data() + 12, 4);
        for (int k = 0; k < 3; ++k) {
            const uint32_t at = 160 + next() % (records - 160);
            img[at] = static_cast<uint8_t>(next() >> 24);
        }
        Mem m(img);
        veEngineBeginFrame();
        veDisplayActivateView(&view);
        _matrix4 t;
        M4_Identity(&t);
        t.M[14] = 300.0f;
        veEngineSetLocalToWorld(&t);
        const int tasks = veDmaBuild->numTasks;
        const bool ok =
            veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size) && veEngineCheckSkinnedGeo(m.p, m.size);
        if (ok) {
            ++accepted;
            veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
        } else {
            ++refused;
            veEngineHardwareDrawGeometry(m.as<_FS_GEO_HEADER>());
            EXPECT_EQ(veDmaBuild->numTasks, tasks);
        }
        veEngineEndFrame();
        veEngineBeginFrame();  // runs what was queued while the image is still there
        veEngineEndFrame();
    }
    // Most single-byte damage lands in vertex data the checks cannot judge; some must be caught.
    EXPECT_GT(refused, 10);
    EXPECT_GT(accepted, 10);
}

}  // namespace
