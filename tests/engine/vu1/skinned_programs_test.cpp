#include "engine/vu1/skinned_programs.h"

#include <gtest/gtest.h>

#include <cstring>

#include "console/gs/gs_device.h"
#include "console/gs/gs_library.h"
#include "console/gs/gs_registers.h"
#include "console/vu/vu_memory.h"
#include "engine/vu1/instanced_programs.h"

namespace {

using namespace console::gs;
using console::vu::FindMicroprogram;
using console::vu::Vu1Memory;
using engine::vu1::SkinnedProgram;

constexpr uint32_t kTops = 60;
constexpr uint32_t kStrip = kTops + engine::vu1::kSkinStripAt;

void PutFloats(uint32_t qw, float a, float b, float c, float d) {
    const float f[4] = {a, b, c, d};
    std::memcpy(Vu1Memory().Qw(qw), f, 16);
}
void PutInts(uint32_t qw, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    std::memcpy(Vu1Memory().Qw(qw), w, 16);
}
void PutMatrix(uint32_t qw, const float (&m)[16]) {
    for (int r = 0; r < 4; ++r) PutFloats(qw + r, m[r * 4], m[r * 4 + 1], m[r * 4 + 2], m[r * 4 + 3]);
}
void Translation(uint32_t qw, float x, float y) {
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, 0, 1};
    PutMatrix(qw, m);
}

class SkinnedProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine::vu1::RegisterEnginePrograms();
        sceGsResetGraph(0, 1, 2, 0);
        Vu1Memory().Clear();
        sceGsDrawEnv1 env;
        sceGsSetDefDrawEnv(&env, kPsmCt32, 640, 448, kZtstAlways, kPsmZ24);
        const uint64_t* ad = reinterpret_cast<const uint64_t*>(&env);
        for (int i = 0; i < 8; ++i) Gs().WriteReg(static_cast<uint32_t>(ad[i * 2 + 1]), ad[i * 2]);
        // Local (x, y) -> pixel (x, y).
        const float l2s[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1728, 1824, 100, 1};
        PutMatrix(0, l2s);
        for (int b = 0; b < 12; ++b) Translation(12 + 4 * b, 0, 0);
        Translation(12, 100, 0);     // slot 0
        Translation(12 + 4, 0, 50);  // slot 1
        // One red triangle around (30, 30), every vertex half on slot 0, half on slot 1.
        PutInts(kStrip, 3, 0, 0, 0);
        const uint64_t t[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
        std::memcpy(Vu1Memory().Qw(kStrip + 1), t, 16);
        const float p[3][2] = {{20, 20}, {40, 20}, {30, 40}};
        for (uint32_t i = 0; i < 3; ++i) Vertex(i, p[i][0], p[i][1], 0.5f, 0, 1);
    }
    static void Vertex(uint32_t i, float x, float y, float w, uint32_t sa, uint32_t sb) {
        PutFloats(kStrip + 2 + 3 * i, x, y, 0, w);
        float st[2] = {0, 0};
        uint32_t q[4];
        std::memcpy(q, st, 8);
        q[2] = sa;
        q[3] = sb;
        std::memcpy(Vu1Memory().Qw(kStrip + 3 + 3 * i), q, 16);
        PutInts(kStrip + 4 + 3 * i, 200, 0, 0, 128);
    }
    static void Run(uint32_t id, bool call = false) {
        console::vu::VuState st{};
        st.unit = 1;
        st.mem = &Vu1Memory();
        st.tops = kTops;
        if (call)
            FindMicroprogram(id)->Call(st, 0);
        else
            FindMicroprogram(id)->Continue(st);
    }
    static uint32_t Pixel(int x, int y) { return Gs().Memory().ReadPixel(0, 10, kPsmCt32, x, y) & 0xFFFFFF; }
};

TEST_F(SkinnedProgramTest, VerticesAreBlendedBetweenTheirTwoBones) {
    Run(engine::vu1::kProgVertexCache);
    // Half of (100, 0) plus half of (0, 50): the triangle is drawn 50 right and 25 down.
    EXPECT_EQ(Pixel(80, 50), 200u);
    EXPECT_EQ(Pixel(30, 28), 0u);
    // All weight on slot 0 and the no-bone slot: 100 right only.
    Vu1Memory().Clear();
    SetUp();
    for (uint32_t i = 0; i < 3; ++i) {
        const float p[3][2] = {{20, 20}, {40, 20}, {30, 40}};
        Vertex(i, p[i][0], p[i][1], 1.0f, 0, engine::vu1::kSkinNoBone);
    }
    Run(engine::vu1::kProgVertexCache);
    EXPECT_EQ(Pixel(130, 28), 200u);
    EXPECT_EQ(Pixel(80, 50), 0u);
}

TEST_F(SkinnedProgramTest, BadStripsAreRefused) {
    const uint64_t refused = SkinnedProgram::StripsRefused();
    Vertex(1, 40, 20, 0.5f, 12, 0);  // slot 12 is not a bone
    Run(engine::vu1::kProgVertexCacheLit16);
    EXPECT_EQ(SkinnedProgram::StripsRefused(), refused + 1);
    PutInts(kStrip, 4, 0, 0, 0);  // not whole triangles
    Run(engine::vu1::kProgVertexCache);
    PutInts(kStrip, 51, 0, 0, 0);  // more than a strip may hold
    Run(engine::vu1::kProgVertexCache);
    EXPECT_EQ(SkinnedProgram::StripsRefused(), refused + 3);
    EXPECT_EQ(Pixel(80, 50), 0u);
}

TEST_F(SkinnedProgramTest, ClipPacketClipsTheNextStripOnly) {
    // A clip matrix that puts everything far beyond +x: the clipped strip draws nothing.
    PutInts(kTops, engine::vu1::kSkinClipMarker, 0, 0, 0);
    const float l2c[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 5000, 0, 0, 1};
    PutMatrix(kTops + 1, l2c);
    const uint64_t drawn = SkinnedProgram::TrianglesDrawn();
    Run(engine::vu1::kProgVertexCache);  // the clip packet's MSCNT only latches
    EXPECT_EQ(SkinnedProgram::TrianglesDrawn(), drawn);
    EXPECT_EQ(Vu1Memory().Qw(kTops)[0], 0u);
    Run(engine::vu1::kProgVertexCache);  // the strip: clipped away
    EXPECT_EQ(SkinnedProgram::TrianglesDrawn(), drawn);
    EXPECT_EQ(Pixel(80, 50), 0u);
    Run(engine::vu1::kProgVertexCache);  // no clip packet this time: drawn
    EXPECT_EQ(SkinnedProgram::TrianglesDrawn(), drawn + 1);
    EXPECT_EQ(Pixel(80, 50), 200u);
    // A view packet's MSCAL forgets a latched clip matrix.
    PutInts(kTops, engine::vu1::kSkinClipMarker, 0, 0, 0);
    Run(engine::vu1::kProgVertexCache);
    Run(engine::vu1::kProgVertexCache, true);
    Run(engine::vu1::kProgVertexCache);
    EXPECT_EQ(SkinnedProgram::TrianglesDrawn(), drawn + 2);
}

TEST_F(SkinnedProgramTest, LitProgramTurnsNormalsWithTheBones) {
    // Light 0 towards -z in colour (100, 50, 20), ambient (10, 10, 10); the other lights off.
    for (uint32_t q = 4; q < 12; ++q) PutFloats(q, 0, 0, 0, 0);
    PutFloats(4, 0, 0, -1, 0);
    PutFloats(8, 100, 50, 20, 0);
    PutFloats(11, 10, 10, 10, 0);
    // Slot 2: a half turn about y (x and z negated), moved 100 right.
    const float turn[16] = {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 100, 0, 0, 1};
    for (int r = 0; r < 4; ++r)
        PutFloats(12 + 8 + r, turn[r * 4], turn[r * 4 + 1], turn[r * 4 + 2], turn[r * 4 + 3]);
    const float p[3][2] = {{20, 20}, {40, 20}, {30, 40}};
    for (uint32_t i = 0; i < 3; ++i) {
        Vertex(i, p[i][0], p[i][1], 1.0f, 15, 15);
        PutFloats(kStrip + 4 + 3 * i, 0, 0, -1, 0);  // facing the light
    }
    Run(engine::vu1::kProgVertexCacheLit16);
    EXPECT_EQ(Pixel(30, 28), 110u | (60u << 8) | (30u << 16));
    // Bound to the turned bone the same triangle faces away (mirrored in x about 100): ambient only.
    for (uint32_t i = 0; i < 3; ++i) {
        Vertex(i, p[i][0], p[i][1], 1.0f, 2, 2);
        PutFloats(kStrip + 4 + 3 * i, 0, 0, -1, 0);
    }
    Run(engine::vu1::kProgVertexCacheLit16);
    EXPECT_EQ(Pixel(70, 28), 10u | (10u << 8) | (10u << 16));
}

TEST_F(SkinnedProgramTest, ProgramsAreRegisteredUnderTheirIds) {
    EXPECT_STREQ(FindMicroprogram(engine::vu1::kProgVertexCache)->Name(), "vu1VertexCacheMicroCode");
    EXPECT_STREQ(FindMicroprogram(engine::vu1::kProgVertexCacheLit16)->Name(), "vertexCacheLit16");
    EXPECT_STREQ(FindMicroprogram(engine::vu1::kProgVertexCacheInst)->Name(), "vu1VertexCacheInst");
    EXPECT_STREQ(FindMicroprogram(engine::vu1::kProgIPreLit16)->Name(), "vuIPreLit16");
    EXPECT_STREQ(FindMicroprogram(engine::vu1::kProgIPreLitTCull16)->Name(), "vuIPreLitTCull16");
    EXPECT_STREQ(FindMicroprogram(0x0401)->Name(), "vu0deform16");
}

}  // namespace
