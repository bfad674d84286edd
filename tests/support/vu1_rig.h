// VU1 memory and a GS drawing into a 640 x 448 frame at page 0 (origin (1728, 1824), Z test ALWAYS), for
// running the engine's microprograms directly.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "console/gs/gs_device.h"
#include "console/gs/gs_library.h"
#include "console/gs/gs_registers.h"
#include "console/vu/vu_memory.h"
#include "engine/vu1/programs.h"

namespace testsupport {

inline void PutFloats(uint32_t qw, float a, float b, float c, float d) {
    const float f[4] = {a, b, c, d};
    std::memcpy(console::vu::Vu1Memory().Qw(qw), f, 16);
}
inline void PutInts(uint32_t qw, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    std::memcpy(console::vu::Vu1Memory().Qw(qw), w, 16);
}
inline void PutMatrix(uint32_t qw, const float (&m)[16]) {
    for (uint32_t r = 0; r < 4; ++r) PutFloats(qw + r, m[r * 4], m[r * 4 + 1], m[r * 4 + 2], m[r * 4 + 3]);
}
// A matrix moving local (x, y) to pixel (x + dx, y + dy), w = 1.
inline void PutScreen(uint32_t qw, float dx = 0, float dy = 0) {
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1728 + dx, 1824 + dy, 100, 1};
    PutMatrix(qw, m);
}
// The GIF tag of untextured Gouraud triangles (context 1) with `n` loops.
inline void PutTriangleTag(uint32_t qw, uint64_t n = 0) {
    const uint64_t t[2] = {n | (1ull << 15) | (1ull << 46) | (uint64_t(3 | 8) << 47) | (3ull << 60), 0x512};
    std::memcpy(console::vu::Vu1Memory().Qw(qw), t, 16);
}

class Vu1Rig : public ::testing::Test {
public:
    static constexpr uint32_t kTops = 60;

protected:
    void SetUp() override {
        engine::vu1::RegisterEnginePrograms();
        sceGsResetGraph(0, 1, 2, 0);
        console::vu::Vu1Memory().Clear();
        sceGsDrawEnv1 env;
        sceGsSetDefDrawEnv(&env, console::gs::kPsmCt32, 640, 448, console::gs::kZtstAlways,
                           console::gs::kPsmZ24);
        const auto* ad = reinterpret_cast<const uint64_t*>(&env);
        for (int i = 0; i < 8; ++i)
            console::gs::Gs().WriteReg(static_cast<uint32_t>(ad[i * 2 + 1]), ad[i * 2]);
    }
    // Runs program `id` with TOPS 60: its MSCAL entry (`call`), else its MSCNT continuation.
    static void Run(uint32_t id, bool call, bool then = false) {
        console::vu::VuState st{};
        st.unit = 1;
        st.mem = &console::vu::Vu1Memory();
        st.tops = kTops;
        console::vu::Microprogram* p = console::vu::FindMicroprogram(id);
        ASSERT_NE(p, nullptr) << id;
        if (call) p->Call(st, 0);
        if (!call || then) p->Continue(st);
    }
    static uint32_t Pixel(int x, int y) {
        return console::gs::Gs().Memory().ReadPixel(0, 10, console::gs::kPsmCt32, x, y) & 0xFFFFFF;
    }
};

}  // namespace testsupport
