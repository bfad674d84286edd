// Reading the VU data memory the way every engine program does: 4 x 4 matrices stored as four row
// quadwords, words reinterpreted as floats, and the row-vector transform the programs share.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// A colour channel on the GS scale as the output packs it: 0 .. 255, truncated.
inline uint32_t Clamp255(float v) {
#if defined(__SSE2__)
    // maxss gives its second operand unless the first is greater (NaN too), minss unless it is less.
    const __m128 r = _mm_min_ss(_mm_max_ss(_mm_set_ss(v), _mm_setzero_ps()), _mm_set_ss(255.0f));
    return static_cast<uint32_t>(_mm_cvttss_si32(r));
#else
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint32_t>(v);
#endif
}

// A screen coordinate in pixels as the GS's 12.4 fixed point: v * 16 rounded to the nearest integer,
// ties to even (the rounding mode in force, as nearbyint); false when that falls outside 0 .. 65535
// (or v is not a number).
inline bool ToFixed(float v, uint32_t& out) {
#if defined(__SSE2__)
    // Out of the 32-bit range (and NaN) converts to INT32_MIN, which the range test refuses.
    out = static_cast<uint32_t>(_mm_cvtss_si32(_mm_set_ss(v * 16.0f)));
    return out <= 65535u;
#else
    const float f = std::nearbyint(v * 16.0f);
    if (!(f >= 0.0f && f <= 65535.0f)) return false;
    out = static_cast<uint32_t>(f);
    return true;
#endif
}

// The matrix whose rows are quadwords qw .. qw + 3 (wrapped inside the memory), row-major into m.
inline void ReadMatrix(const console::vu::VuMemory& mem, uint32_t qw, float m[16]) {
    for (uint32_t r = 0; r < 4; ++r) std::memcpy(m + 4 * r, mem.Qw(qw + r), 16);
}

// Row-vector transform: out = p0 row0 + p1 row1 + p2 row2 + p3 row3 of a 16-float row-major matrix.
inline void TransformRow(const float* m, const float p[4], float out[4]) {
#if defined(__SSE2__)
    // The four columns at once, each summed in the same order as below.
    __m128 r = _mm_mul_ps(_mm_set1_ps(p[0]), _mm_loadu_ps(m));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(p[1]), _mm_loadu_ps(m + 4)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(p[2]), _mm_loadu_ps(m + 8)));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_set1_ps(p[3]), _mm_loadu_ps(m + 12)));
    _mm_storeu_ps(out, r);
#else
    for (int c = 0; c < 4; ++c) out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + p[3] * m[12 + c];
#endif
}

// A lit vertex colour: the ambient colour (row 3 of `colour`) plus, for each of the three directional
// lights in front of the surface, that light's colour times the cosine between the normal and the light.
// `nrm` need not be unit length; a zero normal gets the ambient colour only. Alpha is 128 (opaque).
inline void LightVertex(const float nrm[3], const float* light, const float* colour, float rgba[4]) {
    const float len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
    const float inv = len > 0.0f ? 1.0f / len : 0.0f;
    for (int c = 0; c < 3; ++c) rgba[c] = colour[12 + c];
    for (int k = 0; k < 3; ++k) {
        const float d = (nrm[0] * light[k * 4] + nrm[1] * light[k * 4 + 1] + nrm[2] * light[k * 4 + 2]) * inv;
        if (d > 0.0f)
            for (int c = 0; c < 3; ++c) rgba[c] += colour[k * 4 + c] * d;
    }
    rgba[3] = 128.0f;
}

}  // namespace engine::vu1
