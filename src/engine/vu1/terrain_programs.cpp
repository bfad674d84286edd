#include "engine/vu1/terrain_programs.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "engine/vu1/triangle_out.h"
#include "engine/vu1/vu_data.h"

namespace engine::vu1 {
namespace {

uint64_t g_drawn = 0;
bool g_keepRows = true;
bool g_fourAtATime = true;

// What every terrain program reads before drawing: the matrices and the parameter block.
// What a vertex is made from besides its own position and sample.
struct VertexParams {
    float l2c[16], c2s[16];
    float g, sh, x0, z0, colour, step;
};
struct Frame : VertexParams {
    float l2s[16];
    gif::GifTag base, detail;
};

void ReadFrame(const VuMemory& mem, Frame& f) {
    ReadMatrix(mem, 0, f.l2s);
    ReadMatrix(mem, 4, f.l2c);
    ReadMatrix(mem, 8, f.c2s);
    f.g = mem.QwFloat(kTerrainParamsAt, 0);
    f.sh = mem.QwFloat(kTerrainParamsAt, 1);
    f.x0 = mem.QwFloat(kTerrainParamsAt + 1, 0);
    f.colour = mem.QwFloat(kTerrainParamsAt + 1, 1);
    f.z0 = mem.QwFloat(kTerrainParamsAt + 1, 2);
    f.step = mem.QwFloat(kTerrainParamsAt + 1, 3);
    std::memcpy(&f.base, mem.Qw(kTerrainTagsAt), 16);
    std::memcpy(&f.detail, mem.Qw(kTerrainTagsAt + 1), 16);
}

// Plane outcode of a clip-space point: one bit per plane of |x|, |y|, |z| <= w it fails.
uint32_t Outcode(const float c[4]) {
#if defined(__SSE2__)
    // Bits 0-2: x, y, z > w; bits 3-5: x, y, z < -w.
    const __m128 v = _mm_loadu_ps(c), w = _mm_set1_ps(c[3]), nw = _mm_set1_ps(-c[3]);
    return uint32_t(_mm_movemask_ps(_mm_cmpgt_ps(v, w)) & 7) |
           uint32_t(_mm_movemask_ps(_mm_cmplt_ps(v, nw)) & 7) << 3;
#else
    return (c[0] > c[3] ? 1u : 0u) | (c[0] < -c[3] ? 2u : 0u) | (c[1] > c[3] ? 4u : 0u) |
           (c[1] < -c[3] ? 8u : 0u) | (c[2] > c[3] ? 16u : 0u) | (c[2] < -c[3] ? 32u : 0u);
#endif
}

// A vertex with what every triangle through it needs worked out once (a grid vertex serves six
// triangles, twice with the detail pass): its outcode, its position after the divide (x and y, for the
// back-face test) and, inside the frustum, the words it goes out as in the base and the detail pass.
// Laid out in quadwords so that MakeFour stores whole ones.
struct alignas(16) TVertex {
    float c[4];  // clip-space position
    uint32_t base[12], detail[12];
    float s, t;  // texture coordinates (the base pass's)
    uint32_t out;
    float dx, dy;
    uint32_t screen;  // TriangleOut::ScreenCode of the window drawn into, when it is worked out (else 0)
    bool fits;        // inside the frustum and within the GS coordinate range: base and detail are set
};
static_assert(offsetof(TVertex, base) == 16 && offsetof(TVertex, detail) == 64 &&
              offsetof(TVertex, s) == 112 && offsetof(TVertex, t) == 116 && offsetof(TVertex, out) == 120 &&
              offsetof(TVertex, dx) == 124 && offsetof(TVertex, dy) == 128 &&
              offsetof(TVertex, screen) == 132 && offsetof(TVertex, fits) == 136 && sizeof(TVertex) == 144);

// The detail pass's version of a vertex: the texture repeated, alpha fading out with depth.
void DetailVertex(OutVertex& v) {
    v.s *= kTerrainDetailRepeat;
    v.t *= kTerrainDetailRepeat;
    const float fade = (kTerrainDetailFar - v.c[3]) / (0.5f * kTerrainDetailFar);
    v.rgba[3] = kTerrainDetailAlpha * (fade < 0.0f ? 0.0f : fade > 1.0f ? 1.0f : fade);
}

// The vertex as the output takes it (the base pass's).
OutVertex Corner(const Frame& f, const TVertex& t) {
    OutVertex v;
    std::memset(v.h, 0, sizeof v.h);
    std::memcpy(v.c, t.c, sizeof v.c);
    v.s = t.s;
    v.t = t.t;
    v.rgba[0] = v.rgba[1] = v.rgba[2] = f.colour;
    v.rgba[3] = 128.0f;
    return v;
}

void MakeVertex(const Frame& f, float cx, float cz, uint32_t sample, bool detail, TVertex& t) {
    const float p[4] = {(f.x0 + cx) * f.g, static_cast<float>(sample) * f.sh, (f.z0 + cz) * f.g, 1.0f};
    TransformRow(f.l2c, p, t.c);
    t.s = cx * f.step;
    t.t = cz * f.step;
    t.out = Outcode(t.c);
    t.dx = t.c[0] / t.c[3];
    t.dy = t.c[1] / t.c[3];
    t.fits = false;
    t.screen = 0;
    if (t.out != 0) return;
    // Inside the frustum: the screen position as a triangle drawn unclipped takes it.
    const float inv = 1.0f / t.c[3];
    const float q[4] = {t.c[0] * inv, t.c[1] * inv, t.c[2] * inv, 1.0f};
    float scr[4];
    TransformRow(f.c2s, q, scr);
    const OutVertex v = Corner(f, t);
    if (!TriangleOut::Pack(scr[0], scr[1], scr[2], inv, v, t.base)) return;
    if (detail) {
        // The same but for the texture coordinates and alpha.
        OutVertex d = v;
        DetailVertex(d);
        std::memcpy(t.detail, t.base, sizeof t.detail);
        t.detail[0] = FloatBits(d.s * inv);
        t.detail[1] = FloatBits(d.t * inv);
        t.detail[7] = Clamp255(d.rgba[3]);
    }
    t.fits = true;
}

#if defined(__SSE2__)
// What MakeFour takes from the frame, each value in all four lanes: made once for a row or a list.
struct FourFrame {
    __m128 l2c[16];  // the last row times 1, as MakeVertex's w = 1 takes it
    __m128 c2s[16];
    __m128 g, sh, x0, z0, step;
    int32_t grey;  // the vertex colour as the output packs it
};

void Broadcast(const Frame& f, FourFrame& b) {
    const __m128 one = _mm_set1_ps(1.0f);
    for (int i = 0; i < 16; ++i) {
        b.l2c[i] = i < 12 ? _mm_set1_ps(f.l2c[i]) : _mm_mul_ps(one, _mm_set1_ps(f.l2c[i]));
        b.c2s[i] = i < 12 ? _mm_set1_ps(f.c2s[i]) : _mm_mul_ps(one, _mm_set1_ps(f.c2s[i]));
    }
    b.g = _mm_set1_ps(f.g);
    b.sh = _mm_set1_ps(f.sh);
    b.x0 = _mm_set1_ps(f.x0);
    b.z0 = _mm_set1_ps(f.z0);
    b.step = _mm_set1_ps(f.step);
    b.grey = int32_t(Clamp255(f.colour));
}

// Four vertices' values side by side, as MakeFour (or half of MakeEight) works them out.
struct Lanes4 {
    __m128 c[4], sq, tq, inv, dsq, dtq, alpha, st, tt, dx, dy;
    __m128i fx, fy, iz, out, fits;
};

// Lane by lane into the vertices: quadwords of four values of one lane each, gathered by transposing.
[[gnu::always_inline]] inline void StoreFour(const Lanes4& l, int32_t grey, bool detail, TVertex* t) {
    const __m128i colour = _mm_set1_epi32(grey);
    const __m128i baseRgba = _mm_setr_epi32(grey, grey, grey, int32_t(Clamp255(128.0f)));
    // Clamp255 on each lane: maxps and minps pick as maxss and minss do (not a number goes to 0).
    const __m128i ialpha =
        _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(l.alpha, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
    __m128 pc[4] = {l.c[0], l.c[1], l.c[2], l.c[3]};
    _MM_TRANSPOSE4_PS(pc[0], pc[1], pc[2], pc[3]);
    __m128 pb[4] = {l.sq, l.tq, l.inv, _mm_setzero_ps()};
    _MM_TRANSPOSE4_PS(pb[0], pb[1], pb[2], pb[3]);
    __m128 pd[4] = {l.dsq, l.dtq, l.inv, _mm_setzero_ps()};
    _MM_TRANSPOSE4_PS(pd[0], pd[1], pd[2], pd[3]);
    __m128 pxyz[4] = {_mm_castsi128_ps(l.fx), _mm_castsi128_ps(l.fy), _mm_castsi128_ps(l.iz),
                      _mm_setzero_ps()};
    _MM_TRANSPOSE4_PS(pxyz[0], pxyz[1], pxyz[2], pxyz[3]);
    __m128 prgba[4] = {_mm_castsi128_ps(colour), _mm_castsi128_ps(colour), _mm_castsi128_ps(colour),
                       _mm_castsi128_ps(ialpha)};
    _MM_TRANSPOSE4_PS(prgba[0], prgba[1], prgba[2], prgba[3]);
    __m128 pst[4] = {l.st, l.tt, _mm_castsi128_ps(l.out), l.dx};
    _MM_TRANSPOSE4_PS(pst[0], pst[1], pst[2], pst[3]);
    // dy, screen (0 until a window is known) and fits as a bool (1 in its first byte).
    __m128 pdy[4] = {l.dy, _mm_setzero_ps(), _mm_castsi128_ps(_mm_srli_epi32(l.fits, 31)), _mm_setzero_ps()};
    _MM_TRANSPOSE4_PS(pdy[0], pdy[1], pdy[2], pdy[3]);
    for (int k = 0; k < 4; ++k) {
        // Base and detail are written whether the vertex fits or not: they are read only when it does.
        float* v = reinterpret_cast<float*>(&t[k]);
        _mm_store_ps(v, pc[k]);
        _mm_store_ps(v + 4, pb[k]);
        _mm_store_si128(reinterpret_cast<__m128i*>(v + 8), baseRgba);
        _mm_store_ps(v + 12, pxyz[k]);
        if (detail) {
            _mm_store_ps(v + 16, pd[k]);
            _mm_store_ps(v + 20, prgba[k]);
            _mm_store_ps(v + 24, pxyz[k]);
        }
        _mm_store_ps(v + 28, pst[k]);
        _mm_store_ps(v + 32, pdy[k]);
    }
}

// Four vertices side by side: in every lane the same operations in the same order as MakeVertex, so the
// same bits.
void MakeFour(const FourFrame& f, const float* cxs, const float* czs, const uint32_t* samples, bool detail,
              TVertex* t) {
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 cx = _mm_loadu_ps(cxs), cz = _mm_loadu_ps(czs);
    const __m128 x = _mm_mul_ps(_mm_add_ps(f.x0, cx), f.g);
    // Samples are 16 bits (below 2^31 a signed conversion is the same).
    const __m128i si = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples));
    const __m128 sf = _mm_movemask_ps(_mm_castsi128_ps(si)) == 0
                          ? _mm_cvtepi32_ps(si)
                          : _mm_setr_ps(static_cast<float>(samples[0]), static_cast<float>(samples[1]),
                                        static_cast<float>(samples[2]), static_cast<float>(samples[3]));
    const __m128 y = _mm_mul_ps(sf, f.sh);
    const __m128 z = _mm_mul_ps(_mm_add_ps(f.z0, cz), f.g);
    __m128 cc[4];
    for (int j = 0; j < 4; ++j) {
        __m128 r = _mm_add_ps(_mm_mul_ps(x, f.l2c[j]), _mm_mul_ps(y, f.l2c[4 + j]));
        r = _mm_add_ps(r, _mm_mul_ps(z, f.l2c[8 + j]));
        cc[j] = _mm_add_ps(r, f.l2c[12 + j]);
    }
    // Plane outcode, the bits as Outcode gives them.
    const __m128 w = cc[3], nw = _mm_xor_ps(cc[3], _mm_set1_ps(-0.0f));
    __m128i out = _mm_setzero_si128();
    for (int j = 0; j < 3; ++j) {
        out = _mm_or_si128(out,
                           _mm_and_si128(_mm_castps_si128(_mm_cmpgt_ps(cc[j], w)), _mm_set1_epi32(1 << j)));
        out = _mm_or_si128(out,
                           _mm_and_si128(_mm_castps_si128(_mm_cmplt_ps(cc[j], nw)), _mm_set1_epi32(8 << j)));
    }
    const __m128 dx = _mm_div_ps(cc[0], w), dy = _mm_div_ps(cc[1], w);
    const __m128 inv = _mm_div_ps(one, w);
    const __m128 q0 = _mm_mul_ps(cc[0], inv), q1 = _mm_mul_ps(cc[1], inv), q2 = _mm_mul_ps(cc[2], inv);
    __m128 scr[3];
    for (int j = 0; j < 3; ++j) {
        __m128 r = _mm_add_ps(_mm_mul_ps(q0, f.c2s[j]), _mm_mul_ps(q1, f.c2s[4 + j]));
        r = _mm_add_ps(r, _mm_mul_ps(q2, f.c2s[8 + j]));
        scr[j] = _mm_add_ps(r, f.c2s[12 + j]);
    }
    // ToFixed on each lane; in range when no bit above the low 16 is set.
    const __m128 sixteen = _mm_set1_ps(16.0f);
    const __m128i fx = _mm_cvtps_epi32(_mm_mul_ps(scr[0], sixteen));
    const __m128i fy = _mm_cvtps_epi32(_mm_mul_ps(scr[1], sixteen));
    const __m128i high = _mm_and_si128(_mm_or_si128(fx, fy), _mm_set1_epi32(int32_t(0xFFFF0000u)));
    const __m128i fits =
        _mm_and_si128(_mm_cmpeq_epi32(high, _mm_setzero_si128()), _mm_cmpeq_epi32(out, _mm_setzero_si128()));
    // Depth as PackRest clamps it: not a number and below 0 to 0, at most kMaxZ, then truncated.
    __m128 sz = _mm_and_ps(_mm_cmpge_ps(scr[2], _mm_setzero_ps()), scr[2]);
    sz = _mm_min_ps(sz, _mm_set1_ps(16777215.0f));
    const __m128i iz = _mm_cvttps_epi32(sz);
    const __m128 st = _mm_mul_ps(cx, f.step);
    const __m128 tt = _mm_mul_ps(cz, f.step);
    const __m128 sq = _mm_mul_ps(st, inv), tq = _mm_mul_ps(tt, inv);
    // The detail pass: the texture repeated, alpha fading out with depth.
    const __m128 repeat = _mm_set1_ps(kTerrainDetailRepeat);
    const __m128 dsq = _mm_mul_ps(_mm_mul_ps(st, repeat), inv);
    const __m128 dtq = _mm_mul_ps(_mm_mul_ps(tt, repeat), inv);
    const __m128 fade =
        _mm_div_ps(_mm_sub_ps(_mm_set1_ps(kTerrainDetailFar), w), _mm_set1_ps(0.5f * kTerrainDetailFar));
    __m128 clamped = _mm_andnot_ps(_mm_cmplt_ps(fade, _mm_setzero_ps()), fade);
    const __m128 above = _mm_cmpgt_ps(fade, one);
    clamped = _mm_or_ps(_mm_and_ps(above, one), _mm_andnot_ps(above, clamped));
    const __m128 alpha = _mm_mul_ps(_mm_set1_ps(kTerrainDetailAlpha), clamped);

    StoreFour(Lanes4{{cc[0], cc[1], cc[2], cc[3]},
                     sq,
                     tq,
                     inv,
                     dsq,
                     dtq,
                     alpha,
                     st,
                     tt,
                     dx,
                     dy,
                     fx,
                     fy,
                     iz,
                     out,
                     fits},
              f.grey, detail, t);
}

#if defined(__x86_64__) || defined(__i386__)
#define QZ_TERRAIN_EIGHT 1
// Eight vertices side by side where the processor has AVX2 (without FMA: no product is fused into a
// sum): the same operations in the same order as MakeFour in every lane, then stored four at a time.
// AVX's compare predicates give what SSE's cmpgt, cmplt and cmpge give, not a number included.
struct EightFrame {
    __m256 l2c[16], c2s[16];
    __m256 g, sh, x0, z0, step;
    int32_t grey;
};

[[gnu::target("avx2")]] void BroadcastEight(const Frame& f, EightFrame& b) {
    const __m256 one = _mm256_set1_ps(1.0f);
    for (int i = 0; i < 16; ++i) {
        b.l2c[i] = i < 12 ? _mm256_set1_ps(f.l2c[i]) : _mm256_mul_ps(one, _mm256_set1_ps(f.l2c[i]));
        b.c2s[i] = i < 12 ? _mm256_set1_ps(f.c2s[i]) : _mm256_mul_ps(one, _mm256_set1_ps(f.c2s[i]));
    }
    b.g = _mm256_set1_ps(f.g);
    b.sh = _mm256_set1_ps(f.sh);
    b.x0 = _mm256_set1_ps(f.x0);
    b.z0 = _mm256_set1_ps(f.z0);
    b.step = _mm256_set1_ps(f.step);
    b.grey = int32_t(Clamp255(f.colour));
}

// Lanes 0-3 (h = 0) or 4-7 (h = 1).
[[gnu::target("avx2"), gnu::always_inline]] inline __m128 Half(__m256 v, int h) {
    return h ? _mm256_extractf128_ps(v, 1) : _mm256_castps256_ps128(v);
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m128i Half(__m256i v, int h) {
    return h ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v);
}

[[gnu::target("avx2")]] void MakeEight(const EightFrame& f, const float* cxs, const float* czs,
                                       const uint32_t* samples, bool detail, TVertex* t) {
    const __m256 one = _mm256_set1_ps(1.0f), zero = _mm256_setzero_ps();
    const __m256 cx = _mm256_loadu_ps(cxs), cz = _mm256_loadu_ps(czs);
    const __m256 x = _mm256_mul_ps(_mm256_add_ps(f.x0, cx), f.g);
    const __m256i si = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples));
    __m256 sf;
    if (_mm256_movemask_ps(_mm256_castsi256_ps(si)) == 0) {
        sf = _mm256_cvtepi32_ps(si);
    } else {
        alignas(32) float u[8];
        for (int i = 0; i < 8; ++i) u[i] = static_cast<float>(samples[i]);
        sf = _mm256_load_ps(u);
    }
    const __m256 y = _mm256_mul_ps(sf, f.sh);
    const __m256 z = _mm256_mul_ps(_mm256_add_ps(f.z0, cz), f.g);
    __m256 cc[4];
    for (int j = 0; j < 4; ++j) {
        __m256 r = _mm256_add_ps(_mm256_mul_ps(x, f.l2c[j]), _mm256_mul_ps(y, f.l2c[4 + j]));
        r = _mm256_add_ps(r, _mm256_mul_ps(z, f.l2c[8 + j]));
        cc[j] = _mm256_add_ps(r, f.l2c[12 + j]);
    }
    const __m256 w = cc[3], nw = _mm256_xor_ps(cc[3], _mm256_set1_ps(-0.0f));
    __m256i out = _mm256_setzero_si256();
    for (int j = 0; j < 3; ++j) {
        out = _mm256_or_si256(out, _mm256_and_si256(_mm256_castps_si256(_mm256_cmp_ps(cc[j], w, _CMP_GT_OS)),
                                                    _mm256_set1_epi32(1 << j)));
        out = _mm256_or_si256(out, _mm256_and_si256(_mm256_castps_si256(_mm256_cmp_ps(cc[j], nw, _CMP_LT_OS)),
                                                    _mm256_set1_epi32(8 << j)));
    }
    const __m256 dx = _mm256_div_ps(cc[0], w), dy = _mm256_div_ps(cc[1], w);
    const __m256 inv = _mm256_div_ps(one, w);
    const __m256 q0 = _mm256_mul_ps(cc[0], inv), q1 = _mm256_mul_ps(cc[1], inv),
                 q2 = _mm256_mul_ps(cc[2], inv);
    __m256 scr[3];
    for (int j = 0; j < 3; ++j) {
        __m256 r = _mm256_add_ps(_mm256_mul_ps(q0, f.c2s[j]), _mm256_mul_ps(q1, f.c2s[4 + j]));
        r = _mm256_add_ps(r, _mm256_mul_ps(q2, f.c2s[8 + j]));
        scr[j] = _mm256_add_ps(r, f.c2s[12 + j]);
    }
    const __m256 sixteen = _mm256_set1_ps(16.0f);
    const __m256i fx = _mm256_cvtps_epi32(_mm256_mul_ps(scr[0], sixteen));
    const __m256i fy = _mm256_cvtps_epi32(_mm256_mul_ps(scr[1], sixteen));
    const __m256i high = _mm256_and_si256(_mm256_or_si256(fx, fy), _mm256_set1_epi32(int32_t(0xFFFF0000u)));
    const __m256i fits = _mm256_and_si256(_mm256_cmpeq_epi32(high, _mm256_setzero_si256()),
                                          _mm256_cmpeq_epi32(out, _mm256_setzero_si256()));
    __m256 sz = _mm256_and_ps(_mm256_cmp_ps(scr[2], zero, _CMP_GE_OS), scr[2]);
    sz = _mm256_min_ps(sz, _mm256_set1_ps(16777215.0f));
    const __m256i iz = _mm256_cvttps_epi32(sz);
    const __m256 st = _mm256_mul_ps(cx, f.step);
    const __m256 tt = _mm256_mul_ps(cz, f.step);
    const __m256 sq = _mm256_mul_ps(st, inv), tq = _mm256_mul_ps(tt, inv);
    const __m256 repeat = _mm256_set1_ps(kTerrainDetailRepeat);
    const __m256 dsq = _mm256_mul_ps(_mm256_mul_ps(st, repeat), inv);
    const __m256 dtq = _mm256_mul_ps(_mm256_mul_ps(tt, repeat), inv);
    const __m256 fade = _mm256_div_ps(_mm256_sub_ps(_mm256_set1_ps(kTerrainDetailFar), w),
                                      _mm256_set1_ps(0.5f * kTerrainDetailFar));
    __m256 clamped = _mm256_andnot_ps(_mm256_cmp_ps(fade, zero, _CMP_LT_OS), fade);
    const __m256 above = _mm256_cmp_ps(fade, one, _CMP_GT_OS);
    clamped = _mm256_or_ps(_mm256_and_ps(above, one), _mm256_andnot_ps(above, clamped));
    const __m256 alpha = _mm256_mul_ps(_mm256_set1_ps(kTerrainDetailAlpha), clamped);
    for (int h = 0; h < 2; ++h)
        StoreFour(Lanes4{{Half(cc[0], h), Half(cc[1], h), Half(cc[2], h), Half(cc[3], h)},
                         Half(sq, h),
                         Half(tq, h),
                         Half(inv, h),
                         Half(dsq, h),
                         Half(dtq, h),
                         Half(alpha, h),
                         Half(st, h),
                         Half(tt, h),
                         Half(dx, h),
                         Half(dy, h),
                         Half(fx, h),
                         Half(fy, h),
                         Half(iz, h),
                         Half(out, h),
                         Half(fits, h)},
                  f.grey, detail, t + 4 * h);
}

// One grid row eight vertices at a time.
[[gnu::target("avx2")]] void MakeRowEight(const Frame& f, float cz, const uint32_t* samples, bool detail,
                                          TVertex* row) {
    EightFrame b;
    BroadcastEight(f, b);
    for (int c = 0; c < 56; c += 8) {
        alignas(32) float cx[8], czs[8];
        for (int i = 0; i < 8; ++i) {
            cx[i] = float(c + i);
            czs[i] = cz;
        }
        MakeEight(b, cx, czs, samples + c, detail, row + c);
    }
}

uint32_t Sample(const uint32_t* v) {
    return (v[1] & 0xFF) | ((v[3] & 0xFF) << 8);
}

// MakeList eight at a time (past the end, the last vertex again, made into the spare room).
[[gnu::target("avx2")]] void MakeListEight(const Frame& f, const VuMemory& mem, uint32_t qw, uint32_t n,
                                           bool detail, TVertex* t) {
    EightFrame b;
    BroadcastEight(f, b);
    for (uint32_t i = 0; i < n; i += 8) {
        alignas(32) float cx[8], cz[8];
        alignas(32) uint32_t samples[8];
        for (uint32_t l = 0; l < 8; ++l) {
            const uint32_t* v = mem.Qw(qw + (i + l < n ? i + l : n - 1));
            cx[l] = static_cast<float>(v[0]);
            cz[l] = static_cast<float>(v[2]);
            samples[l] = Sample(v);
        }
        MakeEight(b, cx, cz, samples, detail, t + i);
    }
}

bool g_eightAtATime = __builtin_cpu_supports("avx2");
#else
uint32_t Sample(const uint32_t* v) {
    return (v[1] & 0xFF) | ((v[3] & 0xFF) << 8);
}
#endif
#endif

// One grid row of 56 vertices.
void MakeRow(const Frame& f, float cz, const uint32_t* samples, bool detail, TVertex* row) {
#if defined(__SSE2__)
#if defined(QZ_TERRAIN_EIGHT)
    if (g_fourAtATime && g_eightAtATime) {
        MakeRowEight(f, cz, samples, detail, row);
        return;
    }
#endif
    if (g_fourAtATime) {
        FourFrame b;
        Broadcast(f, b);
        for (int c = 0; c < 56; c += 4) {
            const float cx[4] = {float(c), float(c + 1), float(c + 2), float(c + 3)},
                        czs[4] = {cz, cz, cz, cz};
            MakeFour(b, cx, czs, samples + c, detail, row + c);
        }
        return;
    }
#endif
    for (int c = 0; c < 56; ++c) MakeVertex(f, static_cast<float>(c), cz, samples[c], detail, row[c]);
}

// The vertices of quadwords qw .. qw + n - 1 (V4-8: x, yLow, z, yHi) into t, which has room for n
// rounded up to a multiple of eight.
void MakeList(const Frame& f, const VuMemory& mem, uint32_t qw, uint32_t n, bool detail, TVertex* t) {
    uint32_t i = 0;
#if defined(__SSE2__)
#if defined(QZ_TERRAIN_EIGHT)
    if (g_fourAtATime && g_eightAtATime) {
        MakeListEight(f, mem, qw, n, detail, t);
        return;
    }
#endif
    FourFrame b;
    if (g_fourAtATime) Broadcast(f, b);
    if (g_fourAtATime)
        for (; i < n; i += 4) {
            float cx[4], cz[4];
            uint32_t samples[4];
            for (uint32_t l = 0; l < 4; ++l) {
                // Past the end, the last vertex again (made into the spare room).
                const uint32_t* v = mem.Qw(qw + (i + l < n ? i + l : n - 1));
                cx[l] = static_cast<float>(v[0]);
                cz[l] = static_cast<float>(v[2]);
                samples[l] = Sample(v);
            }
            MakeFour(b, cx, cz, samples, detail, t + i);
        }
#endif
    for (; i < n; ++i) {
        const uint32_t* v = mem.Qw(qw + i);
        MakeVertex(f, static_cast<float>(v[0]), static_cast<float>(v[2]), Sample(v), detail, t[i]);
    }
}

// Draws one triangle into `out`, clipped against the frustum (or, without clipping, dropped when any
// corner leaves it). `detail` gives the detail pass's texture scale and alpha.
// Seen from behind (its corners clockwise on the screen once in front of the eye): the ground's
// underside, always hidden by the ground in front of it.
bool BackFacing(const Frame& f, const TVertex& a, const TVertex& b, const TVertex& c) {
    if (!(a.c[3] > 0 && b.c[3] > 0 && c.c[3] > 0)) return false;
    const float ax = a.dx, ay = a.dy, bx = b.dx, by = b.dy, cx = c.dx, cy = c.dy;
    return ((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) * f.c2s[0] * f.c2s[5] <= 0.0f;
}

// Clips a triangle with a corner outside the frustum and draws the pieces (a piece's corner outside the
// GS range drops the whole triangle).
[[gnu::noinline]] void DrawClipped(TriangleOut& out, const Frame& f, const TVertex& a, const TVertex& b,
                                   const TVertex& c, bool detail) {
    OutVertex poly[9];
    poly[0] = Corner(f, a);
    poly[1] = Corner(f, b);
    poly[2] = Corner(f, c);
    if (detail)
        for (int k = 0; k < 3; ++k) DetailVertex(poly[k]);
    const int corners = ClipPolygon(poly, 3);
    if (corners < 3) return;
    float scr[9][4], inv[9];
    for (int k = 0; k < corners; ++k) {
        inv[k] = 1.0f / poly[k].c[3];
        const float q[4] = {poly[k].c[0] * inv[k], poly[k].c[1] * inv[k], poly[k].c[2] * inv[k], 1.0f};
        TransformRow(f.c2s, q, scr[k]);
    }
    const uint32_t before = out.Buffered();
    bool ok = true;
    for (int k = 1; k + 1 < corners && ok; ++k) {
        const int idx[3] = {0, k, k + 1};
        for (int j : idx) ok = ok && out.EmitScreen(scr[j][0], scr[j][1], scr[j][2], inv[j], poly[j]);
    }
    if (!ok) {
        out.Truncate(before);
        return;
    }
    g_drawn += (out.Buffered() - before) / 3;
    if (out.Buffered() >= 3 * 60) out.Flush();
}

// Draws a triangle through the frustum (not wholly outside one plane): as its vertices were made when it
// lies inside, else clipped (or, without clipping, dropped). A corner outside the GS range drops it.
inline void Draw(TriangleOut& out, const Frame& f, const TVertex& a, const TVertex& b, const TVertex& c,
                 bool clip, bool detail) {
    if (!(a.out | b.out | c.out)) {
        if (!(a.fits && b.fits && c.fits)) return;
        if (a.screen & b.screen & c.screen) {
            TriangleOut::CountOutsideWindow();
            return;
        }
        const bool sent =
            detail ? out.EmitPacked(a.detail, b.detail, c.detail) : out.EmitPacked(a.base, b.base, c.base);
        if (sent) {
            ++g_drawn;
            if (out.Buffered() >= 3 * 60) out.Flush();
        }
        return;
    }
    if (clip) DrawClipped(out, f, a, b, c, detail);
}

// Beyond kTerrainDetailFar the detail pass has faded out.
bool BeyondDetail(const TVertex& a, const TVertex& b, const TVertex& c) {
    return a.c[3] > kTerrainDetailFar && b.c[3] > kTerrainDetailFar && c.c[3] > kTerrainDetailFar;
}

// Draws one triangle into `out`, clipped against the frustum (or, without clipping, dropped when any
// corner leaves it). `cull` drops it when seen from behind. The detail pass repeats the texture and
// fades out with depth (beyond kTerrainDetailFar it is not drawn).
void Tri(TriangleOut& out, const Frame& f, const TVertex& a, const TVertex& b, const TVertex& c, bool clip,
         bool detail, bool cull = false) {
    if (a.out & b.out & c.out) return;
    if (detail && BeyondDetail(a, b, c)) return;
    if (cull && BackFacing(f, a, b, c)) return;
    Draw(out, f, a, b, c, clip, detail);
}

}  // namespace

uint64_t TerrainProgram::TrianglesDrawn() {
    return g_drawn;
}

void TerrainProgram::MakeVertices(const VuMemory& mem, const float* cx, const float* cz,
                                  const uint32_t* samples, uint32_t n, bool detail, VertexWords* out) {
    Frame f;
    ReadFrame(mem, f);
    for (uint32_t i = 0; i < n;) {
        TVertex t[8];
        uint32_t k = std::min(4u, n - i);
#if defined(QZ_TERRAIN_EIGHT)
        if (g_fourAtATime && g_eightAtATime && n - i >= 8) {
            k = 8;
            EightFrame b;
            BroadcastEight(f, b);
            MakeEight(b, cx + i, cz + i, samples + i, detail, t);
        } else
#endif
#if defined(__SSE2__)
            if (g_fourAtATime && k == 4) {
            FourFrame b;
            Broadcast(f, b);
            MakeFour(b, cx + i, cz + i, samples + i, detail, t);
        } else
#endif
        {
            for (uint32_t l = 0; l < k; ++l)
                MakeVertex(f, cx[i + l], cz[i + l], samples[i + l], detail, t[l]);
        }
        for (uint32_t l = 0; l < k; ++l) {
            VertexWords& w = out[i + l];
            std::memset(&w, 0, sizeof w);
            std::memcpy(w.c, t[l].c, sizeof w.c);
            w.s = t[l].s;
            w.t = t[l].t;
            w.dx = t[l].dx;
            w.dy = t[l].dy;
            w.out = t[l].out;
            w.fits = t[l].fits;
            // The words are set only for a vertex that fits.
            if (w.fits) std::memcpy(w.base, t[l].base, sizeof w.base);
            if (w.fits && detail) std::memcpy(w.detail, t[l].detail, sizeof w.detail);
        }
        i += k;
    }
}

bool TerrainProgram::EightAtATime(bool on) {
#if defined(QZ_TERRAIN_EIGHT)
    const bool old = g_eightAtATime;
    g_eightAtATime = on && __builtin_cpu_supports("avx2");
    return old;
#else
    (void)on;
    return false;
#endif
}

bool TerrainProgram::FourAtATime(bool on) {
    const bool old = g_fourAtATime;
    g_fourAtATime = on;
    return old;
}

bool TerrainProgram::KeepRows(bool keep) {
    const bool old = g_keepRows;
    g_keepRows = keep;
    return old;
}

void TerrainProgram::Call(VuState& vu, uint32_t) {
    if (kind_ == Kind::FullDetail)
        row_ = 1;  // row 0 is in buffer A
    else if (kind_ == Kind::Seam)
        Seam(vu);
}

void TerrainProgram::Continue(VuState& vu) {
    if (kind_ == Kind::FullDetail)
        FullDetailRows(vu);
    else if (kind_ == Kind::LowDetail)
        LowDetail(vu);
    else
        Seam(vu);
}

// The grid rows of the last MSCNT: the lower row serves as the next call's upper row when that row is
// the same data (its samples, row number and the frame's parameters), as it is within one subtile.
struct TerrainProgram::Rows {
    TVertex row[2][56];
    int lower = 0;  // which of the two holds the row kept
    bool kept = false;
    uint32_t keptRow = 0;
    uint32_t samples[56];
    VertexParams params;
};

namespace {

// One set for each full-detail program (with and without clipping). Static: the heap is the game's.
TerrainProgram::Rows g_rows[2];
// The vertices of low-detail strips, or of a seam's two borders (at 0 and 64); room for eight at a time.
TVertex g_list[kTerrainMaxLowDetailVerts + 8];
static_assert(kTerrainMaxLowDetailVerts + 8 >= 128, "a seam's two borders, each made in eights");

}  // namespace

namespace {

// Rows r - 1 and r made (`up` and `dn` their samples) into `rows`; row r - 1 taken from the last call
// when that kept it. Returns where row r - 1 lies in rows.row (row r is in the other).
int MakeRows(TerrainProgram::Rows& rows, const Frame& f, uint32_t r, const uint32_t* up, const uint32_t* dn,
             bool detail) {
    const bool reuse =
        g_keepRows && rows.kept && rows.keptRow == r - 1 &&
        std::memcmp(rows.samples, up, sizeof rows.samples) == 0 &&
        std::memcmp(&rows.params, static_cast<const VertexParams*>(&f), sizeof rows.params) == 0;
    const int upper = reuse ? rows.lower : 0;
    rows.kept = false;
    if (!reuse) MakeRow(f, static_cast<float>(r - 1), up, detail, rows.row[upper]);
    MakeRow(f, static_cast<float>(r), dn, detail, rows.row[1 - upper]);
    rows.kept = true;
    rows.lower = 1 - upper;
    rows.keptRow = r;
    std::memcpy(rows.samples, dn, sizeof rows.samples);
    rows.params = f;
    return upper;
}

// The cells' triangles between rows a and b that reach into the frustum and face the eye, found once
// for both passes (the cells' diagonals alternate with the row: `even`). Returns how many.
int FacingTriangles(const Frame& f, const TVertex* a, const TVertex* b, bool even, const TVertex* tris[][3]) {
    int n = 0;
    auto add = [&](const TVertex& p, const TVertex& q, const TVertex& s) {
        if ((p.out & q.out & s.out) || BackFacing(f, p, q, s)) return;
        tris[n][0] = &p;
        tris[n][1] = &q;
        tris[n][2] = &s;
        ++n;
    };
    for (int c = 0; c < 55; ++c) {
        if (even) {
            add(a[c], b[c], a[c + 1]);
            add(a[c + 1], b[c], b[c + 1]);
        } else {
            add(a[c], b[c], b[c + 1]);
            add(a[c], b[c + 1], a[c + 1]);
        }
    }
    return n;
}

// The n triangles sent in the base pass and, with the detail pass, in the detail pass; those reaching
// past the frustum clipped (when the program clips).
void SendPasses(const Frame& f, TVertex* a, TVertex* b, const TVertex* const tris[][3], int n, bool clip,
                bool detail) {
    // What became of each unclipped triangle in the base pass: the detail pass takes it over when its
    // window is the base pass's (the two passes' vertices have the same positions).
    enum : uint8_t { kNotSent, kSent, kOutsideWindow };
    uint8_t verdict[110];
    std::array<int32_t, 7> baseWindow{};
    for (int pass = 0; pass < (detail ? 2 : 1); ++pass) {
        TriangleOut out(pass == 0 ? f.base : f.detail);
        const bool again = pass == 1 && out.Window() == baseWindow;
        if (pass == 0) baseWindow = out.Window();
        // The corners' sides of this pass's window, so that a triangle wholly off one side goes at once.
        if (!again)
            for (TVertex* row : {a, b})
                for (int c = 0; c < 56; ++c)
                    row[c].screen = out.ScreenCode(row[c].base) & -uint32_t(row[c].fits);
        for (int k = 0; k < n; ++k) {
            const TVertex &p = *tris[k][0], &q = *tris[k][1], &s = *tris[k][2];
            if (pass == 1 && BeyondDetail(p, q, s)) continue;
            if (p.out | q.out | s.out) {
                if (clip) DrawClipped(out, f, p, q, s, pass == 1);
                continue;
            }
            uint8_t v;
            if (again)
                v = verdict[k];
            else if (!(p.fits && q.fits && s.fits))
                v = kNotSent;  // a corner outside the GS range
            else if ((p.screen & q.screen & s.screen) ||
                     (out.Windowed() && !out.CanDraw(p.base, q.base, s.base)))
                v = kOutsideWindow;
            else
                v = kSent;
            if (pass == 0) verdict[k] = v;
            if (v == kSent) {
                if (pass == 0)
                    out.AppendPacked(p.base, q.base, s.base);
                else
                    out.AppendPacked(p.detail, q.detail, s.detail);
                ++g_drawn;
                if (out.Buffered() >= 3 * 60) out.Flush();
            } else if (v == kOutsideWindow) {
                TriangleOut::CountOutsideWindow();
            }
        }
    }
}

}  // namespace

void TerrainProgram::FullDetailRows(VuState& vu) {
    const VuMemory& mem = *vu.mem;
    if (row_ == 0 || row_ > 55) return;
    Frame f;
    ReadFrame(mem, f);
    const uint32_t r = row_++;
    const uint32_t* up = mem.Qw((r - 1) & 1 ? kTerrainRowB : kTerrainRowA);
    const uint32_t* dn = mem.Qw(r & 1 ? kTerrainRowB : kTerrainRowA);
    Rows& rows = g_rows[clip_ ? 1 : 0];
    const int upper = MakeRows(rows, f, r, up, dn, detail_);
    TVertex* a = rows.row[upper];
    TVertex* b = rows.row[1 - upper];
    const TVertex* tris[110][3];
    const int n = FacingTriangles(f, a, b, ((r - 1) & 1) == 0, tris);
    SendPasses(f, a, b, tris, n, clip_, detail_);
}

void TerrainProgram::LowDetail(VuState& vu) {
    const VuMemory& mem = *vu.mem;
    Frame f;
    ReadFrame(mem, f);
    const uint32_t m = mem.Qw(kTerrainLowDetailAt)[0];
    // The strips' vertices lie one after another: made all at once first.
    uint32_t total = 0;
    for (uint32_t s = 0; s < m && s < 60; ++s) {
        const uint32_t n = mem.Qw(kTerrainLowDetailAt + 1 + s)[0] & 0x7FFF;
        if (total + n > kTerrainMaxLowDetailVerts) break;
        total += n;
    }
    TVertex* w = g_list;
    MakeList(f, mem, kTerrainLowDetailVertsAt, total, false, w);
    uint32_t at = 0;
    TriangleOut out(f.base);
    for (uint32_t s = 0; s < m && s < 60; ++s) {
        const uint32_t n = mem.Qw(kTerrainLowDetailAt + 1 + s)[0] & 0x7FFF;
        if (at + n > kTerrainMaxLowDetailVerts) break;
        for (uint32_t i = 2; i < n; ++i) {
            // Strip order: keep every triangle turning the same way.
            const TVertex& p = w[at + i - 2];
            const TVertex& q = w[at + i - 1];
            if (i & 1)
                Tri(out, f, q, p, w[at + i], clip_, false, true);
            else
                Tri(out, f, p, q, w[at + i], clip_, false, true);
        }
        at += n;
    }
}

void TerrainProgram::Seam(VuState& vu) {
    const VuMemory& mem = *vu.mem;
    Frame f;
    ReadFrame(mem, f);
    const bool lower = mem.Qw(kTerrainParamsAt + 3)[1] == 1;
    const uint32_t na = mem.Qw(kTerrainOwnStripAt)[0], nb = mem.Qw(kTerrainOtherStripAt)[0];
    if (na < 1 || nb < 1 || na > 60 || nb > 60 || na + nb < 3) return;
    // Both borders' vertices, made once for both passes.
    TVertex* own = g_list;
    TVertex* other = g_list + 64;
    MakeList(f, mem, kTerrainOwnStripAt + 1, na, detail_, own);
    MakeList(f, mem, kTerrainOtherStripAt + 1, nb, detail_, other);
    auto key = [&](uint32_t at, uint32_t i) {
        const uint32_t* v = mem.Qw(at + 1 + i);
        return lower ? v[0] : v[2];
    };
    for (int pass = 0; pass < (detail_ ? 2 : 1); ++pass) {
        TriangleOut out(pass == 0 ? f.base : f.detail);
        uint32_t i = 0, j = 0;
        const TVertex* a = &own[0];
        const TVertex* b = &other[0];
        // Walk both borders in order: the list whose next vertex comes first advances.
        while (i + 1 < na || j + 1 < nb) {
            const bool mine = j + 1 >= nb || (i + 1 < na && key(kTerrainOwnStripAt, i + 1) <=
                                                                key(kTerrainOtherStripAt, j + 1));
            const TVertex* n = mine ? &own[++i] : &other[++j];
            if (lower)
                Tri(out, f, *a, *b, *n, clip_, pass == 1);
            else
                Tri(out, f, *a, *n, *b, clip_, pass == 1);
            (mine ? a : b) = n;
        }
    }
}

void RegisterTerrainPrograms() {
    using K = TerrainProgram::Kind;
    static TerrainProgram programs[] = {
        TerrainProgram("vu1TerrainStitching0", K::Seam, false, false),
        TerrainProgram("vu1TerrainLod0ClipNew", K::FullDetail, true, true),
        TerrainProgram("vu1TerrainLod0New", K::FullDetail, false, true),
        TerrainProgram("vu1TerrainLod1New", K::LowDetail, false, false),
        TerrainProgram("vu1TerrainLod1CullNew", K::LowDetail, false, false),
        TerrainProgram("vu1TerrainLod1ClipNew", K::LowDetail, true, false),
        TerrainProgram("vu1TerrainLod1Clip", K::LowDetail, true, false),
        TerrainProgram("vu1TerrainLod1ClipMultiTexture", K::LowDetail, true, false),
        TerrainProgram("vu1TerrainStitchingCull", K::Seam, true, false),
        TerrainProgram("vu1TerrainStitchingMultiTexture", K::Seam, true, true),
    };
    const uint32_t ids[] = {kProgTerrainStitching0,    kProgTerrainLod0ClipNew,
                            kProgTerrainLod0New,       kProgTerrainLod1New,
                            kProgTerrainLod1CullNew,   kProgTerrainLod1ClipNew,
                            kProgTerrainLod1Clip,      kProgTerrainLod1ClipMultiTexture,
                            kProgTerrainStitchingCull, kProgTerrainStitchingMultiTexture};
    for (size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i)
        console::vu::RegisterMicroprogram(ids[i], &programs[i]);
}

}  // namespace engine::vu1
