#include "engine/hal/geometry_skinned.h"
#include "engine/hal/geometry_skinned_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/hal/dma_tasks.h"
#include "engine/hal/microcode.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "engine/vu1/skinned_programs.h"
#include "engine_fixture.h"
#include "support/heap_image.h"
#include "support/image_patch.h"

namespace {

using enginetest::EngineTest;

// A two-bone block (bone 1 at globalPos (10, 0, 0)), one material, one group naming bones {0, 1}: one
// strip of two triangles, a red square of side 4 around the origin bound to bone 0 and a green one
// around (10, 0, 0) bound to bone 1. Pre-lit (VU0 blocks: lit, facing -z), with a plain 8 x 8 texture of 1.0
// that leaves colours as they are.
std::vector<uint8_t> Block(bool vu0 = false) {
    SkinMesh mesh;
    mesh.vu0 = vu0;
    mesh.skeleton.resize(2);
    for (int i = 0; i < 2; ++i) {
        std::snprintf(mesh.skeleton[i].name, sizeof mesh.skeleton[i].name, "bone%d", i);
        mesh.skeleton[i].globalPos.x = mesh.skeleton[i].parentToBone.x = i ? 10.0f : 0.0f;
    }
    SkinMaterial m;
    for (uint16_t sq = 0; sq < 2; ++sq) {
        const float cx = sq ? 10.0f : 0.0f;
        const float c[4][2] = {{cx - 2, -2}, {cx + 2, -2}, {cx + 2, 2}, {cx - 2, 2}};
        for (int k : {0, 1, 2, 0, 2, 3}) {
            SkinVertex v;
            v.v.x = c[k][0];
            v.v.y = c[k][1];
            v.v.nz = -1.0f;
            v.v.rgba = sq ? 0x8000C800u : 0x800000C8u;
            v.boneA = v.boneB = sq;
            m.triangles.push_back(v);
        }
    }
    m.texture = CheckerTexture(8, 8, 0x80808080u, 0x80808080u);
    mesh.materials.push_back(m);
    return WriteSkinnedGeometry(mesh);
}

// Where the writer puts the records of that block: bones after the count quadword, then the material
// record, the strip's info, the group header (u16 subpacket count, bone count, bone indices), the
// unpack command, strip count and GIF tag, and 48-byte vertices (bone slots in words 6 and 7); a VU0
// block's input block follows the execute command (64-byte vertices, slots in words 14 and 15).
constexpr size_t kBones = sizeof(_FS_GEO_HEADER) + 16;
constexpr size_t BoneField(int i, size_t field) {
    return kBones + i * sizeof(_geo_bone) + field;
}
constexpr size_t kInfo = kBones + 2 * sizeof(_geo_bone) + 16;
constexpr size_t kGroupHeader = kInfo + 16;
constexpr size_t kVertices = kGroupHeader + 16 + 48;
constexpr size_t kVu0Vertices = kVertices + 48 * 12 + 16 + 16;
constexpr size_t VertexSlot(int k) {
    return kVertices + 48 * k + 24;
}

using Mem = testsupport::HeapImage;

class SkinnedDraw : public enginetest::View3DTest {
protected:
    void Place() { View3DTest::Place(0, 0, 200); }
    // Palette: bone 0 identity, bone 1 at its bind place moved by (dx, dy).
    void SetPalette(float dx, float dy) {
        _matrix4 pal[2];
        M4_Identity(&pal[0]);
        M4_Identity(&pal[1]);
        pal[1].M[12] = 10.0f + dx;
        pal[1].M[13] = dy;
        _geo_skeleton s{2, nullptr};
        veEngineSetBoneArray(pal, &s);
    }
    // Pixels of one colour (red 200 or green 200) in the drawing buffer.
    static int Count(uint32_t rgb) {
        int n = 0;
        for (int y = 0; y < 448; ++y)
            for (int x = 0; x < 640; ++x) n += Rgb(FramePixel(x, y)) == rgb;
        return n;
    }
};

constexpr uint32_t kRed = 200;

TEST_F(SkinnedDraw, ClipModeSendsTheClipRecordBeforeEachExecute) {
    Mem m(Block());
    ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1);
    DrawAndRun([&] {
        veDisplaySetMode(0x4000000);
        Place();
        SetPalette(0, 0);
        uint8_t* rec = veMotionInstanceTablePtr;
        veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
        ASSERT_EQ(veMotionInstanceTablePtr, rec + kMotionInstanceBytes);
        const auto* mi = reinterpret_cast<const _motionInstanceData*>(rec);
        EXPECT_EQ(mi->vifCommand1[3], 0x17000000u);
        EXPECT_EQ(std::memcmp(&mi->l2s, veEngineLocalToClip, 64), 0);
    });
    // Clipped drawing still draws the squares, which lie well inside the frustum.
    EXPECT_GT(Count(kRed), 20) << enginetest::g_log;
}

TEST_F(SkinnedDraw, Vu0PathDeformsTheBlockInPlace) {
    Mem m(Block(true));
    ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1) << enginetest::g_log;
    veEngineBeginFrame();
    Place();
    SetPalette(7, 3);
    veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
    // The strip's vertex data now holds the deformed positions, bound to no bone: green vertex 6 (the
    // first of the second square, (8, -2)) moved by (7, 3).
    const uint8_t* vert = m.p + kVertices + 48 * 6;
    float p[4];
    uint32_t slots[2];
    std::memcpy(p, vert, 16);
    std::memcpy(slots, vert + 24, 8);
    EXPECT_FLOAT_EQ(p[0], 15.0f);
    EXPECT_FLOAT_EQ(p[1], 1.0f);
    EXPECT_EQ(slots[0], engine::vu1::kSkinNoBone);
    std::memcpy(p, m.p + kVertices, 16);
    EXPECT_FLOAT_EQ(p[0], -2.0f);  // red vertex 0 stays with bone 0
    veEngineEndFrame();
    veEngineBeginFrame();
    // Lit with the default lights: something is drawn where the squares are.
    int lit = 0;
    for (int y = 0; y < 448; ++y)
        for (int x = 0; x < 640; ++x) lit += Rgb(FramePixel(x, y)) != Rgb(FramePixel(0, 0));
    EXPECT_GT(lit, 40) << enginetest::g_log;
}

TEST_F(EngineTest, BadSkinnedDataIsRefusedWithALogLine) {
    // Each case patches one field of the written block (bone 1's slot in the group is index 1).
    struct Case {
        const char* what;
        bool vu0;
        size_t offset;
        uint32_t value;
        bool u16;
    };
    const Case cases[] = {
        {"names 13 bones", false, kGroupHeader + 2, 13, true},
        {"bone index 2 out of range", false, kGroupHeader + 4 + 2, 2, true},
        {"names bone slot 12", false, VertexSlot(6), 12, false},
        {"carries id 7", false, BoneField(1, offsetof(_geo_bone, boneID)), 7, false},
        {"has parent 1", false, BoneField(1, offsetof(_geo_bone, parentID)), 1, false},
        {"does not fit", false, kGroupHeader, 2, true},  // a second subpacket that is not there
        {"VU0 vertex 6 names a bad bone slot", true, kVu0Vertices + 64 * 6 + 56, 13, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> img = Block(c.vu0);
        if (c.u16)
            testsupport::Poke(img, c.offset, uint16_t(c.value));
        else
            testsupport::Poke(img, c.offset, c.value);
        Mem m(img);
        enginetest::g_log.clear();
        EXPECT_EQ(veEngineCheckSkinnedGeo(m.p, m.size), 0) << c.what;
        EXPECT_NE(enginetest::g_log.find(c.what), std::string::npos) << c.what << ": " << enginetest::g_log;
        EXPECT_NE(enginetest::g_log.find("refused"), std::string::npos) << c.what;
        // A block that reaches the draw anyway queues nothing, and says so once.
        veEngineBeginFrame();
        const int tasks = veDmaBuild->numTasks;
        enginetest::g_log.clear();
        veEngineHardwareDrawGeometry(m.as<_FS_GEO_HEADER>());
        veEngineHardwareDrawGeometry(m.as<_FS_GEO_HEADER>());
        EXPECT_EQ(veDmaBuild->numTasks, tasks) << c.what;
        EXPECT_EQ(enginetest::g_log.find("refused"), enginetest::g_log.rfind("refused")) << c.what;
        veEngineEndFrame();
    }
    // Truncated images never read past their end.
    const std::vector<uint8_t> good = Block();
    const auto records = testsupport::Peek<uint32_t>(good, offsetof(_FS_GEO_HEADER, materialOffset));
    for (size_t len : {size_t(100), size_t(170), size_t(300), size_t(400), size_t(records - 16)}) {
        Mem m(good);
        EXPECT_EQ(veEngineCheckSkinnedGeo(m.p, len), 0) << len;
    }
}

TEST_F(EngineTest, BoneArrayCopyStopsAtFortyAndNoSkeletonLeavesItAlone) {
    std::vector<_matrix4> pal(100);
    for (size_t i = 0; i < pal.size(); ++i) {
        M4_Identity(&pal[i]);
        pal[i].M[12] = float(i);
    }
    _matrix4 sentinel;
    std::memset(&sentinel, 0x5A, sizeof sentinel);
    std::memcpy(veEngineBoneArray + kEngineBoneCount, &sentinel, sizeof sentinel);
    _geo_skeleton s{100, nullptr};
    veEngineSetBoneArray(pal.data(), &s);
    EXPECT_EQ(veEngineBoneArray[39].M[12], 39.0f);
    EXPECT_EQ(std::memcmp(veEngineBoneArray + kEngineBoneCount, &sentinel, sizeof sentinel), 0);
    // The block's skeleton binds the bones: bone 1 sits at (10, 0, 0).
    std::vector<uint8_t> img = Block();
    {
        Mem m(img);
        ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1);
        _geo_skeleton s;
        ASSERT_EQ(veEngineGetSkeleton(m.as<_FS_GEO_HEADER>(), &s), 1);
        EXPECT_EQ(s.boneCount, 2);
        EXPECT_FLOAT_EQ(s.bones[1].globalPos[0], 10.0f);
        veEngineInitBoneArray(m.as<_FS_GEO_HEADER>());
        EXPECT_FLOAT_EQ(veEngineBoneArray[1].M[12], 1.0f - 10.0f);  // palette entry 1 with the bind applied
    }
    // A block without a skeleton: no skeleton reported, the array untouched by the bind step.
    testsupport::Poke(img, offsetof(_FS_GEO_HEADER, geoType), uint16_t(kGeoFamily32 | kGeoPreLit));
    Mem m(img);
    _geo_skeleton out{};
    EXPECT_EQ(veEngineGetSkeleton(m.as<_FS_GEO_HEADER>(), &out), 0);
    veEngineInitBoneArray(m.as<_FS_GEO_HEADER>());
    EXPECT_EQ(veEngineBoneArray[39].M[12], 39.0f);
    EXPECT_EQ(veEngineBoneArray[5].M[12], 5.0f);
}

}  // namespace
