#include "engine/vu1/vu0_deform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "console/vu/vu_memory.h"
#include "engine/vu1/skinned_programs.h"

namespace {

using console::vu::VuMemory;

void PutFloats(VuMemory& m, uint32_t qw, float a, float b, float c, float d) {
    const float f[4] = {a, b, c, d};
    std::memcpy(m.Qw(qw), f, 16);
}
float Get(const VuMemory& m, uint32_t qw, int lane) {
    return m.QwFloat(qw, lane);
}

class Vu0DeformTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Bone 0: translation (10, 0, 0). Bone 1: a quarter turn about z (x goes to y).
        const float b0[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
        const float b1[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        for (int r = 0; r < 4; ++r) {
            PutFloats(mem_, r, b0[r * 4], b0[r * 4 + 1], b0[r * 4 + 2], b0[r * 4 + 3]);
            PutFloats(mem_, 4 + r, b1[r * 4], b1[r * 4 + 1], b1[r * 4 + 2], b1[r * 4 + 3]);
        }
        for (int b = 2; b < 12; ++b)
            for (int r = 0; r < 4; ++r) PutFloats(mem_, 4 * b + r, r == 0, r == 1, r == 2, r == 3);
    }
    void Input(uint32_t i, float x, float y, float z, float w, uint32_t sa, uint32_t sb) {
        const uint32_t at = engine::vu1::kVu0ResultsAt + 4 * i;
        PutFloats(mem_, at, x, y, z, 1);
        PutFloats(mem_, at + 1, 1, 0, 0, 0);
        PutFloats(mem_, at + 2, 0.25f, 0.75f, 0, 0);
        PutFloats(mem_, at + 3, w, 0, 0, 0);
        mem_.Qw(at + 3)[2] = sa;
        mem_.Qw(at + 3)[3] = sb;
    }
    void Run(int n) {
        console::vu::VuState st{};
        st.unit = 0;
        st.mem = &mem_;
        st.vi[1] = n;
        prog_.Call(st, 0);
    }
    VuMemory mem_{console::vu::kVu0Qwords};
    engine::vu1::Vu0DeformProgram prog_;
};

TEST_F(Vu0DeformTest, BadCountsAndSlotsAreRefusedUntouched) {
    Input(0, 1, 2, 3, 0.5f, 0, 12);
    const uint64_t refused = engine::vu1::Vu0DeformProgram::StripsRefused();
    Run(1);
    EXPECT_EQ(engine::vu1::Vu0DeformProgram::StripsRefused(), refused + 1);
    Input(0, 1, 2, 3, 0.5f, 0, 1);
    Run(0);
    Run(-3);
    Run(engine::vu1::kVu0MaxVertices + 1);
    EXPECT_EQ(engine::vu1::Vu0DeformProgram::StripsRefused(), refused + 4);
    EXPECT_FLOAT_EQ(Get(mem_, engine::vu1::kVu0ResultsAt, 0), 1.0f);  // input left as it was
}

}  // namespace
