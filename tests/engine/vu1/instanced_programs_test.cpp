#include "engine/vu1/instanced_programs.h"

#include <gtest/gtest.h>

#include <cstring>

#include "console/gs/gs_device.h"
#include "console/gs/gs_library.h"
#include "console/gs/gs_registers.h"
#include "console/vu/vu_memory.h"
#include "engine/vu1/skinned_programs.h"

namespace {

using namespace console::gs;
using console::vu::Vu1Memory;
using engine::vu1::InstancedProgram;

void PutFloats(uint32_t qw, float a, float b, float c, float d) {
    const float f[4] = {a, b, c, d};
    std::memcpy(Vu1Memory().Qw(qw), f, 16);
}
void PutInts(uint32_t qw, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    std::memcpy(Vu1Memory().Qw(qw), w, 16);
}
// A matrix moving local (x, y) to pixel (x + dx, y + dy), w = 1.
void Screen(uint32_t qw, float dx, float dy) {
    PutFloats(qw, 1, 0, 0, 0);
    PutFloats(qw + 1, 0, 1, 0, 0);
    PutFloats(qw + 2, 0, 0, 1, 0);
    PutFloats(qw + 3, 1728 + dx, 1824 + dy, 100, 1);
}

class InstancedProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine::vu1::RegisterEnginePrograms();
        sceGsResetGraph(0, 1, 2, 0);
        Vu1Memory().Clear();
        sceGsDrawEnv1 env;
        sceGsSetDefDrawEnv(&env, kPsmCt32, 640, 448, kZtstAlways, kPsmZ24);
        const uint64_t* ad = reinterpret_cast<const uint64_t*>(&env);
        for (int i = 0; i < 8; ++i) Gs().WriteReg(static_cast<uint32_t>(ad[i * 2 + 1]), ad[i * 2]);
        // The batch: two triangles of a square (10..30), one running each way on the screen.
        const uint32_t at = engine::vu1::kInstBatchAt;
        PutInts(at, 6, 0, 0, 0);
        const uint64_t t[2] = {(1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
        std::memcpy(Vu1Memory().Qw(at + 1), t, 16);
        // Counter-clockwise on the screen (kept by the cull): upper-left half; clockwise: lower-right.
        const float p[6][2] = {{10, 10}, {10, 30}, {30, 10}, {30, 12}, {30, 30}, {12, 30}};
        for (uint32_t i = 0; i < 6; ++i) {
            PutFloats(at + 2 + 3 * i, p[i][0], p[i][1], 0, 1);
            PutFloats(at + 3 + 3 * i, 0, 0, 1, 0);
            PutInts(at + 4 + 3 * i, 200, 100, 40, 128);
        }
    }
    static void Run(uint32_t id) {
        console::vu::VuState st{};
        st.unit = 1;
        st.mem = &Vu1Memory();
        st.tops = 60;
        console::vu::FindMicroprogram(id)->Call(st, 0);
        console::vu::FindMicroprogram(id)->Continue(st);
    }
    static uint32_t Pixel(int x, int y) { return Gs().Memory().ReadPixel(0, 10, kPsmCt32, x, y) & 0xFFFFFF; }
};

TEST_F(InstancedProgramTest, EveryInstanceIsDrawnWithItsMatrixAndColour) {
    PutInts(0, 2, 1, 0, 0);
    PutFloats(1, 128, 128, 128, 128);
    PutFloats(2, 64, 0, 128, 128);
    Screen(0x37, 0, 0);
    Screen(0x37 + 4, 100, 0);
    Run(engine::vu1::kProgIPreLit16);
    EXPECT_EQ(Pixel(14, 14), 200u | (100u << 8) | (40u << 16));
    EXPECT_EQ(Pixel(26, 26), 200u | (100u << 8) | (40u << 16));
    EXPECT_EQ(Pixel(114, 14), 100u | (0u << 8) | (40u << 16));
}

TEST_F(InstancedProgramTest, TriangleCullDropsBackFacesAndClipMatricesClip) {
    PutInts(0, 1, 1, 0, 0);
    PutFloats(1, 128, 128, 128, 128);
    Screen(0x37, 0, 0);
    Run(engine::vu1::kProgIPreLitTCull16);
    EXPECT_NE(Pixel(14, 14), 0u);
    EXPECT_EQ(Pixel(26, 26), 0u);  // the clockwise half is a back face
    // With a clip matrix per instance: one that keeps x <= 20 only (clip x = x - 20 + w... |x'| <= w).
    Vu1Memory().Qw(0)[1] = 2;
    Screen(0x37, 200, 0);
    const float l2c[16] = {0.1f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1.0f, 0, 0, 1};
    for (int r = 0; r < 4; ++r)
        PutFloats(0x37 + 4 + r, l2c[r * 4], l2c[r * 4 + 1], l2c[r * 4 + 2], l2c[r * 4 + 3]);
    Run(engine::vu1::kProgIPreLit16);
    // x' = 0.1 x - 1 lies in [-1, 1] for x in [0, 20]: the square is cut at x = 20.
    EXPECT_NE(Pixel(212, 12), 0u);
    EXPECT_EQ(Pixel(226, 12), 0u);
}

TEST_F(InstancedProgramTest, CountsBeyondTheRoomAreRefused) {
    const uint64_t refused = InstancedProgram::PacketsRefused();
    PutInts(0, 55, 1, 0, 0);
    Run(engine::vu1::kProgIPreLit16);
    PutInts(0, 28, 2, 0, 0);  // 28 instances with clip matrices do not fit below the batch
    Run(engine::vu1::kProgIPreLit16);
    PutInts(0, 0x80000000u, 2, 0, 0);  // a count whose doubled value wraps to 0
    Run(engine::vu1::kProgIPreLit16);
    PutInts(0, 1, 1, 0, 0);
    PutInts(engine::vu1::kInstBatchAt, 5, 0, 0, 0);
    Run(engine::vu1::kProgIPreLit16);
    EXPECT_EQ(InstancedProgram::PacketsRefused(), refused + 4);
    EXPECT_EQ(Pixel(14, 14), 0u);
}

}  // namespace
