#include "engine/vu1/skinned_programs.h"

#include "support/vu1_rig.h"

namespace {

using namespace testsupport;
using engine::vu1::SkinnedProgram;

constexpr uint32_t kStrip = Vu1Rig::kTops + engine::vu1::kSkinStripAt;
constexpr float kCorners[3][2] = {{20, 20}, {40, 20}, {30, 40}};

class SkinnedProgramTest : public Vu1Rig {
protected:
    void SetUp() override {
        Vu1Rig::SetUp();
        PutScreen(0);  // local (x, y) -> pixel (x, y)
        for (uint32_t b = 0; b < 12; ++b) {
            const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, b == 0 ? 100.0f : 0, b == 1 ? 50.0f : 0,
                                 0, 1};
            PutMatrix(12 + 4 * b, m);  // slot 0: 100 right; slot 1: 50 down; the others identity
        }
        // One red triangle around (30, 30), every vertex half on slot 0, half on slot 1.
        PutInts(kStrip, 3, 0, 0, 0);
        PutTriangleTag(kStrip + 1);
        Bind(0.5f, 0, 1);
    }
    static void Bind(float w, uint32_t sa, uint32_t sb) {
        for (uint32_t i = 0; i < 3; ++i) Vertex(i, kCorners[i][0], kCorners[i][1], w, sa, sb);
    }
    static void Vertex(uint32_t i, float x, float y, float w, uint32_t sa, uint32_t sb) {
        PutFloats(kStrip + 2 + 3 * i, x, y, 0, w);
        PutInts(kStrip + 3 + 3 * i, 0, 0, sa, sb);
        PutInts(kStrip + 4 + 3 * i, 200, 0, 0, 128);
    }
    static void Run(uint32_t id, bool call = false) { Vu1Rig::Run(id, call); }
};

TEST_F(SkinnedProgramTest, VerticesAreBlendedBetweenTheirTwoBones) {
    Run(engine::vu1::kProgVertexCache);
    // Half of (100, 0) plus half of (0, 50): the triangle is drawn 50 right and 25 down.
    EXPECT_EQ(Pixel(80, 50), 200u);
    EXPECT_EQ(Pixel(30, 28), 0u);
    // All weight on slot 0 and the no-bone slot: 100 right only.
    SetUp();
    Bind(1.0f, 0, engine::vu1::kSkinNoBone);
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
    EXPECT_EQ(console::vu::Vu1Memory().Qw(kTops)[0], 0u);
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

}  // namespace
