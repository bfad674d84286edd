#include "engine/vu1/instanced_programs.h"

#include "engine/vu1/skinned_programs.h"
#include "support/vu1_rig.h"

namespace {

using namespace testsupport;
using engine::vu1::InstancedProgram;

class InstancedProgramTest : public Vu1Rig {
protected:
    void SetUp() override {
        Vu1Rig::SetUp();
        // The batch: two triangles of a square (10..30), counter-clockwise on the screen (kept by the
        // cull) for the upper-left half, clockwise for the lower-right.
        const uint32_t at = engine::vu1::kInstBatchAt;
        PutInts(at, 6, 0, 0, 0);
        PutTriangleTag(at + 1);
        const float p[6][2] = {{10, 10}, {10, 30}, {30, 10}, {30, 12}, {30, 30}, {12, 30}};
        for (uint32_t i = 0; i < 6; ++i) {
            PutFloats(at + 2 + 3 * i, p[i][0], p[i][1], 0, 1);
            PutFloats(at + 3 + 3 * i, 0, 0, 1, 0);
            PutInts(at + 4 + 3 * i, 200, 100, 40, 128);
        }
    }
    static void Run(uint32_t id) { Vu1Rig::Run(id, true, true); }
};

TEST_F(InstancedProgramTest, TriangleCullDropsBackFacesAndClipMatricesClip) {
    PutInts(0, 1, 1, 0, 0);
    PutFloats(1, 128, 128, 128, 128);
    PutScreen(0x37);
    Run(engine::vu1::kProgIPreLitTCull16);
    EXPECT_NE(Pixel(14, 14), 0u);
    EXPECT_EQ(Pixel(26, 26), 0u);  // the clockwise half is a back face
    // With a clip matrix per instance: x' = 0.1 x - 1 lies in [-1, 1] for x in [0, 20], so the square
    // is cut at x = 20.
    console::vu::Vu1Memory().Qw(0)[1] = 2;
    PutScreen(0x37, 200, 0);
    const float l2c[16] = {0.1f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1.0f, 0, 0, 1};
    PutMatrix(0x37 + 4, l2c);
    Run(engine::vu1::kProgIPreLit16);
    EXPECT_NE(Pixel(212, 12), 0u);
    EXPECT_EQ(Pixel(226, 12), 0u);
}

TEST_F(InstancedProgramTest, CountsBeyondTheRoomAreRefused) {
    const uint64_t refused = InstancedProgram::PacketsRefused();
    // 55 plain instances; 28 with clip matrices (no room below the batch); a count whose double wraps.
    const uint32_t counts[3][2] = {{55, 1}, {28, 2}, {0x80000000u, 2}};
    for (const auto& c : counts) {
        PutInts(0, c[0], c[1], 0, 0);
        Run(engine::vu1::kProgIPreLit16);
    }
    PutInts(0, 1, 1, 0, 0);
    PutInts(engine::vu1::kInstBatchAt, 5, 0, 0, 0);  // not whole triangles
    Run(engine::vu1::kProgIPreLit16);
    EXPECT_EQ(InstancedProgram::PacketsRefused(), refused + 4);
    EXPECT_EQ(Pixel(14, 14), 0u);
}

}  // namespace
