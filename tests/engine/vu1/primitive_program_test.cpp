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
    // As a primitive packet runs it: MSCNT.
    static void Run() { Vu1Rig::Run(engine::vu1::kProgPrimitive, false); }
};

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

// A view packet ends with MSCAL 0 whatever program is resident. With this one resident, the call finds the
// last primitive still in the buffer: it must not draw it again. The packet's own MSCNT draws it.
TEST_F(PrimitiveProgramTest, OnlyTheContinuationDrawsTheBufferedPrimitive) {
    PutScreen(0);  // a 2D view: local-to-clip (4-7) left zero
    Tag(2, kPrimLine);
    Vertex(0, 10, 20, 1, 255, 255, 255);
    Vertex(1, 30, 20, 1, 255, 255, 255);
    Vu1Rig::Run(engine::vu1::kProgPrimitive, true);
    EXPECT_EQ(Pixel(15, 20), 0u);
    Run();
    EXPECT_EQ(Pixel(15, 20), 0xFFFFFFu);
    EXPECT_EQ(Pixel(15, 21), 0u);
}

}  // namespace
