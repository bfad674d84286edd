#include "engine/vu1/primitive_program.h"

#include "support/vu1_rig.h"

namespace {

using namespace testsupport;
using console::gs::kPrimLine;
using console::gs::kPrimTriangle;

class PrimitiveProgramTest : public Vu1Rig {
protected:
    static void Tag(uint32_t n, uint32_t prim) {
        PutInts(kTops, 2, 1, 0, 0);
        PutInts(kTops + 1, 2 * n, 0, 0, 0);
        const uint64_t t[2] = {n | (1ull << 15) | (1ull << 46) | (uint64_t(prim) << 47) | (3ull << 60),
                               0x512};
        std::memcpy(console::vu::Vu1Memory().Qw(kTops + 2), t, 16);
    }
    static void Vertex(uint32_t i, float x, float y, float z, uint32_t r, uint32_t g, uint32_t b) {
        PutFloats(kTops + 3 + 3 * i, x, y, z, 1.0f);
        PutFloats(kTops + 4 + 3 * i, 0, 0, 1.0f, 0);
        PutInts(kTops + 5 + 3 * i, r, g, b, 128);
    }
    static void Run() { Vu1Rig::Run(engine::vu1::kProgPrimitive, true); }
};

TEST_F(PrimitiveProgramTest, TwoDScalesOffsetsAndClampsColours) {
    // 2D: local-to-clip zero; local-to-screen scales by (2, 1) and moves to (1728 + 100, 1824 + 50).
    const float l2s[16] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1828, 1874, 5, 1};
    PutMatrix(0, l2s);
    Tag(3, kPrimTriangle);
    Vertex(0, 0, 0, 7, 300, 0, 0);
    Vertex(1, 20, 0, 7, 300, 0, 0);
    Vertex(2, 0, 40, 7, 300, 0, 0);
    Run();
    // x 0..20 scaled by 2 lands on 100..140; y 50..90; colour 300 clamps to 255.
    EXPECT_EQ(Pixel(101, 51), 0xFFu);
    EXPECT_EQ(Pixel(135, 52), 0xFFu);
    EXPECT_EQ(Pixel(99, 60), 0u);
    EXPECT_EQ(Pixel(101, 49), 0u);
    // Z is the vertex's own (7), not the matrix's plane added to it.
    EXPECT_EQ(console::gs::Gs().Memory().ReadPixel(0, 10, console::gs::kPsmZ24, 0, 0), 0u);
}

TEST_F(PrimitiveProgramTest, ThreeDDividesByW) {
    // Perspective: w = z; x' = 100 x + 2048 z, so after the divide x = 100 x / z + 2048.
    const float l2s[16] = {100, 0, 0, 0, 0, 100, 0, 0, 2048, 2048, 1000, 1, 0, 0, 0, 0};
    PutMatrix(0, l2s);
    PutFloats(4, 1, 0, 0, 0);  // a non-zero clip matrix marks a 3D view
    Tag(2, kPrimLine);
    Vertex(0, 0, 0, 2, 0, 200, 0);
    Vertex(1, 4, 0, 2, 0, 200, 0);  // x = 100 * 4 / 2 = 200 -> pixel 320 + 200
    Run();
    EXPECT_EQ(Pixel(320, 224), 200u << 8);
    EXPECT_EQ(Pixel(500, 224), 200u << 8);
    EXPECT_EQ(Pixel(521, 224), 0u);
}

TEST_F(PrimitiveProgramTest, BadVertexCountsAndOutOfRangePointsAreDropped) {
    const uint64_t before = engine::vu1::PrimitiveProgram::Dropped();
    for (uint32_t n : {0u, 400u}) {
        Tag(n, kPrimTriangle);
        Run();
    }
    // A vertex far outside the GS coordinate range.
    PutScreen(0);
    PutFloats(3, 1728, 1824, 0, 1);
    Tag(3, kPrimTriangle);
    Vertex(0, 0, 0, 1, 255, 255, 255);
    Vertex(1, 90000, 0, 1, 255, 255, 255);
    Vertex(2, 0, 10, 1, 255, 255, 255);
    Run();
    EXPECT_EQ(engine::vu1::PrimitiveProgram::Dropped(), before + 3);
    EXPECT_EQ(Pixel(1, 1), 0u);
}

}  // namespace
