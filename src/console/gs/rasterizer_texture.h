// Texturing: texel fetch and filtering, scalar (the general path and the vector span's tail) and four
// pixels at a time (the vector span). Both give the same texel for the same coordinates.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "console/gs/rasterizer_internal.h"

namespace console::gs::raster {

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

// Bilinear blend of four RGBA texels with 8-bit weights, two channels at a time in 16-bit lanes.
inline uint32_t Bilerp(uint32_t c00, uint32_t c10, uint32_t c01, uint32_t c11, uint32_t fu, uint32_t fv) {
    auto spread = [](uint32_t c) { return uint64_t(c & 0x00FF00FFu) | (uint64_t(c & 0xFF00FF00u) << 24); };
    const uint64_t mask8 = 0x00FF00FF00FF00FFull;
    const uint64_t top = (spread(c00) * (256 - fu) + spread(c10) * fu) >> 8 & mask8;
    const uint64_t bot = (spread(c01) * (256 - fu) + spread(c11) * fu) >> 8 & mask8;
    const uint64_t mix = ((top * (256 - fv) + bot * fv) >> 8) & mask8;
    return uint32_t(mix & 0x00FF00FFu) | uint32_t((mix >> 24) & 0xFF00FF00u);
}

// The texel at integer coordinates (u, v), wrapped by the state's modes, as RGBA.
inline uint32_t Texel(const uint8_t* m, const DrawState& st, int u, int v) {
    const uint32_t w = 1u << st.tw, h = 1u << st.th;
    u = WrapCoord(u, st.wms, w, st.minu, st.maxu);
    v = WrapCoord(v, st.wmt, h, st.minv, st.maxv);
    const uint32_t index = uint32_t(v) * st.tbw * 64u + uint32_t(u);
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

// The filtered texel at texel coordinates (u, v).
inline uint32_t SampleTexture(const uint8_t* m, const DrawState& st, float u, float v) {
    if (!st.bilinearMag) {
        return Texel(m, st, ToFix8(u) >> 8, ToFix8(v) >> 8);
    }
    const int32_t uf = ToFix8(u - 0.5f), vf = ToFix8(v - 0.5f);
    const int u0 = uf >> 8, v0 = vf >> 8;
    const uint32_t fu = uint32_t(uf & 255), fv = uint32_t(vf & 255);
    return Bilerp(Texel(m, st, u0, v0), Texel(m, st, u0 + 1, v0), Texel(m, st, u0, v0 + 1),
                  Texel(m, st, u0 + 1, v0 + 1), fu, fv);
}

// The texture function: the texel tc combined with the fragment colour (cr, cg, cb, ca).
QZ_INLINE inline void ApplyTextureFunction(const DrawState& st, uint32_t tc, int& cr, int& cg, int& cb,
                                           int& ca) {
    const int tr = int(tc & 255), tg = int((tc >> 8) & 255), tb = int((tc >> 16) & 255), ta = int(tc >> 24);
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

// Texturing for the vector span (32-bit or 8-bit-palette textures, repeat or clamp, nearest or bilinear,
// perspective or texel coordinates), set up once per primitive. Four pixels at a time, plus the same
// arithmetic for one pixel (the span's scalar tail).
template <bool kTexture, bool kBilinear, bool kPersp>
struct VectorTexture {
    const DrawState& st;
    const uint8_t* m;
    const uint8_t* texBytes;
    float ds = 0, dt = 0, dq = 0, tw, th;
    // Repeat and clamp as one clamp-then-mask step.
    int umin, umax, umask, vmin, vmax, vmask;
    uint32_t tstride;
    bool t8, clampUV, texDirect, qConst;
    // The texels come from the state's expansion of its palette texture (texBytes points at it).
    bool expanded;
    __m128i wrapMin, wrapMax, wrapMask, strideOne;
    __m128 vds, vdt, vdq, vtw, vth, vtw256, vth256;

    // The coordinates of a row: s, t, q at its first pixel.
    struct Row {
        __m128 vs, vt, vq, viq;
        bool iqOne;
    };

    // `sc`: the state's constants (Rasterizer::SpanConsts): wrap bounds, texture size, the (1, stride) pair.
    template <class Consts>
    QZ_INLINE VectorTexture(const DrawState& state, const Rasterizer::Planes& p, const uint8_t* mem,
                            const Consts& sc)
        : st(state),
          m(mem),
          texBytes(state.texels32 ? reinterpret_cast<const uint8_t*>(state.texels32)
                                  : mem + (state.tBase & kMask)),
          expanded(state.texels32 != nullptr) {
        if (kTexture) {
            ds = float(p.s.dx);
            dt = float(p.t.dx);
            dq = float(p.q.dx);
        }
        tw = kPersp ? sc.texW : 1.0f;
        th = kPersp ? sc.texH : 1.0f;
        umin = sc.umin;
        umax = sc.umax;
        umask = sc.umask;
        vmin = sc.vmin;
        vmax = sc.vmax;
        vmask = sc.vmask;
        tstride = st.tbw * 64u;
        // An expanded palette texture reads as a 32-bit one, every texel inside its buffer.
        t8 = st.tpsm == kPsmT8 && !expanded;
        wrapMin = _mm_load_si128(reinterpret_cast<const __m128i*>(sc.wrapMin));
        wrapMax = _mm_load_si128(reinterpret_cast<const __m128i*>(sc.wrapMax));
        wrapMask = _mm_load_si128(reinterpret_cast<const __m128i*>(sc.wrapMask));
        clampUV = sc.clampUV;
        texDirect = sc.texDirect || expanded;
        const int32_t strideOnePair = sc.strideOne;
        strideOne = _mm_set1_epi32(strideOnePair);
        vds = _mm_set1_ps(ds);
        vdt = _mm_set1_ps(dt);
        vdq = _mm_set1_ps(dq);
        vtw = _mm_set1_ps(tw);
        vth = _mm_set1_ps(th);
        // The texture sizes and 256 are powers of two: (x * size) clamped to +-16384 then times 256 is x
        // times (size * 256) clamped to +-16384 * 256, bit for bit (no rounding either way, overflow and NaN
        // alike).
        vtw256 = _mm_set1_ps(tw * 256.0f);
        vth256 = _mm_set1_ps(th * 256.0f);
        // q constant along the rows (dq is zero): q + i * dq is q for every pixel of a row, so 1 / q is too.
        qConst = dq == 0.0f;
#if defined(QZ_SPANS_8WIDE)
        wrapMin8 = _mm256_broadcastsi128_si256(wrapMin);
        wrapMax8 = _mm256_broadcastsi128_si256(wrapMax);
        wrapMask8 = _mm256_broadcastsi128_si256(wrapMask);
        strideOne8 = _mm256_set1_epi32(strideOnePair);
        vds8 = _mm256_set1_ps(ds);
        vdt8 = _mm256_set1_ps(dt);
        vdq8 = _mm256_set1_ps(dq);
        vtw8 = _mm256_set1_ps(tw);
        vth8 = _mm256_set1_ps(th);
        vtw2568 = _mm256_set1_ps(tw * 256.0f);
        vth2568 = _mm256_set1_ps(th * 256.0f);
#endif
    }

    QZ_INLINE Row AtRow(float s, float t, float q) const {
        Row r;
        r.vs = _mm_set1_ps(s);
        r.vt = _mm_set1_ps(t);
        r.vq = _mm_set1_ps(q);
        // One reciprocal for the row when q does not change along it (otherwise each pixel has its own).
        const float iqRow = kPersp && qConst && q != 0.0f ? 1.0f / q : 0.0f;
        r.viq = _mm_set1_ps(iqRow);
        // x * 1 is x.
        r.iqOne = qConst && iqRow == 1.0f;
        return r;
    }

    static QZ_INLINE __m128i ToFix8x4(__m128 x) {
        x = _mm_max_ps(x, _mm_set1_ps(-16384.0f));  // NaN takes the lower bound, as in ToFix8
        x = _mm_min_ps(x, _mm_set1_ps(16384.0f));
        const __m128 biased = _mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(256.0f)), _mm_set1_ps(8388608.0f));
        return _mm_sub_epi32(_mm_cvttps_epi32(biased), _mm_set1_epi32(8388608));
    }
    // ToFix8x4 of x / 256 for x already scaled by 256.
    static QZ_INLINE __m128i ToFix8x4Scaled(__m128 x) {
        x = _mm_max_ps(x, _mm_set1_ps(-16384.0f * 256.0f));  // NaN takes the lower bound, as in ToFix8
        x = _mm_min_ps(x, _mm_set1_ps(16384.0f * 256.0f));
        return _mm_sub_epi32(_mm_cvttps_epi32(_mm_add_ps(x, _mm_set1_ps(8388608.0f))),
                             _mm_set1_epi32(8388608));
    }

    // Texel coordinates of the pixels at lane offsets fi from the row start, 8 fraction bits, already moved
    // by half a texel for bilinear filtering.
    QZ_INLINE void Coords(const Row& r, __m128 fi, __m128i* uq, __m128i* vq8) const {
        __m128 u = _mm_add_ps(r.vs, _mm_mul_ps(fi, vds));
        __m128 v = _mm_add_ps(r.vt, _mm_mul_ps(fi, vdt));
        if (kPersp) {
            __m128 iq = r.viq;
            if (!qConst) {
                const __m128 qi = _mm_add_ps(r.vq, _mm_mul_ps(fi, vdq));
                iq = _mm_and_ps(_mm_cmpneq_ps(qi, _mm_setzero_ps()), _mm_div_ps(_mm_set1_ps(1.0f), qi));
            }
            if (!r.iqOne) {
                u = _mm_mul_ps(u, iq);
                v = _mm_mul_ps(v, iq);
            }
            if (kBilinear) {
                // (x * size - 0.5) * 256 is x * (size * 256) - 128 bit for bit (powers of two: the same
                // roundings scaled), and the clamp scales with it.
                *uq = ToFix8x4Scaled(_mm_sub_ps(_mm_mul_ps(u, vtw256), _mm_set1_ps(128.0f)));
                *vq8 = ToFix8x4Scaled(_mm_sub_ps(_mm_mul_ps(v, vth256), _mm_set1_ps(128.0f)));
            } else {
                // Nearest: the texture size and the 256 of the fixed point in one multiply.
                *uq = ToFix8x4Scaled(_mm_mul_ps(u, vtw256));
                *vq8 = ToFix8x4Scaled(_mm_mul_ps(v, vth256));
            }
        } else {
            if (kBilinear) {
                u = _mm_sub_ps(u, _mm_set1_ps(0.5f));
                v = _mm_sub_ps(v, _mm_set1_ps(0.5f));
            }
            *uq = ToFix8x4(u);
            *vq8 = ToFix8x4(v);
        }
    }

    QZ_INLINE __m128i Wrap(__m128i uv) const {
        if (clampUV) uv = _mm_min_epi16(_mm_max_epi16(uv, wrapMin), wrapMax);
        return _mm_and_si128(uv, wrapMask);
    }
    // Texel indices of four pixels from wrapped (u 0-3, v 4-7) lanes.
    QZ_INLINE __m128i IndexOf(__m128i uvw) const {
        return _mm_madd_epi16(_mm_unpacklo_epi16(uvw, _mm_srli_si128(uvw, 8)), strideOne);
    }

    // Texels at four indices, built from registers: four small stores read back as one vector would stall.
    // kC: the state is known to be the span's common one (32-bit texels addressed directly).
    template <bool kC>
    QZ_INLINE __m128i Gather(__m128i idx) const {
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
    }

    // Horizontal texel pairs at four indices: the texel at each index and its right-hand neighbour.
    QZ_INLINE void PairsAt(__m128i idx, __m128i* left, __m128i* right) const {
        const uint64_t lo = uint64_t(_mm_cvtsi128_si64(idx)),
                       hi = uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(idx, idx)));
        auto at = [&](uint64_t k) QZ_INLINE {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texBytes + size_t(k) * 4));
        };
        const __m128 x = _mm_castsi128_ps(_mm_unpacklo_epi64(at(uint32_t(lo)), at(lo >> 32)));
        const __m128 y = _mm_castsi128_ps(_mm_unpacklo_epi64(at(uint32_t(hi)), at(hi >> 32)));
        *left = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(2, 0, 2, 0)));
        *right = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(3, 1, 3, 1)));
    }

    // Bilinear texels of four pixels as 16-bit channel lanes, pixels 0-1 in *tlo and 2-3 in *thi.
    template <bool kC>
    QZ_INLINE void Bilinear(__m128i uq, __m128i vq8, __m128i uv0, __m128i* tlo, __m128i* thi) const {
        const __m128i zero = _mm_setzero_si128();
        const __m128i one16 = _mm_set1_epi16(1);
        const __m128i w0 = Wrap(uv0), w1 = Wrap(_mm_add_epi16(uv0, one16));
        __m128i c00, c10, c01, c11;
        // When u + 1 wraps to the next texel in memory for all four pixels (the usual case), each pair of
        // horizontal neighbours is one 8-byte load.
        const bool pairs = (kC || (texDirect && !t8)) &&
                           (_mm_movemask_epi8(_mm_cmpeq_epi16(w1, _mm_add_epi16(w0, one16))) & 0xFF) == 0xFF;
        if (pairs) {
            PairsAt(IndexOf(w0), &c00, &c10);
            PairsAt(IndexOf(_mm_unpacklo_epi64(w0, _mm_srli_si128(w1, 8))), &c01, &c11);  // u, v + 1
        } else {
            c00 = Gather<kC>(IndexOf(w0));
            c11 = Gather<kC>(IndexOf(w1));
            c10 = Gather<kC>(IndexOf(_mm_unpacklo_epi64(w1, _mm_srli_si128(w0, 8))));  // u + 1, v
            c01 = Gather<kC>(IndexOf(_mm_unpacklo_epi64(w0, _mm_srli_si128(w1, 8))));  // u, v + 1
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
                _mm_add_epi16(_mm_mullo_epi16(a0v, _mm_sub_epi16(w256, f)), _mm_mullo_epi16(b0v, f)), 8);
        };
        *tlo = lerp(lerp(_mm_unpacklo_epi8(c00, zero), _mm_unpacklo_epi8(c10, zero), fuLo),
                    lerp(_mm_unpacklo_epi8(c01, zero), _mm_unpacklo_epi8(c11, zero), fuLo), fvLo);
        *thi = lerp(lerp(_mm_unpackhi_epi8(c00, zero), _mm_unpackhi_epi8(c10, zero), fuHi),
                    lerp(_mm_unpackhi_epi8(c01, zero), _mm_unpackhi_epi8(c11, zero), fuHi), fvHi);
    }

    // Texels of the four pixels at lane offsets fi of the row, as 16-bit channel lanes, pixels 0-1 in *tlo
    // and 2-3 in *thi.
    template <bool kC>
    QZ_INLINE void Texels(const Row& r, __m128 fi, __m128i* tlo, __m128i* thi) const {
        __m128i uq, vq8;
        Coords(r, fi, &uq, &vq8);
        const __m128i uv0 = _mm_packs_epi32(_mm_srai_epi32(uq, 8), _mm_srai_epi32(vq8, 8));
        if (!kBilinear) {
            const __m128i tv = Gather<kC>(IndexOf(Wrap(uv0)));
            *tlo = _mm_unpacklo_epi8(tv, _mm_setzero_si128());
            *thi = _mm_unpackhi_epi8(tv, _mm_setzero_si128());
        } else {
            Bilinear<kC>(uq, vq8, uv0, tlo, thi);
        }
    }

#if defined(QZ_SPANS_8WIDE)
    // Eight pixels a step (the AVX2 spans): lane for lane the arithmetic above, pixels 0-3 in the low
    // 128-bit half and 4-7 in the high one, and the 16-bit channel lanes of pixels 0-1 and 4-5 in one
    // register, 2-3 and 6-7 in the other.
    __m256i wrapMin8, wrapMax8, wrapMask8, strideOne8;
    __m256 vds8, vdt8, vdq8, vtw8, vth8, vtw2568, vth2568;

    // The four texels of the primitive's last one-square step (see Bilinear8), ready for its filter, and
    // the integer coordinates of its first pixel as they go to Wrap8 (key; all ones before the first such
    // step), which with the state name the texels. Kept only for expanded palette textures, which no pixel
    // write reaches: the same coordinates give the same texels all through the primitive.
    struct Square8 {
        uint32_t key = ~0u;
        // The left texels as 16-bit channel lanes, and twice the right less the left (see LerpBy).
        __m256i top{}, bottom{}, topStep{}, bottomStep{};
    };
    mutable Square8 square;
    struct Row8 {
        __m256 vs, vt, vq, viq;
        bool iqOne;
        // Every pixel's texel coordinates (times 256) lie in [0, 16384 * 256): see AtRow8.
        bool plain;
    };
    // The coordinates of a row of n pixels. Where q is the same along the row, each coordinate is a
    // monotonic function of the pixel index (rounding keeps the order of a product by a constant and of a
    // sum), so the row's first and last pixels bound all of them. When those lie in [0, 16384) texels, no
    // pixel needs the clamp to the fixed-point range, and rounding to the nearest whole 1/256 (what adding
    // and taking off 2^23 does to a coordinate that is not negative) is one conversion. kQRow: q is the same
    // along every row of the primitive (or there is no q); otherwise no row is plain.
    template <bool kQRow>
    QZ_INLINE Row8 AtRow8(const Row& r, int n) const {
        Row8 out{_mm256_broadcastss_ps(r.vs),
                 _mm256_broadcastss_ps(r.vt),
                 _mm256_broadcastss_ps(r.vq),
                 _mm256_broadcastss_ps(r.viq),
                 r.iqOne,
                 false};
        if (kTexture && kQRow) {
            const float s = _mm_cvtss_f32(r.vs), t = _mm_cvtss_f32(r.vt), iq = _mm_cvtss_f32(r.viq);
            // As Coords8 works out lane i, before the conversion.
            auto at = [&](float c, float d, float size256, float i) {
                float x = c + i * d;
                if (kPersp) {
                    if (!r.iqOne) x = x * iq;
                    x = x * size256;
                    if (kBilinear) x = x - 128.0f;
                } else {
                    if (kBilinear) x = x - 0.5f;
                    x = x * 256.0f;
                }
                return x >= 0.0f && x < 16384.0f * 256.0f;
            };
            const float last = float(n - 1);
            out.plain = at(s, ds, tw * 256.0f, 0.0f) && at(s, ds, tw * 256.0f, last) &&
                        at(t, dt, th * 256.0f, 0.0f) && at(t, dt, th * 256.0f, last);
        }
        return out;
    }
    // ToFix8x4 and ToFix8x4Scaled plus 2^23: positive (2^22 to 3 * 2^22), the same low eight bits.
    static QZ_INLINE __m256i ToFix8x8Biased(__m256 x) {
        x = _mm256_max_ps(x, _mm256_set1_ps(-16384.0f));
        x = _mm256_min_ps(x, _mm256_set1_ps(16384.0f));
        return _mm256_cvttps_epi32(
            _mm256_add_ps(_mm256_mul_ps(x, _mm256_set1_ps(256.0f)), _mm256_set1_ps(8388608.0f)));
    }
    static QZ_INLINE __m256i ToFix8x8ScaledBiased(__m256 x) {
        x = _mm256_max_ps(x, _mm256_set1_ps(-16384.0f * 256.0f));
        x = _mm256_min_ps(x, _mm256_set1_ps(16384.0f * 256.0f));
        return _mm256_cvttps_epi32(_mm256_add_ps(x, _mm256_set1_ps(8388608.0f)));
    }
    // Coords's texel coordinates plus 2^23 (see ToFix8x8Biased), or as they are in a plain row (see AtRow8).
    template <bool kQRow>
    QZ_INLINE void Coords8(const Row8& r, __m256 fi, __m256i* uq, __m256i* vq8) const {
        __m256 u = _mm256_add_ps(r.vs, _mm256_mul_ps(fi, vds8));
        __m256 v = _mm256_add_ps(r.vt, _mm256_mul_ps(fi, vdt8));
        if (kPersp) {
            __m256 iq = r.viq;
            if (!kQRow && !qConst) {
                const __m256 qi = _mm256_add_ps(r.vq, _mm256_mul_ps(fi, vdq8));
                iq = _mm256_and_ps(_mm256_cmp_ps(qi, _mm256_setzero_ps(), _CMP_NEQ_UQ),
                                   _mm256_div_ps(_mm256_set1_ps(1.0f), qi));
            }
            if (!r.iqOne) {
                u = _mm256_mul_ps(u, iq);
                v = _mm256_mul_ps(v, iq);
            }
            u = _mm256_mul_ps(u, vtw2568);
            v = _mm256_mul_ps(v, vth2568);
            if (kBilinear) {
                u = _mm256_sub_ps(u, _mm256_set1_ps(128.0f));
                v = _mm256_sub_ps(v, _mm256_set1_ps(128.0f));
            }
            if (kQRow && r.plain) {
                *uq = _mm256_cvtps_epi32(u);
                *vq8 = _mm256_cvtps_epi32(v);
            } else {
                *uq = ToFix8x8ScaledBiased(u);
                *vq8 = ToFix8x8ScaledBiased(v);
            }
        } else {
            if (kBilinear) {
                u = _mm256_sub_ps(u, _mm256_set1_ps(0.5f));
                v = _mm256_sub_ps(v, _mm256_set1_ps(0.5f));
            }
            if (kQRow && r.plain) {
                *uq = _mm256_cvtps_epi32(_mm256_mul_ps(u, _mm256_set1_ps(256.0f)));
                *vq8 = _mm256_cvtps_epi32(_mm256_mul_ps(v, _mm256_set1_ps(256.0f)));
            } else {
                *uq = ToFix8x8Biased(u);
                *vq8 = ToFix8x8Biased(v);
            }
        }
    }
    QZ_INLINE __m256i Wrap8(__m256i uv) const {
        if (clampUV) uv = _mm256_min_epi16(_mm256_max_epi16(uv, wrapMin8), wrapMax8);
        return _mm256_and_si256(uv, wrapMask8);
    }
    QZ_INLINE __m256i IndexOf8(__m256i uvw) const {
        return _mm256_madd_epi16(_mm256_unpacklo_epi16(uvw, _mm256_srli_si256(uvw, 8)), strideOne8);
    }
    // kHalf (here and below): pixels 0-3 only, the high halves left zero (a row's last four pixels or
    // fewer: half the texels fetched).
    template <bool kC, bool kHalf = false>
    QZ_INLINE __m256i Gather8(__m256i idx) const {
        if constexpr (kHalf) return _mm256_zextsi128_si256(Gather<kC>(_mm256_castsi256_si128(idx)));
        return _mm256_set_m128i(Gather<kC>(_mm256_extracti128_si256(idx, 1)),
                                Gather<kC>(_mm256_castsi256_si128(idx)));
    }
    template <bool kHalf = false>
    QZ_INLINE void PairsAt8(__m256i idx, __m256i* left, __m256i* right) const {
        __m128i l0, r0, l1, r1;
        PairsAt(_mm256_castsi256_si128(idx), &l0, &r0);
        if constexpr (kHalf) {
            *left = _mm256_zextsi128_si256(l0);
            *right = _mm256_zextsi128_si256(r0);
            return;
        }
        PairsAt(_mm256_extracti128_si256(idx, 1), &l1, &r1);
        *left = _mm256_set_m128i(l1, l0);
        *right = _mm256_set_m128i(r1, r0);
    }
    // The low bytes of the 32-bit lanes (weights of 0-255) spread over the four 16-bit channel lanes of
    // their pixel: pixels 0-1 and 4-5 in *lo, 2-3 and 6-7 in *hi.
    static QZ_INLINE void Spread8(__m256i f32, __m256i* lo, __m256i* hi) {
        const __m256i toLo = _mm256_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 4, -1, 4, -1, 4, -1, 4, -1, 0, -1,
                                              0, -1, 0, -1, 0, -1, 4, -1, 4, -1, 4, -1, 4, -1);
        const __m256i toHi = _mm256_setr_epi8(8, -1, 8, -1, 8, -1, 8, -1, 12, -1, 12, -1, 12, -1, 12, -1, 8,
                                              -1, 8, -1, 8, -1, 8, -1, 12, -1, 12, -1, 12, -1, 12, -1);
        *lo = _mm256_shuffle_epi8(f32, toLo);
        *hi = _mm256_shuffle_epi8(f32, toHi);
    }
    // Lerp8's (a * (256 - f) + b * f) >> 8 as a + floor((b - a) * f / 256) (256 * a divides by 256 exactly),
    // the product taken as the high half of 2 * (b - a) times 128 * f: `step` is 2 * (b - a) and `f7` is
    // f * 128, both within 16 bits. One multiply, and a step kept from one pixel group to the next.
    static QZ_INLINE __m256i LerpBy(__m256i a, __m256i step, __m256i f7) {
        return _mm256_add_epi16(a, _mm256_mulhi_epi16(step, f7));
    }
    static QZ_INLINE __m256i Twice(__m256i v) {
        return _mm256_add_epi16(v, v);
    }
    // (a * (256 - f) + b * f) >> 8.
    static QZ_INLINE __m256i Lerp8(__m256i a, __m256i b, __m256i f) {
        return _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(a, _mm256_sub_epi16(_mm256_set1_epi16(256), f)),
                             _mm256_mullo_epi16(b, f)),
            8);
    }
    template <bool kC, bool kHalf = false>
    QZ_INLINE void Bilinear8(__m256i uq, __m256i vq8, __m256i uv0, __m256i* tlo, __m256i* thi) const {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i one16 = _mm256_set1_epi16(1);
        const __m256i w0 = Wrap8(uv0), w1 = Wrap8(_mm256_add_epi16(uv0, one16));
        __m256i c00, c10, c01, c11;
        // (The u lanes of each half; of the low half only when kHalf.)
        const uint32_t uLanes = kHalf ? 0xFFu : 0x00FF00FFu;
        // A magnified texture (the sky, the ground near the eye) often has every pixel of the step inside
        // one square of four texels: equal integer coordinates, so equal wrapped ones. Those four texels
        // are then fetched once and spread over the lanes.
        const __m256i firstPixel = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 8, 9, 8, 9, 8, 9, 8, 9, 0, 1, 0,
                                                    1, 0, 1, 0, 1, 8, 9, 8, 9, 8, 9, 8, 9);
        const __m256i firstHalf = _mm256_shuffle_epi8(uv0, firstPixel);
        const __m256i first = _mm256_permute2x128_si256(firstHalf, firstHalf, 0x00);
        const uint32_t allLanes = kHalf ? 0xFFFFu : 0xFFFFFFFFu;
        const bool oneSquare =
            (uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi16(uv0, first))) & allLanes) == allLanes;
        const bool pairs =
            !oneSquare && (kC || (texDirect && !t8)) &&
            (uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi16(w1, _mm256_add_epi16(w0, one16)))) & uLanes) ==
                uLanes;
        // The first pixel's integer (u, v) (16-bit lanes 0 and 4) name the square.
        const __m128i firstUV = _mm_setr_epi8(0, 1, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        const uint32_t key =
            oneSquare && expanded
                ? uint32_t(_mm_cvtsi128_si32(_mm_shuffle_epi8(_mm256_castsi256_si128(uv0), firstUV)))
                : ~0u;
        __m256i fuLo, fuHi, fvLo, fvHi;
        Spread8(uq, &fuLo, &fuHi);
        Spread8(vq8, &fvLo, &fvHi);
        if (oneSquare) {
            if (key == ~0u || key != square.key) {
                const __m128i a = _mm256_castsi256_si128(w0), b = _mm256_castsi256_si128(w1);
                // (u, v) of the square's corners in Wrap's lane order (u 0-3, v 4-7): 00, 10, 01, 11.
                const __m128i uu = _mm_unpacklo_epi16(a, b), vv = _mm_unpackhi_epi16(a, b);
                const __m128i corners =
                    _mm_unpacklo_epi64(_mm_unpacklo_epi32(uu, uu), _mm_unpacklo_epi16(vv, vv));
                const __m128i idx = IndexOf(corners);
                if (kC || (texDirect && !t8)) {
                    // Each texel loaded straight into every lane.
                    const uint64_t lo = uint64_t(_mm_cvtsi128_si64(idx)),
                                   hi = uint64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(idx, idx)));
                    auto at = [&](uint32_t k) QZ_INLINE {
                        int32_t c;
                        std::memcpy(&c, texBytes + size_t(k) * 4, 4);
                        return _mm256_set1_epi32(c);
                    };
                    c00 = at(uint32_t(lo));
                    c10 = at(uint32_t(lo >> 32));
                    c01 = at(uint32_t(hi));
                    c11 = at(uint32_t(hi >> 32));
                } else {
                    const __m256i texels = _mm256_castsi128_si256(Gather<kC>(idx));
                    c00 = _mm256_permutevar8x32_epi32(texels, _mm256_set1_epi32(0));
                    c10 = _mm256_permutevar8x32_epi32(texels, _mm256_set1_epi32(1));
                    c01 = _mm256_permutevar8x32_epi32(texels, _mm256_set1_epi32(2));
                    c11 = _mm256_permutevar8x32_epi32(texels, _mm256_set1_epi32(3));
                }
                // Every lane holds the same texel, so its low and high bytes widen alike.
                square.top = _mm256_unpacklo_epi8(c00, zero);
                square.bottom = _mm256_unpacklo_epi8(c01, zero);
                square.topStep = Twice(_mm256_sub_epi16(_mm256_unpacklo_epi8(c10, zero), square.top));
                square.bottomStep = Twice(_mm256_sub_epi16(_mm256_unpacklo_epi8(c11, zero), square.bottom));
                square.key = key;
            }
            // (Otherwise the same square as the last one-square step: its texels as they were fetched.)
            const __m256i fuLo7 = _mm256_slli_epi16(fuLo, 7), fuHi7 = _mm256_slli_epi16(fuHi, 7);
            const __m256i topLo = LerpBy(square.top, square.topStep, fuLo7),
                          topHi = LerpBy(square.top, square.topStep, fuHi7);
            const __m256i bottomLo = LerpBy(square.bottom, square.bottomStep, fuLo7),
                          bottomHi = LerpBy(square.bottom, square.bottomStep, fuHi7);
            *tlo = LerpBy(topLo, Twice(_mm256_sub_epi16(bottomLo, topLo)), _mm256_slli_epi16(fvLo, 7));
            *thi = LerpBy(topHi, Twice(_mm256_sub_epi16(bottomHi, topHi)), _mm256_slli_epi16(fvHi, 7));
            return;
        }
        if (pairs) {
            PairsAt8<kHalf>(IndexOf8(w0), &c00, &c10);
            PairsAt8<kHalf>(IndexOf8(_mm256_unpacklo_epi64(w0, _mm256_srli_si256(w1, 8))), &c01, &c11);
        } else {
            c00 = Gather8<kC, kHalf>(IndexOf8(w0));
            c11 = Gather8<kC, kHalf>(IndexOf8(w1));
            c10 = Gather8<kC, kHalf>(IndexOf8(_mm256_unpacklo_epi64(w1, _mm256_srli_si256(w0, 8))));
            c01 = Gather8<kC, kHalf>(IndexOf8(_mm256_unpacklo_epi64(w0, _mm256_srli_si256(w1, 8))));
        }
        *tlo = Lerp8(Lerp8(_mm256_unpacklo_epi8(c00, zero), _mm256_unpacklo_epi8(c10, zero), fuLo),
                     Lerp8(_mm256_unpacklo_epi8(c01, zero), _mm256_unpacklo_epi8(c11, zero), fuLo), fvLo);
        *thi = Lerp8(Lerp8(_mm256_unpackhi_epi8(c00, zero), _mm256_unpackhi_epi8(c10, zero), fuHi),
                     Lerp8(_mm256_unpackhi_epi8(c01, zero), _mm256_unpackhi_epi8(c11, zero), fuHi), fvHi);
    }
    template <bool kC, bool kQRow, bool kHalf = false>
    QZ_INLINE void Texels8(const Row8& r, __m256 fi, __m256i* tlo, __m256i* thi) const {
        __m256i uq, vq8;
        Coords8<kQRow>(r, fi, &uq, &vq8);
        // The integer parts plus 2^15 (none in a plain row), which fit 16 bits unsigned; a repeat's mask
        // (below 2^15) drops the 2^15, a clamp needs it taken off.
        __m256i uv0 = _mm256_packus_epi32(_mm256_srli_epi32(uq, 8), _mm256_srli_epi32(vq8, 8));
        if (clampUV && !(kQRow && r.plain)) uv0 = _mm256_xor_si256(uv0, _mm256_set1_epi16(int16_t(0x8000)));
        if (!kBilinear) {
            const __m256i tv = Gather8<kC, kHalf>(IndexOf8(Wrap8(uv0)));
            *tlo = _mm256_unpacklo_epi8(tv, _mm256_setzero_si256());
            *thi = _mm256_unpackhi_epi8(tv, _mm256_setzero_si256());
        } else {
            Bilinear8<kC, kHalf>(uq, vq8, uv0, tlo, thi);
        }
    }
#endif

    // One pixel, scalar, with the same arithmetic (the span's tail): the texel at (u, v), wrapped.
    QZ_INLINE uint32_t TexelScalar(int u, int v) const {
        u = std::min(std::max(u, umin), umax) & umask;
        v = std::min(std::max(v, vmin), vmax) & vmask;
        const uint32_t idx = uint32_t(v) * tstride + uint32_t(u);
        if (expanded) return st.texels32[idx];
        return t8 ? st.clut[m[(st.tBase + idx) & kMask]] : Load32(m, st.tBase + idx * 4u);
    }
    // The filtered texel of pixel i of a row whose first pixel has coordinates (s, t, q).
    QZ_INLINE uint32_t FetchScalar(float s, float t, float q, int i) const {
        const float fi = float(i);
        const float si = s + fi * ds, ti = t + fi * dt;
        float u, v;
        if (kPersp) {
            const float qi = q + fi * dq;
            const float iq = qi != 0.0f ? 1.0f / qi : 0.0f;
            u = si * iq * tw;
            v = ti * iq * th;
        } else {
            u = si;
            v = ti;
        }
        const float half = kBilinear ? 0.5f : 0.0f;
        const int32_t uf = ToFix8(u - half), vf = ToFix8(v - half);
        if (kBilinear) {
            const int iu = uf >> 8, iv = vf >> 8;
            return Bilerp(TexelScalar(iu, iv), TexelScalar(iu + 1, iv), TexelScalar(iu, iv + 1),
                          TexelScalar(iu + 1, iv + 1), uint32_t(uf & 255), uint32_t(vf & 255));
        }
        return TexelScalar(uf >> 8, vf >> 8);
    }
};

}  // namespace console::gs::raster
