// Reading the VU data memory the way every engine program does: 4 x 4 matrices stored as four row
// quadwords, words reinterpreted as floats, and the row-vector transform the programs share.
#pragma once

#include <cstdint>
#include <cstring>

#include "console/vu/vu_memory.h"

namespace engine::vu1 {

inline float AsFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

inline uint32_t FloatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// The matrix whose rows are quadwords qw .. qw + 3 (wrapped inside the memory), row-major into m.
inline void ReadMatrix(const console::vu::VuMemory& mem, uint32_t qw, float m[16]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m[r * 4 + c] = mem.QwFloat(qw + r, c);
}

// Row-vector transform: out = p0 row0 + p1 row1 + p2 row2 + p3 row3 of a 16-float row-major matrix.
inline void TransformRow(const float* m, const float p[4], float out[4]) {
    for (int c = 0; c < 4; ++c) out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + p[3] * m[12 + c];
}

}  // namespace engine::vu1
