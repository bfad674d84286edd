// What the rasteriser's stages share (set-up, spans, texturing, blending): fixed-point helpers, local
// memory access and the span interpolator. Only the rasteriser's own files include this.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "console/gs/gs_registers.h"
#include "console/gs/local_memory.h"
#include "console/gs/rasterizer.h"

// The vector span's helpers must fold into its loop: a call would spill every vector register.
#define QZ_INLINE __attribute__((always_inline))

namespace console::gs::raster {

inline constexpr uint32_t kMask = LocalMemory::kMask;

// How many rows ahead of the shaded row the spans fetch frame and depth lines.
inline constexpr size_t kPrefetchRows = 2;

inline int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) {
    return -FloorDiv(-a, b);
}

inline double Clampd(double v, double lo, double hi) {
    if (!(v >= lo)) return lo;  // NaN goes low
    if (v > hi) return hi;
    return v;
}

inline uint32_t ZMax(uint32_t zpsm) {
    switch (zpsm) {
        case kPsmZ32:
            return 0xFFFFFFFFu;
        case kPsmZ16:
        case kPsmZ16S:
            return 0xFFFFu;
        default:
            return 0xFFFFFFu;
    }
}

// Float texel coordinate -> fixed point with 8 fraction bits, bounded so the conversion is always defined.
inline int32_t ToFix8(float u) {
    if (!(u >= -16384.0f)) u = -16384.0f;
    if (!(u <= 16384.0f)) u = 16384.0f;
    return static_cast<int32_t>(u * 256.0f + 8388608.0f) - 8388608;
}

inline uint32_t Load32(const uint8_t* m, uint32_t a) {
    uint32_t v;
    std::memcpy(&v, m + (a & kMask), 4);
    return v;
}
inline void Store32(uint8_t* m, uint32_t a, uint32_t v) {
    std::memcpy(m + (a & kMask), &v, 4);
}
inline uint32_t Load16(const uint8_t* m, uint32_t a) {
    uint16_t v;
    std::memcpy(&v, m + (a & kMask), 2);
    return v;
}
inline void Store16(uint8_t* m, uint32_t a, uint32_t v) {
    const uint16_t w = uint16_t(v);
    std::memcpy(m + (a & kMask), &w, 2);
}

inline uint32_t Min255(uint32_t v) {
    return v > 255 ? 255 : v;
}

// Fixed-point interpolation of one attribute over a span: exact at both ends, clamped to its range.
struct Lerp {
    int64_t v = 0, d = 0;
    // The attribute from pixel centre pa to pb on row py, in fixed point, clamped to [lo, hi]. The plane's
    // own gradient is used when the span stays in range (the usual case); otherwise the ends are clamped
    // and the step recomputed so no pixel leaves the range.
    void Setup(const Rasterizer::Plane& p, double pa, double pb, double py, int n, double lo, double hi,
               double scale) {
        SetupWithStep(p, static_cast<int64_t>(p.dx * scale), pa, pb, py, n, lo, hi, scale);
    }
    // The same with the plane's step (p.dx * scale, the same for every row) worked out by the caller.
    void SetupWithStep(const Rasterizer::Plane& p, int64_t step, double pa, double pb, double py, int n,
                       double lo, double hi, double scale) {
        SetupFrom(p.At(pa, py), p, step, pb, py, n, lo, hi, scale);
    }
    // The same with the plane's value at the first pixel, p.At(pa, py), worked out by the caller.
    void SetupFrom(double at, const Rasterizer::Plane& p, int64_t step, double pb, double py, int n,
                   double lo, double hi, double scale) {
        v = static_cast<int64_t>(Clampd(at, lo, hi) * scale);
        d = step;
        if (n <= 1) {
            d = 0;
            return;
        }
        const int64_t end = v + d * (n - 1);
        if (end >= static_cast<int64_t>(lo * scale) && end <= static_cast<int64_t>(hi * scale)) return;
        const int64_t e = static_cast<int64_t>(Clampd(p.At(pb, py), lo, hi) * scale);
        d = (e - v) / (n - 1);
    }
};

// Whether a row's 32-bit frame and depth pixels x0..x1 lie in local memory without wrapping round its end
// (the vector spans address them directly).
inline bool RowInside(const DrawState& st, int y, int x0, int x1) {
    const int n = x1 - x0 + 1;
    const uint32_t row = uint32_t(y) * st.fbw * 64u;
    return ((st.fbBase + (row + uint32_t(x0)) * 4u) & kMask) + uint32_t(n) * 4u <= LocalMemory::kSize &&
           ((st.zBase + (row + uint32_t(x0)) * 4u) & kMask) + uint32_t(n) * 4u <= LocalMemory::kSize;
}

// Hints the cache about the frame and depth lines of a row's span (no effect on results).
inline void PrefetchRow(const uint8_t* m, const DrawState& st, int y, int x0, int x1) {
    const uint32_t row = uint32_t(y) * st.fbw * 64u;
    const uint32_t bpp = st.fpsm == kPsmCt32 || st.fpsm == kPsmCt24 ? 4u : 2u;
    const uint32_t fa = (st.fbBase + (row + uint32_t(x0)) * bpp) & kMask,
                   fe = (st.fbBase + (row + uint32_t(x1)) * bpp) & kMask;
    for (uint32_t a = fa & ~63u; a <= fe && a < LocalMemory::kSize; a += 64)
        _mm_prefetch(reinterpret_cast<const char*>(m + a), _MM_HINT_T0);
    if (!st.zte) return;
    const uint32_t za = (st.zBase + (row + uint32_t(x0)) * 4u) & kMask,
                   ze = (st.zBase + (row + uint32_t(x1)) * 4u) & kMask;
    for (uint32_t a = za & ~63u; a <= ze && a < LocalMemory::kSize; a += 64)
        _mm_prefetch(reinterpret_cast<const char*>(m + a), _MM_HINT_T0);
}

}  // namespace console::gs::raster
