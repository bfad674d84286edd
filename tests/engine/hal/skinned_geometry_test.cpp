#include "engine/hal/geometry_skinned.h"

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

namespace {

using enginetest::EngineTest;

void Put(std::vector<uint8_t>& out, const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}
void Put4(std::vector<uint8_t>& out, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    Put(out, w, 16);
}
uint32_t F(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A two-bone block (bone 1 at globalPos (10, 0, 0)), one material, one group naming bones {0, 1}: one
// strip of two triangles, a red square of side 4 around the origin bound to bone 0 and a green one
// around (10, 0, 0) bound to bone 1. Pre-lit, untextured; VU0 blocks also carry the VU0 input blocks.
struct Spec {
    bool vu0 = false;
    uint16_t groupBones = 2;
    uint16_t boneIndex1 = 1;
    uint32_t slotOfGreen = 1;
    uint32_t boneId1 = 1, parent1 = 0;
    uint32_t strips = 1;
};

std::vector<uint8_t> Block(const Spec& s = {}) {
    std::vector<uint8_t> out(160);
    Put4(out, 2, 0, 0, 0);
    for (uint32_t i = 0; i < 2; ++i) {
        _geo_bone b{};
        std::snprintf(b.name, sizeof b.name, "bone%u", i);
        b.globalPos[0] = i ? 10.0f : 0.0f;
        b.parentToBone[0] = i ? 10.0f : 0.0f;
        b.boneID = i ? s.boneId1 : 0;
        b.parentID = i ? s.parent1 : 0;
        Put(out, &b, sizeof b);
    }
    const uint32_t n = 12;  // two squares of two triangles
    Put4(out, 0, 4, 1, n);  // material: id, triangles, groups, vertices
    const uint32_t geo = 16, vsize = 48 + 48 * n, esize = 16;
    const uint32_t next = geo + vsize + esize + (s.vu0 ? 32 + 64 * n : 0);
    Put4(out, next, geo, vsize, esize);
    const uint16_t hdr[8] = {static_cast<uint16_t>(s.strips), s.groupBones, 0, s.boneIndex1, 0, 0, 0, 0};
    Put(out, hdr, 16);
    Put4(out, 0, 0, 0, 0x6C008006u | ((2 + 3 * n) << 16));
    Put4(out, n, 0, 0, 0);
    const uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
    Put(out, tag, 16);
    struct V {
        float x, y;
        uint32_t slot;
        uint32_t r, g;
    };
    std::vector<V> vs;
    for (int sq = 0; sq < 2; ++sq) {
        const float cx = sq ? 10.0f : 0.0f;
        const uint32_t slot = sq ? s.slotOfGreen : 0, r = sq ? 0 : 200, g = sq ? 200 : 0;
        const float c[4][2] = {{cx - 2, -2}, {cx + 2, -2}, {cx + 2, 2}, {cx - 2, 2}};
        for (int k : {0, 1, 2, 0, 2, 3}) vs.push_back({c[k][0], c[k][1], slot, r, g});
    }
    for (const V& v : vs) {
        Put4(out, F(v.x), F(v.y), F(0.0f), F(1.0f));
        Put4(out, F(0), F(0), v.slot, v.slot);
        if (s.vu0)
            Put4(out, F(0), F(0), F(-1), 0);
        else
            Put4(out, v.r, v.g, 0, 128);
    }
    Put4(out, 0x17000000, 0, 0, 0);
    if (s.vu0) {
        Put4(out, 0, 0, 0, 0x6C000030u | ((4 * n) << 16));
        for (const V& v : vs) {
            Put4(out, F(v.x), F(v.y), F(0.0f), F(1.0f));
            Put4(out, F(0), F(0), F(-1), 0);
            Put4(out, F(0), F(0), 0, 0);
            Put4(out, F(1.0f), 0, v.slot, v.slot);
        }
        Put4(out, 0x14000000, 0, 0, 0);
    }
    _FS_GEO_HEADER h{};
    h.geoType = static_cast<uint16_t>((s.vu0 ? kGeoSkinnedVu0 : kGeoSkinnedVu1 | kGeoPreLit) | kGeoSkeleton |
                                      kGeoFamily16);
    h.numMaterials = 1;
    h.numTriangles = 4;
    h.scaleXYZ = 1.0f;
    h.materialOffset = static_cast<uint32_t>(out.size());
    for (int c = 0; c < 8; ++c) {
        h.bBox.corner[c][0] = (c & 1) ? 30.0f : -30.0f;
        h.bBox.corner[c][1] = (c & 2) ? 30.0f : -30.0f;
        h.bBox.corner[c][2] = (c & 4) ? 30.0f : -30.0f;
        h.bBox.corner[c][3] = 1.0f;
    }
    std::memcpy(out.data(), &h, sizeof h);
    Put4(out, 0, 0, 0, 0);  // the material's slot, then an 8 x 8 bitmap the strips do not sample
    _FS_BITMAP b{};
    b.width = b.height = 8;
    b.bitsPerPixel = 8;
    b.palettized = 1;
    b.numColors = 16;
    Put(out, &b, sizeof b);
    out.resize(out.size() + 64 + 64, 0);
    return out;
}

using Mem = testsupport::HeapImage;

class SkinnedDraw : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        veDisplayCreateView3D(&view_, 0, 0, 640, 448, kViewCentred, 1.0f, 65535.0f);
        M4_Identity(&view_.cameraMatrix);
    }
    void Place() {
        veDisplayActivateView(&view_);
        _matrix4 t;
        M4_Identity(&t);
        t.M[14] = 200.0f;
        veEngineSetLocalToWorld(&t);
    }
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
    // Centroid of the pixels of one colour (red 200 or green 200) in the drawing buffer; count out.
    static void Centroid(uint32_t rgb, double* cx, double* cy, int* count) {
        double sx = 0, sy = 0;
        int n = 0;
        for (int y = 0; y < 448; ++y)
            for (int x = 0; x < 640; ++x)
                if (Rgb(FramePixel(x, y)) == rgb) {
                    sx += x;
                    sy += y;
                    ++n;
                }
        *count = n;
        *cx = n ? sx / n : 0;
        *cy = n ? sy / n : 0;
    }
    // Screen x, y of a model point through local-to-screen.
    static void Project(float x, float y, double* sx, double* sy) {
        const float* m = veEngineLocalToScreen->M;
        const float h[4] = {x * m[0] + y * m[4] + m[12], x * m[1] + y * m[5] + m[13], 0,
                            x * m[3] + y * m[7] + m[15]};
        *sx = h[0] / h[3];
        *sy = h[1] / h[3];
    }
    _ve_view view_{};
};

constexpr uint32_t kRed = 200, kGreen = 200 << 8;

TEST_F(SkinnedDraw, VerticesFollowTheirBones) {
    Mem m(Block());
    ASSERT_EQ(veEngineCheckSkinnedGeo(m.p, m.size), 1) << enginetest::g_log;
    ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1) << enginetest::g_log;
    double rx0, ry0, gx0, gy0, rx1, ry1, gx1, gy1, px0, py0, px1, py1;
    int rn, gn;
    DrawAndRun([&] {
        Place();
        SetPalette(0, 0);
        veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
    });
    Centroid(kRed, &rx0, &ry0, &rn);
    ASSERT_GT(rn, 20) << enginetest::g_log;
    Centroid(kGreen, &gx0, &gy0, &gn);
    ASSERT_GT(gn, 20);
    Project(0, 0, &px0, &py0);
    Project(10, 0, &px1, &py1);
    const double pxPerUnit = (px1 - px0) / 10.0;
    ASSERT_GT(pxPerUnit, 0.5);
    // Bind pose: the squares where the model has them, 10 units apart.
    EXPECT_NEAR(gx0 - rx0, 10 * pxPerUnit, 1.0);
    EXPECT_NEAR(gy0, ry0, 1.0);
    DrawAndRun([&] {
        Place();
        SetPalette(6, -8);
        veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
    });
    Centroid(kRed, &rx1, &ry1, &rn);
    Centroid(kGreen, &gx1, &gy1, &gn);
    ASSERT_GT(gn, 20);
    // The green square moved with bone 1; the red one stayed with bone 0.
    EXPECT_NEAR(rx1, rx0, 0.5);
    EXPECT_NEAR(ry1, ry0, 0.5);
    EXPECT_NEAR(gx1 - gx0, 6 * pxPerUnit, 1.0);
    double qx, qy;
    Project(0, 1, &qx, &qy);
    EXPECT_NEAR(gy1 - gy0, -8 * (qy - py0), 1.0);
}

TEST_F(SkinnedDraw, GroupViewCarriesTheNamedBonesThenIdentities) {
    Mem m(Block());
    ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1);
    veEngineBeginFrame();
    Place();
    SetPalette(5, 0);
    veEngineResetMicroCode();
    uint8_t* views = veBonedEngineViewsPtr;
    const int tasks = veDmaBuild->numTasks;
    veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
    ASSERT_EQ(veBonedEngineViewsPtr, views + kVuViewBytes);
    // Program upload, the texture's image and palette, then one task for the material (environment,
    // view, strip, execute).
    ASSERT_EQ(veDmaBuild->numTasks, tasks + 4);
    EXPECT_EQ(veDmaBuild->dma[tasks].dmaAdr, Addr32(&vu1VertexCacheMicroCode));
    const auto* v = reinterpret_cast<const _ve_vu_view*>(views);
    EXPECT_EQ(v->vifCommand1[3], 0x6C3C0000u);
    EXPECT_EQ(v->vifCommand2[3], 0x14000000u);
    // Bone 1 is its palette entry with the bind matrix applied: translation 10 + 5 - 10.
    EXPECT_FLOAT_EQ(v->vuBones[1].M[12], 5.0f);
    EXPECT_FLOAT_EQ(v->vuBones[0].M[12], 0.0f);
    for (int k = 2; k < 12; ++k)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(v->vuBones[k].M[i], (i % 5 == 0) ? 1.0f : 0.0f) << k << " " << i;
    // The chain: environment reference, then ID 4 tags, the last ended (ID 0).
    const uint8_t* chain = Ptr<uint8_t>(veDmaBuild->dma[tasks + 3].dmaAdr);
    uint64_t t[2];
    std::memcpy(t, chain + 16, 16);
    EXPECT_EQ((t[0] >> 28) & 7, 4u);
    EXPECT_EQ(t[0] & 0xFFFF, 62u);
    EXPECT_EQ(uint32_t(t[0] >> 32), Addr32(v));
    std::memcpy(t, chain + 32, 16);
    EXPECT_EQ(t[0] & 0xFFFF, (48u + 48 * 12) / 16);
    std::memcpy(t, chain + 48, 16);
    EXPECT_EQ((t[0] >> 28) & 7, 0u);
    EXPECT_EQ(t[0] & 0xFFFF, 1u);
    veEngineEndFrame();
}

TEST_F(SkinnedDraw, ClipModeSendsTheClipRecordBeforeEachExecute) {
    Mem m(Block());
    ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1);
    double rx, ry;
    int rn;
    DrawAndRun([&] {
        veDisplaySetMode(0x4000000);
        Place();
        SetPalette(0, 0);
        uint8_t* rec = veMotionInstanceTablePtr;
        veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
        ASSERT_EQ(veMotionInstanceTablePtr, rec + kMotionInstanceBytes);
        const auto* mi = reinterpret_cast<const _motionInstanceData*>(rec);
        EXPECT_EQ(mi->vifCommand0[0], 0x6D018000u);
        EXPECT_EQ(mi->vifCommand0[3], 0x6C058001u);
        EXPECT_EQ(mi->vifCommand1[3], 0x17000000u);
        EXPECT_EQ(std::memcmp(&mi->l2s, veEngineLocalToClip, 64), 0);
    });
    // Clipped drawing still draws the squares, which lie well inside the frustum.
    Centroid(kRed, &rx, &ry, &rn);
    EXPECT_GT(rn, 20) << enginetest::g_log;
    veDisplaySetMode(0);
}

TEST_F(SkinnedDraw, Vu0PathDeformsTheBlockInPlace) {
    Spec s;
    s.vu0 = true;
    Mem m(Block(s));
    ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1) << enginetest::g_log;
    veEngineBeginFrame();
    Place();
    SetPalette(7, 3);
    veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
    // The strip's vertex data now holds the deformed positions, bound to no bone: green vertex 6 (the
    // first of the second square, (8, -2)) moved by (7, 3).
    const uint8_t* vert = m.p + 160 + 16 + 128 + 16 + 16 + 16 + 48 + 48 * 6;
    float p[4];
    uint32_t slots[2];
    std::memcpy(p, vert, 16);
    std::memcpy(slots, vert + 24, 8);
    EXPECT_FLOAT_EQ(p[0], 15.0f);
    EXPECT_FLOAT_EQ(p[1], 1.0f);
    EXPECT_EQ(slots[0], engine::vu1::kSkinNoBone);
    std::memcpy(p, m.p + 160 + 16 + 128 + 16 + 16 + 16 + 48, 16);
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
    struct Case {
        const char* what;
        Spec spec;
    };
    std::vector<Case> cases;
    Spec s;
    s.groupBones = 13;
    cases.push_back({"names 13 bones", s});
    s = {};
    s.boneIndex1 = 2;
    cases.push_back({"bone index 2 out of range", s});
    s = {};
    s.slotOfGreen = 12;
    cases.push_back({"names bone slot 12", s});
    s = {};
    s.boneId1 = 7;
    cases.push_back({"carries id 7", s});
    s = {};
    s.parent1 = 1;
    cases.push_back({"has parent 1", s});
    s = {};
    s.strips = 2;  // the group claims a second subpacket that is not there
    cases.push_back({"does not fit", s});
    s = {};
    s.vu0 = true;
    s.slotOfGreen = 13;
    cases.push_back({"names bone slot 13", s});
    for (const Case& c : cases) {
        std::vector<uint8_t> img = Block(c.spec);
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
    uint32_t records;
    std::memcpy(&records, good.data() + 12, 4);
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
    // A block without a skeleton: no skeleton reported, the array untouched by the bind step.
    std::vector<uint8_t> img = Block();
    _FS_GEO_HEADER h;
    std::memcpy(&h, img.data(), sizeof h);
    h.geoType = kGeoFamily32 | kGeoPreLit;
    std::memcpy(img.data(), &h, sizeof h);
    Mem m(img);
    _geo_skeleton out{};
    EXPECT_EQ(veEngineGetSkeleton(m.as<_FS_GEO_HEADER>(), &out), 0);
    veEngineInitBoneArray(m.as<_FS_GEO_HEADER>());
    EXPECT_EQ(veEngineBoneArray[39].M[12], 39.0f);
    EXPECT_EQ(veEngineBoneArray[5].M[12], 5.0f);
}

}  // namespace
