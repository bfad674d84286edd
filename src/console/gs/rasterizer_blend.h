// Alpha test and blending: ((A - B) * C >> 7) + D over source and destination colours, scalar (the general
// path and the vector span's tail) and two pixels per register (the vector span). Both give the same bits.
#pragma once

#include <algorithm>
#include <cstdint>

#include "console/gs/rasterizer_internal.h"

namespace console::gs::raster {

// One blend input: 0 source, 1 destination, 2 zero.
inline int Pick(uint32_t sel, int cs, int cd) {
    return sel == 0 ? cs : (sel == 1 ? cd : 0);
}

// Whether alpha `av` passes the state's alpha test.
QZ_INLINE inline bool AlphaPasses(const DrawState& st, uint32_t av) {
    switch (st.atst) {
        case 0:
            return false;
        case 1:
            return true;
        case 2:
            return av < st.aref;
        case 3:
            return av <= st.aref;
        case 4:
            return av == st.aref;
        case 5:
            return av >= st.aref;
        case 6:
            return av > st.aref;
        default:
            return av != st.aref;
    }
}

// The blended colour channel of source cs over destination cd with coefficient c, before clamping.
inline int BlendChannel(const DrawState& st, int cs, int cd, int c) {
    return ((Pick(st.alphaA, cs, cd) - Pick(st.alphaB, cs, cd)) * c >> 7) + Pick(st.alphaD, cs, cd);
}

// Blends the source colour (cr, cg, cb, alpha ca) over the destination d in place, clamped or wrapped to
// 8 bits as the state says.
QZ_INLINE inline void BlendPixel(const DrawState& st, uint32_t d, int& cr, int& cg, int& cb, int ca) {
    const int dr = int(d & 255), dg = int((d >> 8) & 255), db = int((d >> 16) & 255), da = int(d >> 24);
    const int c = st.alphaC == 0 ? ca : (st.alphaC == 1 ? da : int(st.fix));
    int nr = BlendChannel(st, cr, dr, c);
    int ng = BlendChannel(st, cg, dg, c);
    int nb = BlendChannel(st, cb, db, c);
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

// Blending for the vector span, set up once per primitive. kBlend: 1 any formula, 2 (Cs - Cd) * As + Cd.
// The selection masks come from the span's per-state constants.
template <int kBlend>
struct VectorBlend {
    const DrawState& st;
    __m128i aS, aD, bS, bD, dS, dD, cSrc, cDst, cFix;

    static QZ_INLINE __m128i Lanes(const int16_t* c) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(c));
    }
    // A selection mask: only the general formula uses them.
    static QZ_INLINE __m128i Mask(const int16_t* c) {
        if constexpr (kBlend != 1) return _mm_setzero_si128();
        return Lanes(c);
    }
    static QZ_INLINE __m128i AlphaOf(__m128i c) {
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(c, 0xFF), 0xFF);
    }

    QZ_INLINE VectorBlend(const DrawState& state, const int16_t* as, const int16_t* ad, const int16_t* bs,
                          const int16_t* bd, const int16_t* ds, const int16_t* dd, const int16_t* csrc,
                          const int16_t* cdst, const int16_t* cfix)
        : st(state),
          aS(Mask(as)),
          aD(Mask(ad)),
          bS(Mask(bs)),
          bD(Mask(bd)),
          dS(Mask(ds)),
          dD(Mask(dd)),
          cSrc(Mask(csrc)),
          cDst(Mask(cdst)),
          cFix(Mask(cfix)) {
#if defined(QZ_SPANS_8WIDE)
        aS8 = _mm256_broadcastsi128_si256(aS);
        aD8 = _mm256_broadcastsi128_si256(aD);
        bS8 = _mm256_broadcastsi128_si256(bS);
        bD8 = _mm256_broadcastsi128_si256(bD);
        dS8 = _mm256_broadcastsi128_si256(dS);
        dD8 = _mm256_broadcastsi128_si256(dD);
        cSrc8 = _mm256_broadcastsi128_si256(cSrc);
        cDst8 = _mm256_broadcastsi128_si256(cDst);
        cFix8 = _mm256_broadcastsi128_si256(cFix);
#endif
    }

    // ((A - B) * C >> 7) + D on two pixels in 16-bit lanes. A - B lies in [-255, 255] and C in [0, 255],
    // so the high half of (A - B) * 4 times C * 128 is exactly (A - B) * C >> 7. The alpha lanes take
    // (As - Ad) * 1 + Ad, the source alpha, which is what is written. The saturating pack that follows
    // clamps to 0..255. kC: the state is known to have no PABE.
    template <bool kC>
    QZ_INLINE __m128i operator()(__m128i cs, __m128i cd) const {
        const __m128i rgbLanes = _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0);
        const __m128i unitAlpha = _mm_setr_epi16(0, 0, 0, 128 << 7, 0, 0, 0, 128 << 7);
        __m128i diff, c7, dv;
        const __m128i as = AlphaOf(cs);
        if (kBlend == 2) {
            diff = _mm_sub_epi16(cs, cd);
            c7 = _mm_slli_epi16(as, 7);
            dv = cd;
        } else {
            auto pick = [&](__m128i s0, __m128i d0)
                            QZ_INLINE { return _mm_or_si128(_mm_and_si128(cs, s0), _mm_and_si128(cd, d0)); };
            diff = _mm_sub_epi16(pick(aS, aD), pick(bS, bD));
            c7 = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_slli_epi16(as, 7), cSrc),
                                           _mm_and_si128(_mm_slli_epi16(AlphaOf(cd), 7), cDst)),
                              cFix);
            dv = pick(dS, dD);
        }
        c7 = _mm_or_si128(_mm_and_si128(c7, rgbLanes), unitAlpha);
        __m128i mixed = _mm_add_epi16(_mm_mulhi_epi16(_mm_slli_epi16(diff, 2), c7), dv);
        if (!kC && st.pabe) {
            // Sources with alpha below 0x80 are written as they are.
            const __m128i plain = _mm_cmplt_epi16(as, _mm_set1_epi16(0x80));
            mixed = _mm_or_si128(_mm_and_si128(plain, cs), _mm_andnot_si128(plain, mixed));
        }
        return mixed;
    }

#if defined(QZ_SPANS_8WIDE)
    // The same on four pixels (the AVX2 spans), two per 128-bit half.
    __m256i aS8, aD8, bS8, bD8, dS8, dD8, cSrc8, cDst8, cFix8;
    static QZ_INLINE __m256i AlphaOf8(__m256i c) {
        return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(c, 0xFF), 0xFF);
    }
    static QZ_INLINE __m256i Pick8(__m256i cs, __m256i cd, __m256i s0, __m256i d0) {
        return _mm256_or_si256(_mm256_and_si256(cs, s0), _mm256_and_si256(cd, d0));
    }
    template <bool kC>
    QZ_INLINE __m256i Mix8(__m256i cs, __m256i cd) const {
        const __m256i rgbLanes =
            _mm256_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1, 0, -1, -1, -1, 0);
        const __m256i unitAlpha =
            _mm256_setr_epi16(0, 0, 0, 128 << 7, 0, 0, 0, 128 << 7, 0, 0, 0, 128 << 7, 0, 0, 0, 128 << 7);
        if constexpr (kBlend == 2) {
            // The alpha lanes take Ad and then the source alpha back.
            const __m256i alphaToRgb =
                _mm256_setr_epi8(6, 7, 6, 7, 6, 7, -1, -1, 14, 15, 14, 15, 14, 15, -1, -1, 6, 7, 6, 7, 6, 7,
                                 -1, -1, 14, 15, 14, 15, 14, 15, -1, -1);
            const __m256i c7 = _mm256_slli_epi16(_mm256_shuffle_epi8(cs, alphaToRgb), 7);
            __m256i mixed = _mm256_blend_epi16(
                _mm256_add_epi16(_mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(cs, cd), 2), c7), cd),
                cs, 0x88);
            if (!kC && st.pabe) {
                const __m256i plain = _mm256_cmpgt_epi16(_mm256_set1_epi16(0x80), AlphaOf8(cs));
                mixed = _mm256_or_si256(_mm256_and_si256(plain, cs), _mm256_andnot_si256(plain, mixed));
            }
            return mixed;
        }
        __m256i diff, c7, dv;
        const __m256i as = AlphaOf8(cs);
        {
            diff = _mm256_sub_epi16(Pick8(cs, cd, aS8, aD8), Pick8(cs, cd, bS8, bD8));
            c7 = _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(as, 7), cSrc8),
                                                 _mm256_and_si256(_mm256_slli_epi16(AlphaOf8(cd), 7), cDst8)),
                                 cFix8);
            dv = Pick8(cs, cd, dS8, dD8);
        }
        c7 = _mm256_or_si256(_mm256_and_si256(c7, rgbLanes), unitAlpha);
        __m256i mixed = _mm256_add_epi16(_mm256_mulhi_epi16(_mm256_slli_epi16(diff, 2), c7), dv);
        if (!kC && st.pabe) {
            const __m256i plain = _mm256_cmpgt_epi16(_mm256_set1_epi16(0x80), as);
            mixed = _mm256_or_si256(_mm256_and_si256(plain, cs), _mm256_andnot_si256(plain, mixed));
        }
        return mixed;
    }
#endif
};

}  // namespace console::gs::raster
