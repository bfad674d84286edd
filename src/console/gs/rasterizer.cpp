#include "console/gs/rasterizer.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "console/gs/gs_registers.h"

namespace console::gs {
namespace {

constexpr uint32_t kMask = LocalMemory::kMask;

// The vector span's helpers must fold into its loop: a call would spill every vector register.
#define QZ_INLINE __attribute__((always_inline))

// How many rows ahead of the shaded row the vector spans fetch frame and depth lines.
constexpr size_t kPrefetchRows = 2;

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}
int64_t CeilDiv(int64_t a, int64_t b) {
    return -FloorDiv(-a, b);
}

// Plane through three (x, y, value) points, positions in pixels.
Rasterizer::Plane PlaneOf(double x0, double y0, double a0, double x1, double y1, double a1, double x2,
                          double y2, double a2) {
    const double det = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
    Rasterizer::Plane p{};
    p.dx = ((a1 - a0) * (y2 - y0) - (a2 - a0) * (y1 - y0)) / det;
    p.dy = ((a2 - a0) * (x1 - x0) - (a1 - a0) * (x2 - x0)) / det;
    p.c = a0 - p.dx * x0 - p.dy * y0;
    return p;
}
Rasterizer::Plane ConstPlane(double v) {
    return Rasterizer::Plane{v, 0.0, 0.0};
}

double Clampd(double v, double lo, double hi) {
    if (!(v >= lo)) return lo;  // NaN goes low
    if (v > hi) return hi;
    return v;
}

uint32_t ZMax(uint32_t zpsm) {
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

inline int WrapCoord(int c, uint32_t mode, uint32_t size, uint32_t mn, uint32_t mx) {
    switch (mode) {
        case 0:
            return c & int(size - 1);
        case 1:
            return c < 0 ? 0 : (c >= int(size) ? int(size) - 1 : c);
        case 2:
            return c < int(mn) ? int(mn) : (c > int(mx) ? int(mx) : c);
        default:
            return (c & int(mn)) | int(mx);
    }
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

// One blend input: 0 source, 1 destination, 2 zero.
inline int Pick(uint32_t sel, int cs, int cd) {
    return sel == 0 ? cs : (sel == 1 ? cd : 0);
}

// Bilinear blend of four RGBA texels with 8-bit weights, two channels at a time in 16-bit lanes.
inline uint32_t Bilerp(uint32_t c00, uint32_t c10, uint32_t c01, uint32_t c11, uint32_t fu, uint32_t fv) {
    auto spread = [](uint32_t c) { return uint64_t(c & 0x00FF00FFu) | (uint64_t(c & 0xFF00FF00u) << 24); };
    const uint64_t mask8 = 0x00FF00FF00FF00FFull;
    const uint64_t top = (spread(c00) * (256 - fu) + spread(c10) * fu) >> 8 & mask8;
    const uint64_t bot = (spread(c01) * (256 - fu) + spread(c11) * fu) >> 8 & mask8;
    const uint64_t mix = ((top * (256 - fv) + bot * fv) >> 8) & mask8;
    return uint32_t(mix & 0x00FF00FFu) | uint32_t((mix >> 24) & 0xFF00FF00u);
}

}  // namespace

// --- Texture sampling -------------------------------------------------------------------------------

uint32_t Rasterizer::Texel(const DrawState& st, int u, int v) const {
    const uint32_t w = 1u << st.tw, h = 1u << st.th;
    u = WrapCoord(u, st.wms, w, st.minu, st.maxu);
    v = WrapCoord(v, st.wmt, h, st.minv, st.maxv);
    const uint32_t index = uint32_t(v) * st.tbw * 64u + uint32_t(u);
    const uint8_t* m = mem_.Data();
    switch (st.tpsm) {
        case kPsmCt32:
            return Load32(m, st.tBase + index * 4);
        case kPsmCt24: {
            const uint32_t c = Load32(m, st.tBase + index * 4) & 0xFFFFFFu;
            const uint32_t a = (st.aem && c == 0) ? 0 : st.ta0;
            return c | (a << 24);
        }
        case kPsmCt16:
        case kPsmCt16S: {
            const uint32_t c = Load16(m, st.tBase + index * 2);
            const uint32_t rgb = Expand16(c) & 0xFFFFFFu;
            const uint32_t a = (c & 0x8000) ? st.ta1 : ((st.aem && rgb == 0) ? 0 : st.ta0);
            return rgb | (a << 24);
        }
        case kPsmT8:
            return st.clut[m[(st.tBase + index) & kMask]];
        case kPsmT4: {
            const uint8_t b = m[(st.tBase + (index >> 1)) & kMask];
            return st.clut[(index & 1) ? (b >> 4) : (b & 0xF)];
        }
        default:
            return 0;
    }
}

uint32_t Rasterizer::SampleTexture(const DrawState& st, float u, float v) const {
    if (!st.bilinearMag) {
        return Texel(st, ToFix8(u) >> 8, ToFix8(v) >> 8);
    }
    const int32_t uf = ToFix8(u - 0.5f), vf = ToFix8(v - 0.5f);
    const int u0 = uf >> 8, v0 = vf >> 8;
    const uint32_t fu = uint32_t(uf & 255), fv = uint32_t(vf & 255);
    return Bilerp(Texel(st, u0, v0), Texel(st, u0 + 1, v0), Texel(st, u0, v0 + 1), Texel(st, u0 + 1, v0 + 1),
                  fu, fv);
}

// --- Spans ----------------------------------------------------------------------------------------

namespace {

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
        v = static_cast<int64_t>(Clampd(p.At(pa, py), lo, hi) * scale);
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

}  // namespace

// The vector spans, all rows of a primitive in one call, four pixels per step: textured (MODULATE or DECAL,
// 32-bit or 8-bit-palette textures, repeat/clamp, nearest or bilinear) or untextured Gouraud, optional
// blend (any formula, clamped), 32-bit frame, optional 24-bit Z test: the common cases of the game's
// drawing. Every pixel gets exactly the arithmetic of the general path (the scalar tail too), so a pixel's
// value does not depend on the path or on where it falls in its span. kBlend: 0 none, 1 any formula,
// 2 (Cs - Cd) * As + Cd (the usual transparency, worth its own code).
template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
void Rasterizer::RowsTexFast(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count) {
    RowsTexFastBody<kTexture, kBilinear, kBlend, kPersp, kGouraud>(st, p, rows, count);
}

// The same code with three-operand (VEX) encodings, for processors that have them: the same operations,
// so the same bits, with fewer register copies.
template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
__attribute__((target("avx2"))) void Rasterizer::RowsTexFastAvx2(const DrawState& st, const Planes& p,
                                                                 const SpanRow* rows, size_t count) {
    RowsTexFastBody<kTexture, kBilinear, kBlend, kPersp, kGouraud>(st, p, rows, count);
}

template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
QZ_INLINE inline void Rasterizer::RowsTexFastBody(const DrawState& st, const Planes& p, const SpanRow* rows,
                                                  size_t count) {
    // What depends only on the state and the primitive, worked out once for all its rows.
    float ds = 0, dt = 0, dq = 0;
    if (kTexture) {
        ds = float(p.s.dx);
        dt = float(p.t.dx);
        dq = float(p.q.dx);
    }
    const float tw = kPersp ? float(1u << st.tw) : 1.0f, th = kPersp ? float(1u << st.th) : 1.0f;
    // Repeat and clamp as one clamp-then-mask step.
    const int uw = int(1u << st.tw), vh = int(1u << st.th);
    const int umin = st.wms ? 0 : INT32_MIN, umax = st.wms ? uw - 1 : INT32_MAX, umask = st.wms ? -1 : uw - 1;
    const int vmin = st.wmt ? 0 : INT32_MIN, vmax = st.wmt ? vh - 1 : INT32_MAX, vmask = st.wmt ? -1 : vh - 1;
    const uint32_t tstride = st.tbw * 64u;
    const bool t8 = st.tpsm == kPsmT8;
    // Without a texture the fragment colour goes through as a DECAL texel would.
    const bool decal = !kTexture || st.tfx == kTfxDecal;
    uint8_t* m = mem_.Data();
    const bool zte = st.zte, zwrite = st.zte && !st.zmsk, gequal = st.ztst == kZtstGequal,
               always = st.ztst == kZtstAlways;
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi32(-1);
    const __m128i low24 = _mm_set1_epi32(0xFFFFFF), hi8 = _mm_set1_epi32(int(0xFF000000u));
    const __m128i max255 = _mm_set1_epi16(255);
    const __m128i alphaLanes = _mm_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1);
    const __m128i laneIndex = _mm_setr_epi32(0, 1, 2, 3);
    auto lanes = [](const int16_t* c)
                     QZ_INLINE { return _mm_load_si128(reinterpret_cast<const __m128i*>(c)); };
    const __m128i wrapMin = lanes(sc_.wrapMin), wrapMax = lanes(sc_.wrapMax), wrapMask = lanes(sc_.wrapMask);
    const bool clampUV = sc_.clampUV, texDirect = sc_.texDirect;
    const __m128i strideOne = _mm_set1_epi32(sc_.strideOne);
    const uint8_t* texBytes = m + (st.tBase & kMask);

    const __m128 four = _mm_set1_ps(4.0f);
    const __m128 vds = _mm_set1_ps(ds), vdt = _mm_set1_ps(dt), vdq = _mm_set1_ps(dq);
    const __m128 vtw = _mm_set1_ps(tw), vth = _mm_set1_ps(th);
    // The texture sizes and 256 are powers of two: (x * size) clamped to +-16384 then times 256 is x times
    // (size * 256) clamped to +-16384 * 256, bit for bit (no rounding either way, overflow and NaN alike).
    const __m128 vtw256 = _mm_set1_ps(tw * 256.0f), vth256 = _mm_set1_ps(th * 256.0f);
    // q constant along the rows (dq is zero): q + i * dq is q for every pixel of a row, so 1 / q is too.
    const bool qConst = dq == 0.0f;
    auto toFix8 = [](__m128 x) QZ_INLINE {
        x = _mm_max_ps(x, _mm_set1_ps(-16384.0f));  // NaN takes the lower bound, as in ToFix8
        x = _mm_min_ps(x, _mm_set1_ps(16384.0f));
        const __m128 biased = _mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(256.0f)), _mm_set1_ps(8388608.0f));
        return _mm_sub_epi32(_mm_cvttps_epi32(biased), _mm_set1_epi32(8388608));
    };
    // toFix8 of x / 256 for x already scaled by 256.
    auto toFix8Scaled = [](__m128 x) QZ_INLINE {
        x = _mm_max_ps(x, _mm_set1_ps(-16384.0f * 256.0f));  // NaN takes the lower bound, as in ToFix8
        x = _mm_min_ps(x, _mm_set1_ps(16384.0f * 256.0f));
        return _mm_sub_epi32(_mm_cvttps_epi32(_mm_add_ps(x, _mm_set1_ps(8388608.0f))),
                             _mm_set1_epi32(8388608));
    };
    auto wrap = [&](__m128i uv) QZ_INLINE {
        if (clampUV) uv = _mm_min_epi16(_mm_max_epi16(uv, wrapMin), wrapMax);
        return _mm_and_si128(uv, wrapMask);
    };
    // Texel indices of four pixels from wrapped (u 0-3, v 4-7) lanes.
    auto indexOf = [&](__m128i uvw) QZ_INLINE {
        return _mm_madd_epi16(_mm_unpacklo_epi16(uvw, _mm_srli_si128(uvw, 8)), strideOne);
    };
    // Texels at four indices, built from registers: four small stores read back as one vector would stall.
    // `common`: std::true_type when the state is known to be the common one (see below).
    auto gather = [&](__m128i idx, auto common) QZ_INLINE {
        constexpr bool kC = decltype(common)::value;
        const uint64_t lo = uint64_t(_mm_cvtsi128_si64(idx)),
                       hi = uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(idx, idx)));
        const uint32_t i0 = uint32_t(lo), i1 = uint32_t(lo >> 32), i2 = uint32_t(hi), i3 = uint32_t(hi >> 32);
        uint32_t c0, c1, c2, c3;
        if (kC || texDirect) {
            if (!kC && t8) {
                c0 = st.clut[texBytes[i0]];
                c1 = st.clut[texBytes[i1]];
                c2 = st.clut[texBytes[i2]];
                c3 = st.clut[texBytes[i3]];
            } else {
                std::memcpy(&c0, texBytes + size_t(i0) * 4, 4);
                std::memcpy(&c1, texBytes + size_t(i1) * 4, 4);
                std::memcpy(&c2, texBytes + size_t(i2) * 4, 4);
                std::memcpy(&c3, texBytes + size_t(i3) * 4, 4);
            }
        } else if (t8) {
            c0 = st.clut[m[(st.tBase + i0) & kMask]];
            c1 = st.clut[m[(st.tBase + i1) & kMask]];
            c2 = st.clut[m[(st.tBase + i2) & kMask]];
            c3 = st.clut[m[(st.tBase + i3) & kMask]];
        } else {
            c0 = Load32(m, st.tBase + i0 * 4u);
            c1 = Load32(m, st.tBase + i1 * 4u);
            c2 = Load32(m, st.tBase + i2 * 4u);
            c3 = Load32(m, st.tBase + i3 * 4u);
        }
        return _mm_unpacklo_epi64(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(c0)), _mm_cvtsi32_si128(int(c1))),
                                  _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(c2)), _mm_cvtsi32_si128(int(c3))));
    };
    const __m128i aS = lanes(sc_.aS), aD = lanes(sc_.aD), bS = lanes(sc_.bS), bD = lanes(sc_.bD);
    const __m128i dS = lanes(sc_.dS), dD = lanes(sc_.dD), cSrc = lanes(sc_.cSrc), cDst = lanes(sc_.cDst);
    const __m128i cFix = lanes(sc_.cFix);
    const __m128i rgbLanes = _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0);
    const __m128i unitAlpha = _mm_setr_epi16(0, 0, 0, 128 << 7, 0, 0, 0, 128 << 7);
    const __m128i x80 = _mm_set1_epi16(0x80);
    auto alphaOf = [](__m128i c)
                       QZ_INLINE { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(c, 0xFF), 0xFF); };
    // ((A - B) * C >> 7) + D on two pixels in 16-bit lanes. A - B lies in [-255, 255] and C in [0, 255],
    // so the high half of (A - B) * 4 times C * 128 is exactly (A - B) * C >> 7. The alpha lanes take
    // (As - Ad) * 1 + Ad, the source alpha, which is what is written. The saturating pack that follows
    // clamps to 0..255.
    auto blend = [&](__m128i cs, __m128i cd, auto common) QZ_INLINE {
        __m128i diff, c7, dv;
        const __m128i as = alphaOf(cs);
        if (kBlend == 2) {
            diff = _mm_sub_epi16(cs, cd);
            c7 = _mm_slli_epi16(as, 7);
            dv = cd;
        } else {
            auto pick = [&](__m128i s0, __m128i d0)
                            QZ_INLINE { return _mm_or_si128(_mm_and_si128(cs, s0), _mm_and_si128(cd, d0)); };
            diff = _mm_sub_epi16(pick(aS, aD), pick(bS, bD));
            c7 = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_slli_epi16(as, 7), cSrc),
                                           _mm_and_si128(_mm_slli_epi16(alphaOf(cd), 7), cDst)),
                              cFix);
            dv = pick(dS, dD);
        }
        c7 = _mm_or_si128(_mm_and_si128(c7, rgbLanes), unitAlpha);
        __m128i mixed = _mm_add_epi16(_mm_mulhi_epi16(_mm_slli_epi16(diff, 2), c7), dv);
        if (!decltype(common)::value && st.pabe) {
            // Sources with alpha below 0x80 are written as they are.
            const __m128i plain = _mm_cmplt_epi16(as, x80);
            mixed = _mm_or_si128(_mm_and_si128(plain, cs), _mm_andnot_si128(plain, mixed));
        }
        return mixed;
    };

    const bool gequalOnly = zte && !always && gequal;
    // The common state gets a loop of its own with these settings fixed: depth tested GEQUAL and written,
    // 32-bit texels addressed directly, texture alpha, no PABE.
    const bool commonState =
        zte && gequalOnly && zwrite && (!kTexture || (texDirect && !t8)) && st.tcc && !st.pabe;

    // Fixed-point steps of the interpolated attributes, the same on every row.
    const int64_t zStep = p.flatZ ? 0 : static_cast<int64_t>(p.z.dx * 256.0);
    int64_t rStep = 0, gStep = 0, bStep = 0, aStep = 0;
    if (kGouraud) {
        rStep = static_cast<int64_t>(p.r.dx * 65536.0);
        gStep = static_cast<int64_t>(p.g.dx * 65536.0);
        bStep = static_cast<int64_t>(p.b.dx * 65536.0);
        aStep = static_cast<int64_t>(p.a.dx * 65536.0);
    }
    // The colour planes two channels per register for the rows' start values (see shadeRow), and whether
    // every step is small enough for the row-end check in doubles.
    const __m128d cRG = _mm_setr_pd(p.r.c, p.g.c), dxRG = _mm_setr_pd(p.r.dx, p.g.dx),
                  dyRG = _mm_setr_pd(p.r.dy, p.g.dy);
    const __m128d cBA = _mm_setr_pd(p.b.c, p.a.c), dxBA = _mm_setr_pd(p.b.dx, p.a.dx),
                  dyBA = _mm_setr_pd(p.b.dy, p.a.dy);
    const __m128d stepRG = _mm_setr_pd(double(rStep), double(gStep)),
                  stepBA = _mm_setr_pd(double(bStep), double(aStep));
    auto small = [](int64_t v) { return v >= -(int64_t(1) << 40) && v <= (int64_t(1) << 40); };
    const bool smallSteps = small(rStep) && small(gStep) && small(bStep) && small(aStep);
    const __m128i colSteps = _mm_setr_epi32(int32_t(rStep), int32_t(gStep), int32_t(bStep), int32_t(aStep));

    // One row: per-row attribute values, then four pixels per step.
    auto shadeRow = [&](int y, int x0, int x1) QZ_INLINE {
        const int n = x1 - x0 + 1;
        const double py = y + 0.5, pa = x0 + 0.5, pb = x1 + 0.5;
        Lerp z;
        if (p.flatZ) {
            z.v = int64_t(p.fz) << 8;
        } else {
            z.SetupWithStep(p.z, zStep, pa, pb, py, n, 0.0, double(0xFFFFFF), 256.0);
        }
        // Fragment colour at the row start and its step, 16.16 fixed point, channels r g b a.
        __m128i colStart, colStep1;
        if (kGouraud) {
            bool done = false;
            if (smallSteps && n > 1) {
                // Lerp::Setup for the four channels, two per register with the same double arithmetic:
                // c + dx * pa + dy * py, clamped (NaN to 0), times 65536, truncated. The end of the row,
                // v + step * (n - 1), is exact in doubles here (|step| <= 2^40, n <= 4096).
                const __m128d vpa = _mm_set1_pd(pa), vpy = _mm_set1_pd(py);
                auto startOf = [&](__m128d c, __m128d dx, __m128d dy) QZ_INLINE {
                    __m128d at = _mm_add_pd(_mm_add_pd(c, _mm_mul_pd(dx, vpa)), _mm_mul_pd(dy, vpy));
                    at = _mm_min_pd(_mm_max_pd(at, _mm_setzero_pd()), _mm_set1_pd(255.0));
                    return _mm_cvttpd_epi32(_mm_mul_pd(at, _mm_set1_pd(65536.0)));
                };
                const __m128i vRG = startOf(cRG, dxRG, dyRG), vBA = startOf(cBA, dxBA, dyBA);
                const __m128d n1 = _mm_set1_pd(double(n - 1)), top = _mm_set1_pd(255.0 * 65536.0);
                const __m128d eRG = _mm_add_pd(_mm_cvtepi32_pd(vRG), _mm_mul_pd(stepRG, n1));
                const __m128d eBA = _mm_add_pd(_mm_cvtepi32_pd(vBA), _mm_mul_pd(stepBA, n1));
                const __m128d out =
                    _mm_or_pd(_mm_or_pd(_mm_cmplt_pd(eRG, _mm_setzero_pd()), _mm_cmpgt_pd(eRG, top)),
                              _mm_or_pd(_mm_cmplt_pd(eBA, _mm_setzero_pd()), _mm_cmpgt_pd(eBA, top)));
                if (_mm_movemask_pd(out) == 0) {
                    colStart = _mm_unpacklo_epi64(vRG, vBA);
                    colStep1 = colSteps;
                    done = true;
                }
            }
            if (!done) {
                Lerp r, g, b, a;
                r.SetupWithStep(p.r, rStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
                g.SetupWithStep(p.g, gStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
                b.SetupWithStep(p.b, bStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
                a.SetupWithStep(p.a, aStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
                colStart = _mm_setr_epi32(int32_t(r.v), int32_t(g.v), int32_t(b.v), int32_t(a.v));
                colStep1 = _mm_setr_epi32(int32_t(r.d), int32_t(g.d), int32_t(b.d), int32_t(a.d));
            }
        } else {
            colStart = _mm_setr_epi32(int32_t(p.fr) << 16, int32_t(p.fg) << 16, int32_t(p.fb) << 16,
                                      int32_t(p.fa) << 16);
            colStep1 = _mm_setzero_si128();
        }
        float s = 0, t = 0, q = 0;
        if (kTexture) {
            s = float(p.s.At(pa, py));
            t = float(p.t.At(pa, py));
            q = float(p.q.At(pa, py));
        }
        const uint32_t row = uint32_t(y) * st.fbw * 64u;
        const uint32_t fa0 = st.fbBase + (row + uint32_t(x0)) * 4u,
                       za0 = st.zBase + (row + uint32_t(x0)) * 4u;
        pixels_ += uint64_t(n);

        const uint32_t zc0 = uint32_t(z.v), dzc = uint32_t(z.d);

        uint32_t* fp = reinterpret_cast<uint32_t*>(m + (fa0 & kMask));
        uint32_t* zp = reinterpret_cast<uint32_t*>(m + (za0 & kMask));
        // A last group of fewer than four pixels runs masked when its full 16 bytes lie inside local memory
        // (lanes past the span end rewrite their old values).
        const bool maskedTail = ((fa0 & kMask) + uint32_t(n + 3) * 4u <= LocalMemory::kSize) &&
                                ((za0 & kMask) + uint32_t(n + 3) * 4u <= LocalMemory::kSize);
        const int groupEnd = maskedTail ? n : (n & ~3);
        int i = 0;
        if (groupEnd > 0) {
            // Per-lane state, stepped by four pixels: depth (exactly zc0 + k * dzc modulo 2^32), the 16.16
            // fragment colours of each pixel (one register per pixel, channels r g b a), and the lane indices
            // as floats for the texture coordinates.
            __m128i vz = _mm_add_epi32(_mm_set1_epi32(int(zc0)),
                                       _mm_setr_epi32(0, int(dzc), int(2 * dzc), int(3 * dzc)));
            const __m128i vdz = _mm_set1_epi32(int(4 * dzc));
            // Colour steps modulo 2^32 as in the scalar path: pixel k + 1 is pixel k plus one step.
            // Only the group's first pixel is kept from step to step; the others add one to three steps.
            __m128i col = colStart;
            const __m128i dcol1 = colStep1, dcol2 = _mm_slli_epi32(dcol1, 1),
                          dcol3 = _mm_add_epi32(dcol2, dcol1), dcol = _mm_slli_epi32(dcol1, 2);
            const __m128i flatFrag = _mm_packs_epi32(_mm_srai_epi32(col, 16), _mm_srai_epi32(col, 16));
            __m128 vfi = _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f);
            const __m128 vs = _mm_set1_ps(s), vt = _mm_set1_ps(t), vq = _mm_set1_ps(q);
            const float iqRow = q != 0.0f ? 1.0f / q : 0.0f;
            const __m128 viq = _mm_set1_ps(iqRow);
            // x * 1 is x.
            const bool iqOne = qConst && iqRow == 1.0f;

            auto groups = [&](auto common) QZ_INLINE {
                constexpr bool kC = decltype(common)::value;
                for (; i < groupEnd; i += 4) {
                    const __m128i z24 = _mm_srli_epi32(vz, 8);
                    vz = _mm_add_epi32(vz, vdz);
                    __m128 fi = vfi;
                    if (kTexture) vfi = _mm_add_ps(vfi, four);
                    const __m128i c0 = col;
                    if (kGouraud) col = _mm_add_epi32(col, dcol);
                    // keep: lanes whose pixel stays as it is (depth test failed, or past the span end).
                    __m128i zold = zero, keep = zero;
                    if (kC || zte) {
                        zold = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp + i));
                        const __m128i zb = _mm_and_si128(zold, low24);
                        if (kC || gequalOnly) {
                            keep = _mm_cmpgt_epi32(zb, z24);
                        } else if (!always) {
                            keep = _mm_xor_si128(_mm_cmpgt_epi32(z24, zb), ones);
                        }
                    }
                    if (n - i < 4)
                        keep = _mm_or_si128(keep, _mm_cmpgt_epi32(laneIndex, _mm_set1_epi32(n - i - 1)));
                    const int keepBits = _mm_movemask_ps(_mm_castsi128_ps(keep));
                    if (keepBits == 15) continue;
                    // Texels as 16-bit channel lanes, pixels 0-1 in tlo and 2-3 in thi.
                    __m128i tlo = zero, thi = zero;
                    if constexpr (kTexture) {
                        __m128 u = _mm_add_ps(vs, _mm_mul_ps(fi, vds));
                        __m128 v = _mm_add_ps(vt, _mm_mul_ps(fi, vdt));
                        __m128i uq, vq8;
                        if (kPersp) {
                            __m128 iq = viq;
                            if (!qConst) {
                                const __m128 qi = _mm_add_ps(vq, _mm_mul_ps(fi, vdq));
                                iq = _mm_and_ps(_mm_cmpneq_ps(qi, _mm_setzero_ps()),
                                                _mm_div_ps(_mm_set1_ps(1.0f), qi));
                            }
                            if (!iqOne) {
                                u = _mm_mul_ps(u, iq);
                                v = _mm_mul_ps(v, iq);
                            }
                            if (kBilinear) {
                                u = _mm_sub_ps(_mm_mul_ps(u, vtw), _mm_set1_ps(0.5f));
                                v = _mm_sub_ps(_mm_mul_ps(v, vth), _mm_set1_ps(0.5f));
                                uq = toFix8(u);
                                vq8 = toFix8(v);
                            } else {
                                // Nearest: the texture size and the 256 of the fixed point in one multiply.
                                uq = toFix8Scaled(_mm_mul_ps(u, vtw256));
                                vq8 = toFix8Scaled(_mm_mul_ps(v, vth256));
                            }
                        } else {
                            if (kBilinear) {
                                u = _mm_sub_ps(u, _mm_set1_ps(0.5f));
                                v = _mm_sub_ps(v, _mm_set1_ps(0.5f));
                            }
                            uq = toFix8(u);
                            vq8 = toFix8(v);
                        }
                        const __m128i uv0 = _mm_packs_epi32(_mm_srai_epi32(uq, 8), _mm_srai_epi32(vq8, 8));
                        if (!kBilinear) {
                            const __m128i tv = gather(indexOf(wrap(uv0)), common);
                            tlo = _mm_unpacklo_epi8(tv, zero);
                            thi = _mm_unpackhi_epi8(tv, zero);
                        } else {
                            const __m128i one16 = _mm_set1_epi16(1);
                            const __m128i w0 = wrap(uv0), w1 = wrap(_mm_add_epi16(uv0, one16));
                            __m128i c00, c10, c01, c11;
                            // When u + 1 wraps to the next texel in memory for all four pixels (the usual
                            // case), each pair of horizontal neighbours is one 8-byte load.
                            const bool pairs =
                                (kC || (texDirect && !t8)) &&
                                (_mm_movemask_epi8(_mm_cmpeq_epi16(w1, _mm_add_epi16(w0, one16))) & 0xFF) ==
                                    0xFF;
                            if (pairs) {
                                auto pairsAt = [&](__m128i idx, __m128i* left, __m128i* right) QZ_INLINE {
                                    const uint64_t lo = uint64_t(_mm_cvtsi128_si64(idx)),
                                                   hi = uint64_t(
                                                       _mm_cvtsi128_si64(_mm_unpackhi_epi64(idx, idx)));
                                    auto at = [&](uint64_t k) QZ_INLINE {
                                        return _mm_loadl_epi64(
                                            reinterpret_cast<const __m128i*>(texBytes + size_t(k) * 4));
                                    };
                                    const __m128 x =
                                        _mm_castsi128_ps(_mm_unpacklo_epi64(at(uint32_t(lo)), at(lo >> 32)));
                                    const __m128 y =
                                        _mm_castsi128_ps(_mm_unpacklo_epi64(at(uint32_t(hi)), at(hi >> 32)));
                                    *left = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(2, 0, 2, 0)));
                                    *right = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(3, 1, 3, 1)));
                                };
                                pairsAt(indexOf(w0), &c00, &c10);
                                pairsAt(indexOf(_mm_unpacklo_epi64(w0, _mm_srli_si128(w1, 8))), &c01,
                                        &c11);  // u, v + 1
                            } else {
                                c00 = gather(indexOf(w0), common);
                                c11 = gather(indexOf(w1), common);
                                c10 = gather(indexOf(_mm_unpacklo_epi64(w1, _mm_srli_si128(w0, 8))),
                                             common);  // u + 1, v
                                c01 = gather(indexOf(_mm_unpacklo_epi64(w0, _mm_srli_si128(w1, 8))),
                                             common);  // u, v + 1
                            }
                            // Weights per pixel, spread over its four channel lanes: pixels 0-1 and 2-3.
                            auto spread = [](__m128i f32, __m128i* lo, __m128i* hi) QZ_INLINE {
                                const __m128i f16 = _mm_packs_epi32(f32, f32);
                                const __m128i x = _mm_unpacklo_epi16(f16, f16);
                                *lo = _mm_unpacklo_epi32(x, x);
                                *hi = _mm_unpackhi_epi32(x, x);
                            };
                            __m128i fuLo, fuHi, fvLo, fvHi;
                            const __m128i m255 = _mm_set1_epi32(255);
                            spread(_mm_and_si128(uq, m255), &fuLo, &fuHi);
                            spread(_mm_and_si128(vq8, m255), &fvLo, &fvHi);
                            const __m128i w256 = _mm_set1_epi16(256);
                            // (a * (256 - f) + b * f) >> 8: both products and the sum stay below 65536.
                            auto lerp = [&](__m128i a0v, __m128i b0v, __m128i f) QZ_INLINE {
                                return _mm_srli_epi16(
                                    _mm_add_epi16(_mm_mullo_epi16(a0v, _mm_sub_epi16(w256, f)),
                                                  _mm_mullo_epi16(b0v, f)),
                                    8);
                            };
                            tlo = lerp(lerp(_mm_unpacklo_epi8(c00, zero), _mm_unpacklo_epi8(c10, zero), fuLo),
                                       lerp(_mm_unpacklo_epi8(c01, zero), _mm_unpacklo_epi8(c11, zero), fuLo),
                                       fvLo);
                            thi = lerp(lerp(_mm_unpackhi_epi8(c00, zero), _mm_unpackhi_epi8(c10, zero), fuHi),
                                       lerp(_mm_unpackhi_epi8(c01, zero), _mm_unpackhi_epi8(c11, zero), fuHi),
                                       fvHi);
                        }
                    }
                    // Fragment colours in 16-bit lanes: the 16.16 values' integer parts.
                    __m128i flo = flatFrag, fhi = flatFrag;
                    if (kGouraud) {
                        flo = _mm_packs_epi32(_mm_srai_epi32(c0, 16),
                                              _mm_srai_epi32(_mm_add_epi32(c0, dcol1), 16));
                        fhi = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(c0, dcol2), 16),
                                              _mm_srai_epi32(_mm_add_epi32(c0, dcol3), 16));
                    }
                    if constexpr (!kTexture) {
                        tlo = flo;
                        thi = fhi;
                    }
                    // MODULATE (or DECAL).
                    __m128i lo = tlo, hi = thi;
                    if (!decal) {
                        lo = _mm_min_epi16(_mm_srli_epi16(_mm_mullo_epi16(tlo, flo), 7), max255);
                        hi = _mm_min_epi16(_mm_srli_epi16(_mm_mullo_epi16(thi, fhi), 7), max255);
                    }
                    if (!kC && !st.tcc) {
                        lo = _mm_or_si128(_mm_andnot_si128(alphaLanes, lo), _mm_and_si128(alphaLanes, flo));
                        hi = _mm_or_si128(_mm_andnot_si128(alphaLanes, hi), _mm_and_si128(alphaLanes, fhi));
                    }
                    __m128i oldc = zero;
                    if (kBlend != 0 || keepBits != 0)
                        oldc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fp + i));
                    if (kBlend != 0) {
                        lo = blend(lo, _mm_unpacklo_epi8(oldc, zero), common);
                        hi = blend(hi, _mm_unpackhi_epi8(oldc, zero), common);
                    }
                    const __m128i out = _mm_packus_epi16(lo, hi);
                    const __m128i nz = _mm_or_si128(_mm_and_si128(zold, hi8), z24);
                    if (keepBits == 0) {
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(fp + i), out);
                        if (kC || zwrite) _mm_storeu_si128(reinterpret_cast<__m128i*>(zp + i), nz);
                    } else {
                        _mm_storeu_si128(
                            reinterpret_cast<__m128i*>(fp + i),
                            _mm_or_si128(_mm_andnot_si128(keep, out), _mm_and_si128(keep, oldc)));
                        if (kC || zwrite) {
                            _mm_storeu_si128(
                                reinterpret_cast<__m128i*>(zp + i),
                                _mm_or_si128(_mm_andnot_si128(keep, nz), _mm_and_si128(keep, zold)));
                        }
                    }
                }
            };
            if (commonState) {
                groups(std::true_type{});
            } else {
                groups(std::false_type{});
            }
        }
        if (i < n) {
            // The scalar pipeline for the pixels left (only when the last group cannot be read whole).
            alignas(16) int32_t c0s[4], dcs[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(c0s), colStart);
            _mm_store_si128(reinterpret_cast<__m128i*>(dcs), colStep1);
            const int32_t r0 = c0s[0], g0 = c0s[1], b0 = c0s[2], a0 = c0s[3];
            const int32_t dr = dcs[0], dg = dcs[1], db = dcs[2], da = dcs[3];
            auto texel = [&](int u, int v) -> uint32_t {
                u = std::min(std::max(u, umin), umax) & umask;
                v = std::min(std::max(v, vmin), vmax) & vmask;
                const uint32_t idx = uint32_t(v) * tstride + uint32_t(u);
                return t8 ? st.clut[m[(st.tBase + idx) & kMask]] : Load32(m, st.tBase + idx * 4u);
            };

            // Texel of pixel i from its texture coordinates (the same arithmetic in the vector and scalar
            // paths). u, v in 8-bit fixed point, already moved by half a texel for bilinear filtering.
            auto fetchFixed = [&](int32_t uf, int32_t vf) -> uint32_t {
                if (kBilinear) {
                    const int iu = uf >> 8, iv = vf >> 8;
                    return Bilerp(texel(iu, iv), texel(iu + 1, iv), texel(iu, iv + 1), texel(iu + 1, iv + 1),
                                  uint32_t(uf & 255), uint32_t(vf & 255));
                }
                return texel(uf >> 8, vf >> 8);
            };
            const float half = kBilinear ? 0.5f : 0.0f;
            auto fetch = [&](float u, float v) -> uint32_t {
                return fetchFixed(ToFix8(u - half), ToFix8(v - half));
            };
            auto coords = [&](int i, float* u, float* v) {
                const float fi = float(i);
                const float si = s + fi * ds, ti = t + fi * dt;
                if (kPersp) {
                    const float qi = q + fi * dq;
                    const float iq = qi != 0.0f ? 1.0f / qi : 0.0f;
                    *u = si * iq * tw;
                    *v = ti * iq * th;
                } else {
                    *u = si;
                    *v = ti;
                }
            };
            // One pixel, scalar: the tail of a span whose last group cannot be read as a whole.
            auto shadeOne = [&](int i) {
                const uint32_t fa = fa0 + uint32_t(i) * 4u, za = za0 + uint32_t(i) * 4u;
                const uint32_t z24 = (zc0 + uint32_t(i) * dzc) >> 8;
                uint32_t zold = 0;
                if (zte) {
                    zold = Load32(m, za);
                    const uint32_t zb = zold & 0xFFFFFFu;
                    if (!always && (gequal ? z24 < zb : z24 <= zb)) return;
                }
                const uint32_t fr = uint32_t((r0 + i * dr) >> 16), fg = uint32_t((g0 + i * dg) >> 16),
                               fb = uint32_t((b0 + i * db) >> 16), fal = uint32_t((a0 + i * da) >> 16);
                uint32_t tc = fr | (fg << 8) | (fb << 16) | (fal << 24);
                if (kTexture) {
                    float u, v;
                    coords(i, &u, &v);
                    tc = fetch(u, v);
                }
                uint32_t cr, cg, cb, ca;
                if (decal) {
                    cr = tc & 255;
                    cg = (tc >> 8) & 255;
                    cb = (tc >> 16) & 255;
                    ca = tc >> 24;
                } else {
                    cr = Min255(((tc & 255) * fr) >> 7);
                    cg = Min255((((tc >> 8) & 255) * fg) >> 7);
                    cb = Min255((((tc >> 16) & 255) * fb) >> 7);
                    ca = Min255(((tc >> 24) * fal) >> 7);
                }
                if (!st.tcc) ca = fal;  // RGB textures leave the fragment's alpha
                if (kBlend != 0 && !(st.pabe && ca < 0x80)) {
                    // ((A - B) * C >> 7) + D, clamped.
                    const uint32_t d = Load32(m, fa);
                    const int c = st.alphaC == 0 ? int(ca) : (st.alphaC == 1 ? int(d >> 24) : int(st.fix));
                    auto mix = [&](int cs, int cd) {
                        return uint32_t(
                            std::clamp(((Pick(st.alphaA, cs, cd) - Pick(st.alphaB, cs, cd)) * c >> 7) +
                                           Pick(st.alphaD, cs, cd),
                                       0, 255));
                    };
                    cr = mix(int(cr), int(d & 255));
                    cg = mix(int(cg), int((d >> 8) & 255));
                    cb = mix(int(cb), int((d >> 16) & 255));
                }
                Store32(m, fa, cr | (cg << 8) | (cb << 16) | (ca << 24));
                if (zwrite) Store32(m, za, (zold & 0xFF000000u) | z24);
            };
            for (; i < n; ++i) shadeOne(i);
        }
    };

    for (size_t j = 1; j < kPrefetchRows && j < count; ++j) Prefetch(st, rows[j].y, rows[j].x0, rows[j].x1);
    for (size_t j = 0; j < count; ++j) {
        const SpanRow& sr = rows[j];
        // Lines of a row a few rows further down, so that they arrive while the rows between are shaded.
        if (j + kPrefetchRows < count) {
            const SpanRow& ahead = rows[j + kPrefetchRows];
            Prefetch(st, ahead.y, ahead.x0, ahead.x1);
        }
        // The vector code addresses the frame and depth rows directly: a row that wraps around the end of
        // local memory takes the general path.
        if (!SpanInside(st, sr.y, sr.x0, sr.x1)) {
            SpanGeneral(st, p, sr.y, sr.x0, sr.x1);
            continue;
        }
        shadeRow(sr.y, sr.x0, sr.x1);
    }
}

template <bool kTex, bool kGouraud>
void Rasterizer::SpanGeneric(const DrawState& st, const Planes& p, int y, int x0, int x1) {
    const int n = x1 - x0 + 1;
    const double py = y + 0.5, pa = x0 + 0.5, pb = x1 + 0.5;
    Lerp z, r, g, b, a, f;
    if (p.flatZ) {
        z.v = int64_t(p.fz) << 8;
        z.d = 0;
    } else {
        z.Setup(p.z, pa, pb, py, n, 0.0, double(ZMax(st.zpsm)), 256.0);
    }
    if (kGouraud) {
        r.Setup(p.r, pa, pb, py, n, 0.0, 255.0, 65536.0);
        g.Setup(p.g, pa, pb, py, n, 0.0, 255.0, 65536.0);
        b.Setup(p.b, pa, pb, py, n, 0.0, 255.0, 65536.0);
        a.Setup(p.a, pa, pb, py, n, 0.0, 255.0, 65536.0);
    }
    if (st.fogging) f.Setup(p.f, pa, pb, py, n, 0.0, 255.0, 65536.0);
    float s = 0, t = 0, q = 0, ds = 0, dt = 0, dq = 0;
    if (kTex) {
        s = float(p.s.At(pa, py));
        t = float(p.t.At(pa, py));
        q = float(p.q.At(pa, py));
        ds = float(p.s.dx);
        dt = float(p.t.dx);
        dq = float(p.q.dx);
    }
    uint8_t* m = mem_.Data();
    const uint32_t row = uint32_t(y) * st.fbw * 64u;
    const int fbBytes = st.fpsm == kPsmCt32 || st.fpsm == kPsmCt24 ? 4 : 2;
    const int zBytes = st.zpsm == kPsmZ16 || st.zpsm == kPsmZ16S ? 2 : 4;
    const float tw = float(1u << st.tw), th = float(1u << st.th);
    pixels_ += uint64_t(n);

    for (int x = x0; x <= x1; ++x, z.v += z.d, r.v += r.d, g.v += g.d, b.v += b.d, a.v += a.d, f.v += f.d) {
        const uint32_t fa = st.fbBase + (row + uint32_t(x)) * uint32_t(fbBytes);
        const uint32_t za = st.zBase + (row + uint32_t(x)) * uint32_t(zBytes);
        const uint32_t zv = uint32_t(uint64_t(z.v) >> 8);
        // Depth test first: a failing pixel changes nothing whatever the other tests say.
        uint32_t zb = 0;
        if (st.zte) {
            zb = zBytes == 4 ? Load32(m, za) : Load16(m, za);
            if (st.zpsm == kPsmZ24) zb &= 0xFFFFFFu;
            if (st.ztst == kZtstNever) continue;
            if (st.ztst == kZtstGequal && zv < zb) continue;
            if (st.ztst == kZtstGreater && zv <= zb) continue;
        }
        uint32_t dst = 0;
        bool haveDst = false;
        auto readDst = [&]() {
            if (!haveDst) {
                dst = fbBytes == 4 ? Load32(m, fa) : Expand16(Load16(m, fa));
                if (st.fpsm == kPsmCt24) dst = (dst & 0xFFFFFFu) | 0x80000000u;
                haveDst = true;
            }
            return dst;
        };
        if (st.date && st.fpsm != kPsmCt24) {
            const bool bit = (readDst() >> 31) != 0;
            if (bit != st.datm) continue;
        }
        int cr, cg, cb, ca;
        if (kGouraud) {
            cr = int(r.v >> 16);
            cg = int(g.v >> 16);
            cb = int(b.v >> 16);
            ca = int(a.v >> 16);
        } else {
            cr = p.fr;
            cg = p.fg;
            cb = p.fb;
            ca = p.fa;
        }
        if (kTex) {
            // Coordinates from the span start, as the specialised paths compute them.
            const float fi = float(x - x0);
            const float si = s + fi * ds, ti = t + fi * dt;
            float u, v;
            if (st.uvTexels) {
                u = si;
                v = ti;
            } else {
                const float qi = q + fi * dq;
                const float iq = qi != 0.0f ? 1.0f / qi : 0.0f;
                u = si * iq * tw;
                v = ti * iq * th;
            }
            const uint32_t tc = SampleTexture(st, u, v);
            const int tr = int(tc & 255), tg = int((tc >> 8) & 255), tb = int((tc >> 16) & 255),
                      ta = int(tc >> 24);
            switch (st.tfx) {
                case kTfxModulate:
                    cr = int(Min255(uint32_t(tr * cr) >> 7));
                    cg = int(Min255(uint32_t(tg * cg) >> 7));
                    cb = int(Min255(uint32_t(tb * cb) >> 7));
                    if (st.tcc) ca = int(Min255(uint32_t(ta * ca) >> 7));
                    break;
                case kTfxDecal:
                    cr = tr;
                    cg = tg;
                    cb = tb;
                    if (st.tcc) ca = ta;
                    break;
                default: {
                    cr = int(Min255((uint32_t(tr * cr) >> 7) + uint32_t(ca)));
                    cg = int(Min255((uint32_t(tg * cg) >> 7) + uint32_t(ca)));
                    cb = int(Min255((uint32_t(tb * cb) >> 7) + uint32_t(ca)));
                    if (st.tcc) ca = st.tfx == kTfxHighlight ? int(Min255(uint32_t(ta + ca))) : ta;
                    break;
                }
            }
        }
        if (st.fogging) {
            const int fv = int(f.v >> 16);
            cr = (fv * cr + (255 - fv) * int(st.fogR)) >> 8;
            cg = (fv * cg + (255 - fv) * int(st.fogG)) >> 8;
            cb = (fv * cb + (255 - fv) * int(st.fogB)) >> 8;
        }
        bool writeColour = true, writeAlpha = true, writeZ = st.zte && !st.zmsk;
        if (st.ate) {
            bool pass;
            const uint32_t av = uint32_t(ca);
            switch (st.atst) {
                case 0:
                    pass = false;
                    break;
                case 1:
                    pass = true;
                    break;
                case 2:
                    pass = av < st.aref;
                    break;
                case 3:
                    pass = av <= st.aref;
                    break;
                case 4:
                    pass = av == st.aref;
                    break;
                case 5:
                    pass = av >= st.aref;
                    break;
                case 6:
                    pass = av > st.aref;
                    break;
                default:
                    pass = av != st.aref;
                    break;
            }
            if (!pass) {
                switch (st.afail) {
                    case 0:
                        continue;
                    case 1:
                        writeZ = false;
                        break;
                    case 2:
                        writeColour = false;
                        writeAlpha = false;
                        break;
                    default:
                        writeZ = false;
                        writeAlpha = false;
                        break;
                }
            }
        }
        if (writeColour) {
            if (st.blending && !(st.pabe && ca < 0x80)) {
                const uint32_t d = readDst();
                const int dr = int(d & 255), dg = int((d >> 8) & 255), db = int((d >> 16) & 255),
                          da = int(d >> 24);
                const int c = st.alphaC == 0 ? ca : (st.alphaC == 1 ? da : int(st.fix));
                int nr =
                    ((Pick(st.alphaA, cr, dr) - Pick(st.alphaB, cr, dr)) * c >> 7) + Pick(st.alphaD, cr, dr);
                int ng =
                    ((Pick(st.alphaA, cg, dg) - Pick(st.alphaB, cg, dg)) * c >> 7) + Pick(st.alphaD, cg, dg);
                int nb =
                    ((Pick(st.alphaA, cb, db) - Pick(st.alphaB, cb, db)) * c >> 7) + Pick(st.alphaD, cb, db);
                if (st.colclamp) {
                    nr = std::clamp(nr, 0, 255);
                    ng = std::clamp(ng, 0, 255);
                    nb = std::clamp(nb, 0, 255);
                } else {
                    nr &= 255;
                    ng &= 255;
                    nb &= 255;
                }
                cr = nr;
                cg = ng;
                cb = nb;
            }
            uint32_t out = uint32_t(cr) | (uint32_t(cg) << 8) | (uint32_t(cb) << 16) |
                           (uint32_t(ca | (st.fba ? 0x80 : 0)) << 24);
            uint32_t keep = st.fbmsk;
            if (!writeAlpha) keep |= 0xFF000000u;
            if (st.fpsm == kPsmCt24) keep |= 0xFF000000u;
            if (keep)
                out = (out & ~keep) | (((fbBytes == 4) ? Load32(m, fa) : Expand16(Load16(m, fa))) & keep);
            if (fbBytes == 4) {
                Store32(m, fa, out);
            } else {
                Store16(m, fa, Pack16(out));
            }
        }
        if (writeZ) {
            if (zBytes == 2) {
                Store16(m, za, zv);
            } else if (st.zpsm == kPsmZ24) {
                Store32(m, za, (Load32(m, za) & 0xFF000000u) | zv);
            } else {
                Store32(m, za, zv);
            }
        }
    }
}

// Flat colour, no texture/blend/tests, 32-bit frame, 24-bit Z: four pixels at a time. Returns false when
// the state needs the general path.
bool Rasterizer::FlatFastApplies(const DrawState& st) {
    if (st.gouraud || st.textured || st.fogging || st.blending || st.ate || st.date || st.fba) return false;
    if (st.fpsm != kPsmCt32 || st.fbmsk != 0) return false;
    return !(st.zte && (st.zpsm != kPsmZ24 || st.ztst == kZtstNever));
}

// Flat fills of a primitive's rows: the state checked once, lines fetched a few rows ahead.
void Rasterizer::RowsFlat(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count) {
    for (size_t j = 1; j < kPrefetchRows && j < count; ++j) Prefetch(st, rows[j].y, rows[j].x0, rows[j].x1);
    for (size_t j = 0; j < count; ++j) {
        if (j + kPrefetchRows < count) {
            const SpanRow& ahead = rows[j + kPrefetchRows];
            Prefetch(st, ahead.y, ahead.x0, ahead.x1);
        }
        const SpanRow& sr = rows[j];
        if (!SpanFlat(st, p, sr.y, sr.x0, sr.x1)) SpanGeneric<false, false>(st, p, sr.y, sr.x0, sr.x1);
    }
}

bool Rasterizer::SpanFlatFast(const DrawState& st, const Planes& p, int y, int x0, int x1) {
    return FlatFastApplies(st) && SpanFlat(st, p, y, x0, x1);
}

inline bool Rasterizer::SpanFlat(const DrawState& st, const Planes& p, int y, int x0, int x1) {
    const int n = x1 - x0 + 1;
    const uint32_t row = uint32_t(y) * st.fbw * 64u;
    const uint32_t fa = st.fbBase + (row + uint32_t(x0)) * 4u;
    const uint32_t za = st.zBase + (row + uint32_t(x0)) * 4u;
    // Spans that would wrap around the end of local memory take the general path.
    if ((fa & kMask) + uint32_t(n) * 4u > LocalMemory::kSize) return false;
    if (st.zte && (za & kMask) + uint32_t(n) * 4u > LocalMemory::kSize) return false;
    uint8_t* m = mem_.Data();
    uint32_t* fp = reinterpret_cast<uint32_t*>(m + (fa & kMask));
    const uint32_t colour =
        uint32_t(p.fr) | (uint32_t(p.fg) << 8) | (uint32_t(p.fb) << 16) | (uint32_t(p.fa) << 24);
    pixels_ += uint64_t(n);
    if (!st.zte) {
        std::fill(fp, fp + n, colour);
        return true;
    }
    uint32_t* zp = reinterpret_cast<uint32_t*>(m + (za & kMask));
    Lerp z;
    const double py = y + 0.5;
    if (p.flatZ) {
        z.v = int64_t(p.fz) << 8;
        z.d = 0;
    } else {
        z.Setup(p.z, x0 + 0.5, x1 + 0.5, py, n, 0.0, double(0xFFFFFF), 256.0);
    }
    // z fits 32 bits with 8 fraction bits; the steps are exact modulo 2^32.
    uint32_t zc = uint32_t(z.v);
    const uint32_t dz = uint32_t(z.d);
    const bool always = st.ztst == kZtstAlways, gequal = st.ztst == kZtstGequal, writeZ = !st.zmsk;
    int i = 0;
    const bool maskedTail = ((fa & kMask) + uint32_t(n + 3) * 4u <= LocalMemory::kSize) &&
                            ((za & kMask) + uint32_t(n + 3) * 4u <= LocalMemory::kSize);
    const int groupEnd = maskedTail ? n : (n & ~3);
    if (groupEnd > 0) {
        const __m128i vcol = _mm_set1_epi32(int(colour));
        const __m128i low24 = _mm_set1_epi32(0xFFFFFF);
        const __m128i hi8 = _mm_set1_epi32(int(0xFF000000u));
        __m128i vz = _mm_setr_epi32(int(zc), int(zc + dz), int(zc + 2 * dz), int(zc + 3 * dz));
        const __m128i vdz = _mm_set1_epi32(int(dz * 4));
        for (; i < groupEnd; i += 4) {
            const __m128i z24 = _mm_srli_epi32(vz, 8);
            const __m128i zbFull = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp + i));
            const __m128i zb = _mm_and_si128(zbFull, low24);
            __m128i pass;
            if (always) {
                pass = _mm_set1_epi32(-1);
            } else {
                pass = _mm_cmpgt_epi32(z24, zb);
                if (gequal) pass = _mm_or_si128(pass, _mm_cmpeq_epi32(z24, zb));
            }
            if (n - i < 4)
                pass =
                    _mm_and_si128(pass, _mm_cmplt_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(n - i)));
            const int bits = _mm_movemask_epi8(pass);
            const __m128i nz = _mm_or_si128(_mm_and_si128(zbFull, hi8), z24);
            if (bits == 0xFFFF) {
                // All four pass (the usual case): no need to read the old colours.
                _mm_storeu_si128(reinterpret_cast<__m128i*>(fp + i), vcol);
                if (writeZ) _mm_storeu_si128(reinterpret_cast<__m128i*>(zp + i), nz);
            } else if (bits != 0) {
                const __m128i oldc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fp + i));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(fp + i),
                                 _mm_or_si128(_mm_and_si128(pass, vcol), _mm_andnot_si128(pass, oldc)));
                if (writeZ) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(zp + i),
                                     _mm_or_si128(_mm_and_si128(pass, nz), _mm_andnot_si128(pass, zbFull)));
                }
            }
            vz = _mm_add_epi32(vz, vdz);
        }
        zc += uint32_t(i) * dz;
    }
    if (i > n) return true;
    for (; i < n; ++i, zc += dz) {
        const uint32_t z24 = zc >> 8;
        const uint32_t zb = zp[i] & 0xFFFFFFu;
        if (!always && (gequal ? z24 < zb : z24 <= zb)) continue;
        fp[i] = colour;
        if (writeZ) zp[i] = (zp[i] & 0xFF000000u) | z24;
    }
    return true;
}

// The vector spans address the frame and depth rows directly: they must not wrap around the memory end.
bool Rasterizer::SpanInside(const DrawState& st, int y, int x0, int x1) {
    const int n = x1 - x0 + 1;
    const uint32_t row = uint32_t(y) * st.fbw * 64u;
    return ((st.fbBase + (row + uint32_t(x0)) * 4u) & kMask) + uint32_t(n) * 4u <= LocalMemory::kSize &&
           ((st.zBase + (row + uint32_t(x0)) * 4u) & kMask) + uint32_t(n) * 4u <= LocalMemory::kSize;
}

namespace {
bool allowVex = true;
}  // namespace

bool Rasterizer::AllowVexSpans(bool allow) {
    const bool old = allowVex;
    allowVex = allow;
    return old;
}

void Rasterizer::PrepareSpans(const DrawState& st) {
    SpanConsts& k = sc_;
    k.fn = nullptr;
    if (!st.texFast) {
        if (FlatFastApplies(st)) k.fn = &Rasterizer::RowsFlat;
        return;
    }
    // Wrap bounds as 16-bit lanes (u in 0-3, v in 4-7), as the span's scalar `texel` applies them. Texel
    // coordinates fit 16 bits (|u| <= 16385), so the clamp-then-mask runs on 16-bit lanes.
    const int uw = int(1u << st.tw), vh = int(1u << st.th);
    const int umin = st.wms ? 0 : INT32_MIN, umax = st.wms ? uw - 1 : INT32_MAX, umask = st.wms ? -1 : uw - 1;
    const int vmin = st.wmt ? 0 : INT32_MIN, vmax = st.wmt ? vh - 1 : INT32_MAX, vmask = st.wmt ? -1 : vh - 1;
    auto b16 = [](int x) { return int16_t(std::clamp(x, -32768, 32767)); };
    for (int i = 0; i < 8; ++i) {
        k.wrapMin[i] = b16(i < 4 ? umin : vmin);
        k.wrapMax[i] = b16(i < 4 ? umax : vmax);
        k.wrapMask[i] = int16_t(i < 4 ? umask : vmask);
    }
    k.clampUV = st.wms != 0 || st.wmt != 0;
    // (u, v) pairs times (1, stride) give the texel index in one multiply-add (u, v < 1024 and the stride
    // < 4096, so every product and sum is exact).
    const uint32_t tstride = st.tbw * 64u;
    k.strideOne = int32_t(1u | ((tstride & 0xFFFFu) << 16));
    const uint64_t texEnd =
        uint64_t(st.tBase) + (uint64_t(vh - 1) * tstride + uint64_t(uw)) * (st.tpsm == kPsmT8 ? 1u : 4u);
    k.texDirect = texEnd <= LocalMemory::kSize;
    // Blend selection: masks picking source or destination for A, B and D, with the alpha lanes fixed to
    // A = As, B = Ad, D = Ad (the span makes C = 1 there, so the written alpha is the source's).
    auto sel = [](int16_t* out, uint32_t s, uint32_t want, bool alpha) {
        for (int i = 0; i < 8; ++i) out[i] = int16_t((i & 3) == 3 ? (alpha ? -1 : 0) : (s == want ? -1 : 0));
    };
    sel(k.aS, st.alphaA, 0, true);
    sel(k.aD, st.alphaA, 1, false);
    sel(k.bS, st.alphaB, 0, false);
    sel(k.bD, st.alphaB, 1, true);
    sel(k.dS, st.alphaD, 0, false);
    sel(k.dD, st.alphaD, 1, true);
    for (int i = 0; i < 8; ++i) {
        k.cSrc[i] = int16_t(st.alphaC == 0 ? -1 : 0);
        k.cDst[i] = int16_t(st.alphaC == 1 ? -1 : 0);
        k.cFix[i] = int16_t(st.alphaC >= 2 ? st.fix << 7 : 0);
    }

    // Vector spans by key: bit 0 Gouraud, bit 1 perspective (STQ), bits 2-3 blend kind, bit 4 bilinear;
    // untextured ones by Gouraud and blend kind. Blend kind 3 does not occur.
    static constexpr auto kTexSpans = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<RowsFn, sizeof...(I)>{
            {&Rasterizer::RowsTexFast<true, ((I >> 4) & 1) != 0, int((I >> 2) & 3) % 3, ((I >> 1) & 1) != 0,
                                      (I & 1) != 0>...}};
    }
    (std::make_index_sequence<32>{});
    static constexpr auto kColourSpans = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<RowsFn, sizeof...(I)>{
            {&Rasterizer::RowsTexFast<false, false, int(I >> 1), false, (I & 1) != 0>...}};
    }
    (std::make_index_sequence<6>{});
    static constexpr auto kTexSpansAvx2 = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<RowsFn, sizeof...(I)>{
            {&Rasterizer::RowsTexFastAvx2<true, ((I >> 4) & 1) != 0, int((I >> 2) & 3) % 3,
                                          ((I >> 1) & 1) != 0, (I & 1) != 0>...}};
    }
    (std::make_index_sequence<32>{});
    static constexpr auto kColourSpansAvx2 = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<RowsFn, sizeof...(I)>{
            {&Rasterizer::RowsTexFastAvx2<false, false, int(I >> 1), false, (I & 1) != 0>...}};
    }
    (std::make_index_sequence<6>{});
    const bool avx2 = allowVex && __builtin_cpu_supports("avx2");
    const int blendKind = !st.blending                                                             ? 0
                          : (st.alphaA == 0 && st.alphaB == 1 && st.alphaC == 0 && st.alphaD == 1) ? 2
                                                                                                   : 1;
    if (st.textured) {
        const int key =
            (st.bilinearMag ? 16 : 0) | (blendKind << 2) | (st.uvTexels ? 0 : 2) | (st.gouraud ? 1 : 0);
        k.fn = (avx2 ? kTexSpansAvx2 : kTexSpans)[size_t(key)];
    } else {
        // Gouraud or blended without a texture.
        k.fn = (avx2 ? kColourSpansAvx2 : kColourSpans)[size_t(blendKind * 2 + (st.gouraud ? 1 : 0))];
    }
}

void Rasterizer::Span(const DrawState& st, const Planes& p, int y, int x0, int x1) {
    if (x0 > x1) return;
    if (sc_.fn) {
        const SpanRow row{y, x0, x1};
        (this->*sc_.fn)(st, p, &row, 1);
        return;
    }
    SpanGeneral(st, p, y, x0, x1);
}

void Rasterizer::Spans(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count) {
    if (sc_.fn) {
        (this->*sc_.fn)(st, p, rows, count);
        return;
    }
    for (size_t j = 0; j < count; ++j) {
        // The next row's pixels are usually right below: fetch their lines while this row is shaded.
        if (j + 1 < count) Prefetch(st, rows[j + 1].y, rows[j + 1].x0, rows[j + 1].x1);
        SpanGeneral(st, p, rows[j].y, rows[j].x0, rows[j].x1);
    }
}

void Rasterizer::SpanGeneral(const DrawState& st, const Planes& p, int y, int x0, int x1) {
    if (st.textured) {
        if (st.gouraud) {
            SpanGeneric<true, true>(st, p, y, x0, x1);
        } else {
            SpanGeneric<true, false>(st, p, y, x0, x1);
        }
    } else if (st.gouraud) {
        SpanGeneric<false, true>(st, p, y, x0, x1);
    } else if (!SpanFlatFast(st, p, y, x0, x1)) {
        SpanGeneric<false, false>(st, p, y, x0, x1);
    }
}

// Whether the vector span applies to a state: textured, or untextured with Gouraud shading or blending
// (flat unblended fills have their own path).
bool Rasterizer::TexFastApplies(const DrawState& st) {
    const bool common = st.fpsm == kPsmCt32 && st.fbmsk == 0 && !st.fogging && !st.ate && !st.date &&
                        !st.fba && (!st.zte || (st.zpsm == kPsmZ24 && st.ztst != kZtstNever)) &&
                        (!st.blending || st.colclamp);
    if (!common) return false;
    if (!st.textured) return st.gouraud || st.blending;
    return (st.tpsm == kPsmCt32 || (st.tpsm == kPsmT8 && st.clut)) && st.wms <= 1 && st.wmt <= 1 &&
           (st.tfx == kTfxModulate || st.tfx == kTfxDecal);
}

// --- Primitives -----------------------------------------------------------------------------------

void Rasterizer::Prefetch(const DrawState& st, int y, int x0, int x1) const {
    const uint32_t row = uint32_t(y) * st.fbw * 64u;
    const uint8_t* m = mem_.Data();
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

void Rasterizer::DrawTriangle(const DrawState& st, const GsVertex& va, const GsVertex& vb, const GsVertex& vc,
                              const GsVertex& flat) {
    const GsVertex* v[3] = {&va, &vb, &vc};
    int64_t area =
        int64_t(v[1]->x - v[0]->x) * (v[2]->y - v[0]->y) - int64_t(v[2]->x - v[0]->x) * (v[1]->y - v[0]->y);
    if (area == 0) return;
    if (area < 0) std::swap(v[1], v[2]);

    struct Edge {
        int64_t A, B, C;
        int64_t bias;
    } e[3];
    for (int i = 0; i < 3; ++i) {
        const GsVertex& p0 = *v[i];
        const GsVertex& p1 = *v[(i + 1) % 3];
        e[i].A = int64_t(p0.y) - p1.y;
        e[i].B = int64_t(p1.x) - p0.x;
        e[i].C = -(e[i].A * p0.x + e[i].B * p0.y);
        const bool topLeft = e[i].A > 0 || (e[i].A == 0 && e[i].B > 0);
        e[i].bias = topLeft ? 0 : -1;
    }
    const int32_t minY = std::min({v[0]->y, v[1]->y, v[2]->y}), maxY = std::max({v[0]->y, v[1]->y, v[2]->y});
    const int32_t minX = std::min({v[0]->x, v[1]->x, v[2]->x}), maxX = std::max({v[0]->x, v[1]->x, v[2]->x});
    // Rows and columns whose centres can be inside.
    int y0 = int(CeilDiv(int64_t(minY) - 8, 16)), y1 = int(FloorDiv(int64_t(maxY) - 8, 16));
    int bx0 = int(CeilDiv(int64_t(minX) - 8, 16)), bx1 = int(FloorDiv(int64_t(maxX) - 8, 16));
    y0 = std::max(y0, st.scy0);
    y1 = std::min(y1, st.scy1);
    bx0 = std::max(bx0, st.scx0);
    bx1 = std::min(bx1, st.scx1);
    if (y0 > y1 || bx0 > bx1) return;

    PrepareSpans(st);
    Planes p{};
    const double X[3] = {v[0]->x / 16.0, v[1]->x / 16.0, v[2]->x / 16.0};
    const double Y[3] = {v[0]->y / 16.0, v[1]->y / 16.0, v[2]->y / 16.0};
    auto plane = [&](auto get) {
        return PlaneOf(X[0], Y[0], get(*v[0]), X[1], Y[1], get(*v[1]), X[2], Y[2], get(*v[2]));
    };
    p.z = plane([](const GsVertex& q) { return double(q.z); });
    p.flatZ = false;
    if (st.gouraud) {
        p.r = plane([](const GsVertex& q) { return double(q.r); });
        p.g = plane([](const GsVertex& q) { return double(q.g); });
        p.b = plane([](const GsVertex& q) { return double(q.b); });
        p.a = plane([](const GsVertex& q) { return double(q.a); });
    }
    p.fr = flat.r;
    p.fg = flat.g;
    p.fb = flat.b;
    p.fa = flat.a;
    if (st.fogging) p.f = plane([](const GsVertex& q) { return double(q.fog); });
    if (st.textured) {
        if (st.uvTexels) {
            p.s = plane([](const GsVertex& q) { return q.u / 16.0; });
            p.t = plane([](const GsVertex& q) { return q.v / 16.0; });
            p.q = ConstPlane(1.0);
        } else {
            p.s = plane([](const GsVertex& q) { return double(q.s); });
            p.t = plane([](const GsVertex& q) { return double(q.t); });
            p.q = plane([](const GsVertex& q) { return double(q.q); });
        }
    }

    // Each edge bounds the covered columns of a row: A * (16x + 8) + B * py + C + bias >= 0. The bound
    // moves by a fixed rational step per row, walked as quotient and remainder (no division per row).
    struct Walk {
        int kind;      // 1: lower bound on x, -1: upper bound, 0: the whole row or nothing
        int64_t q, r;  // bound = q, with remainder r in [0, k)
        int64_t k, dq, dr;
        int64_t R, D;  // for kind 0: row is empty when R > 0
    } w[3];
    const int64_t py0 = int64_t(y0) * 16 + 8;
    for (int i = 0; i < 3; ++i) {
        const Edge& ed = e[i];
        const int64_t R = -(ed.B * py0 + ed.C + ed.bias + 8 * ed.A);
        const int64_t D = -16 * ed.B;  // change of R per row
        const int64_t K = 16 * ed.A;
        Walk& wk = w[i];
        if (K > 0) {
            // x >= ceil(R / K) = floor((R + K - 1) / K)
            wk.kind = 1;
            wk.k = K;
            wk.q = FloorDiv(R + K - 1, K);
            wk.r = (R + K - 1) - wk.q * K;
            wk.dq = FloorDiv(D, K);
            wk.dr = D - wk.dq * K;
        } else if (K < 0) {
            // x <= floor(R / K) = floor(-R / -K)
            wk.kind = -1;
            wk.k = -K;
            wk.q = FloorDiv(-R, -K);
            wk.r = -R - wk.q * (-K);
            wk.dq = FloorDiv(-D, -K);
            wk.dr = -D - wk.dq * (-K);
        } else {
            wk.kind = 0;
            wk.R = R;
            wk.D = D;
        }
    }
    rows_.clear();
    for (int y = y0; y <= y1; ++y) {
        int64_t lo = bx0, hi = bx1;
        for (Walk& wk : w) {
            if (wk.kind == 1) {
                lo = std::max(lo, wk.q);
            } else if (wk.kind == -1) {
                hi = std::min(hi, wk.q);
            } else if (wk.R > 0) {
                hi = lo - 1;
            }
            if (wk.kind != 0) {
                wk.q += wk.dq;
                wk.r += wk.dr;
                if (wk.r >= wk.k) {
                    wk.r -= wk.k;
                    ++wk.q;
                }
            } else {
                wk.R += wk.D;
            }
        }
        if (lo <= hi) rows_.push_back(SpanRow{y, int(lo), int(hi)});
    }
    Spans(st, p, rows_.data(), rows_.size());
}

void Rasterizer::DrawSprite(const DrawState& st, const GsVertex& a, const GsVertex& b) {
    const GsVertex& lx = a.x <= b.x ? a : b;
    const GsVertex& hx = a.x <= b.x ? b : a;
    const GsVertex& ly = a.y <= b.y ? a : b;
    const GsVertex& hy = a.y <= b.y ? b : a;
    if (lx.x == hx.x || ly.y == hy.y) return;
    // Pixels whose centres lie in [x0, x1) x [y0, y1).
    int x0 = int(CeilDiv(int64_t(lx.x) - 8, 16)), x1 = int(CeilDiv(int64_t(hx.x) - 8, 16)) - 1;
    int y0 = int(CeilDiv(int64_t(ly.y) - 8, 16)), y1 = int(CeilDiv(int64_t(hy.y) - 8, 16)) - 1;
    x0 = std::max(x0, st.scx0);
    x1 = std::min(x1, st.scx1);
    y0 = std::max(y0, st.scy0);
    y1 = std::min(y1, st.scy1);
    if (x0 > x1 || y0 > y1) return;

    Planes p{};
    p.fr = b.r;
    p.fg = b.g;
    p.fb = b.b;
    p.fa = b.a;
    p.flatZ = true;
    p.fz = std::min(b.z, ZMax(st.zpsm));
    p.f = ConstPlane(b.fog);
    p.r = ConstPlane(b.r);
    p.g = ConstPlane(b.g);
    p.b = ConstPlane(b.b);
    p.a = ConstPlane(b.a);
    if (st.textured) {
        // Texture coordinates run linearly along each axis between the two corners.
        const double xa = lx.x / 16.0, xb = hx.x / 16.0, ya = ly.y / 16.0, yb = hy.y / 16.0;
        double su0, su1, tv0, tv1;
        if (st.uvTexels) {
            su0 = lx.u / 16.0;
            su1 = hx.u / 16.0;
            tv0 = ly.v / 16.0;
            tv1 = hy.v / 16.0;
        } else {
            auto div = [](float num, float q) { return q != 0.0f ? double(num) / double(q) : 0.0; };
            su0 = div(lx.s, lx.q);
            su1 = div(hx.s, hx.q);
            tv0 = div(ly.t, ly.q);
            tv1 = div(hy.t, hy.q);
        }
        p.s.dx = (su1 - su0) / (xb - xa);
        p.s.dy = 0;
        p.s.c = su0 - p.s.dx * xa;
        p.t.dx = 0;
        p.t.dy = (tv1 - tv0) / (yb - ya);
        p.t.c = tv0 - p.t.dy * ya;
        p.q = ConstPlane(1.0);
    }
    // s and t hold coordinates already divided by q (q is 1), scaled to texels in the span.
    DrawState s2 = st;
    s2.gouraud = false;
    PrepareSpans(s2);
    rows_.clear();
    for (int y = y0; y <= y1; ++y) rows_.push_back(SpanRow{y, x0, x1});
    Spans(s2, p, rows_.data(), rows_.size());
}

void Rasterizer::DrawLine(const DrawState& st, const GsVertex& a, const GsVertex& b) {
    const int64_t dx = int64_t(b.x) - a.x, dy = int64_t(b.y) - a.y;
    if (dx == 0 && dy == 0) return;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const int64_t from = xMajor ? a.x : a.y, to = xMajor ? b.x : b.y;
    const int64_t lo = std::min(from, to), hi = std::max(from, to);
    // Cells along the major axis whose centres lie between the ends, the far end excluded.
    int64_t c0, c1;
    if (to > from) {
        c0 = CeilDiv(lo - 8, 16);
        c1 = CeilDiv(hi - 8, 16) - 1;
    } else {
        c0 = FloorDiv(lo - 8, 16) + 1;
        c1 = FloorDiv(hi - 8, 16);
    }
    for (int64_t c = c0; c <= c1; ++c) {
        const double t = (double(c * 16 + 8) - double(from)) / double(to - from);
        const double minor = xMajor ? a.y + t * double(dy) : a.x + t * double(dx);
        const int64_t mc = FloorDiv(int64_t(std::floor(minor)), 16);
        const int px = int(xMajor ? c : mc), py = int(xMajor ? mc : c);
        if (px < st.scx0 || px > st.scx1 || py < st.scy0 || py > st.scy1) continue;
        auto lerp = [t](double u, double w) { return u + (w - u) * t; };
        GsVertex m{};
        m.x = px * 16 + 8;
        m.y = py * 16 + 8;
        m.z = uint32_t(Clampd(lerp(a.z, b.z), 0.0, double(ZMax(st.zpsm))));
        if (st.gouraud) {
            m.r = uint8_t(Clampd(lerp(a.r, b.r), 0, 255));
            m.g = uint8_t(Clampd(lerp(a.g, b.g), 0, 255));
            m.b = uint8_t(Clampd(lerp(a.b, b.b), 0, 255));
            m.a = uint8_t(Clampd(lerp(a.a, b.a), 0, 255));
        } else {
            m.r = b.r;
            m.g = b.g;
            m.b = b.b;
            m.a = b.a;
        }
        m.fog = uint8_t(Clampd(lerp(a.fog, b.fog), 0, 255));
        m.s = float(lerp(a.s, b.s));
        m.t = float(lerp(a.t, b.t));
        m.q = float(lerp(a.q, b.q));
        m.u = uint32_t(Clampd(lerp(a.u, b.u), 0, 16383));
        m.v = uint32_t(Clampd(lerp(a.v, b.v), 0, 16383));
        DrawPoint(st, m);
    }
}

void Rasterizer::DrawPoint(const DrawState& st, const GsVertex& v) {
    const int px = int(FloorDiv(v.x, 16)), py = int(FloorDiv(v.y, 16));
    if (px < st.scx0 || px > st.scx1 || py < st.scy0 || py > st.scy1) return;
    Planes p{};
    p.fr = v.r;
    p.fg = v.g;
    p.fb = v.b;
    p.fa = v.a;
    p.flatZ = true;
    p.fz = std::min(v.z, ZMax(st.zpsm));
    p.f = ConstPlane(v.fog);
    if (st.uvTexels) {
        p.s = ConstPlane(v.u / 16.0);
        p.t = ConstPlane(v.v / 16.0);
        p.q = ConstPlane(1.0);
    } else {
        p.s = ConstPlane(v.s);
        p.t = ConstPlane(v.t);
        p.q = ConstPlane(v.q);
    }
    DrawState s2 = st;
    s2.gouraud = false;
    PrepareSpans(s2);
    Span(s2, p, py, px, px);
}

}  // namespace console::gs
