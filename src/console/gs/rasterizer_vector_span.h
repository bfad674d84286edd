// The vector span of one primitive (see rasterizer_vector.cpp): four pixels per step, or, where the
// including file enables it (QZ_SPANS_8WIDE, the AVX2 copy), eight. Only the rasteriser's span files include
// this.
#pragma once

#include <algorithm>
#include <cstring>

#include "console/gs/rasterizer.h"
#include "console/gs/rasterizer_blend.h"
#include "console/gs/rasterizer_internal.h"
#include "console/gs/rasterizer_texture.h"

namespace console::gs::raster {

// Every row of a primitive through `shade` (which returns the pixels it shaded), the lines of each row
// fetched a few rows before it is shaded. The vector code addresses the frame and depth rows directly: a row
// that wraps around the end of local memory goes to `general` instead. Returns the pixels shaded.
template <class General, class Shade>
QZ_INLINE inline uint64_t ForEachRow(const uint8_t* m, const DrawState& st, const Rasterizer::SpanRow* rows,
                                     size_t count, General& general, Shade&& shade) {
    uint64_t pixels = 0;
    for (size_t j = 0; j < count; ++j) {
        const Rasterizer::SpanRow& sr = rows[j];
        if (j + kPrefetchRows < count) {
            const Rasterizer::SpanRow& ahead = rows[j + kPrefetchRows];
            PrefetchRow(m, st, ahead.y, ahead.x0, ahead.x1);
        }
        if (!RowInside(st, sr.y, sr.x0, sr.x1)) {
            general(sr);
            continue;
        }
        pixels += uint64_t(shade(sr));
    }
    return pixels;
}

// One primitive's vector span: what depends only on the state and the primitive, worked out once for all
// its rows, then each row. kBlend: 0 none, 1 any formula, 2 (Cs - Cd) * As + Cd (the usual transparency,
// worth its own code).
template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
struct VectorSpan {
    static constexpr bool kCommonLoop = kTexture && kBlend != 1;
    // Unblended textured spans also have a loop for the common state without depth (see colourOnly).
    static constexpr bool kColourOnlyLoop = kTexture && kBlend == 0;
    const DrawState& st;
    const Rasterizer::Planes& p;
    uint8_t* m;
    VectorTexture<kTexture, kBilinear, kPersp> tex;
    VectorBlend<kBlend> blend;
    // Without a texture the fragment colour goes through as a DECAL texel would.
    bool decal, zte, zwrite, gequal, always, gequalOnly, commonState, smallSteps;
    // The common state but for depth, which is neither tested nor written (no Z test, or ALWAYS with the
    // depth masked or not written).
    bool colourOnly;
    // Rows may be plain copies of texture rows (see CopyRow): 32-bit texels addressed directly, one texel
    // per pixel along the row, the texel written as it is, nothing tested or blended, depth not written.
    bool copyRows;
    // Rows are shared out among workers: a masked last group must not reach into the next row.
    bool banded;
    // The alpha test: a pixel fails when (alpha cmp atestRef) XOR atestFlip, cmp by atestKind: 0 less
    // than, 1 equal, 2 greater than, 3 never true.
    bool ate;
    uint32_t afail;
    int atestKind;
    __m128i atestRef, atestFlip;
    // Fixed-point steps of the interpolated attributes, the same on every row.
    int64_t zStep, rStep = 0, gStep = 0, bStep = 0, aStep = 0;
    // The colour planes two channels per register for the rows' start values (see RowColour).
    __m128d cRG, dxRG, dyRG, cBA, dxBA, dyBA, stepRG, stepBA;
    __m128i colSteps;
#if defined(QZ_SPANS_8WIDE)
    // The planes four to a register for the rows' start values: depth, s, t, q, and the colour's r, g, b, a.
    __m256d cZSTQ, dxZSTQ, dyZSTQ, cRGBA, dxRGBA, dyRGBA, stepRGBA;
#endif

    // A row's start values: its pixel count, depth (24.8) and fragment colour (16.16, r g b a) at its first
    // pixel and their steps, texture coordinates and frame and depth addresses.
    struct Row {
        int n;
        uint32_t zc0, dzc, fa0, za0;
        uint32_t* fp;
        uint32_t* zp;
        __m128i colStart, colStep1;
        float s = 0, t = 0, q = 0;
        // A last group may run past the row end by up to three pixels (see Shade).
        bool tailInRow;
    };

    template <class Consts>
    QZ_INLINE VectorSpan(const DrawState& state, const Rasterizer::Planes& planes, uint8_t* mem,
                         const Consts& sc)
        : st(state),
          p(planes),
          m(mem),
          tex(state, planes, mem, sc),
          blend(state, sc.aS, sc.aD, sc.bS, sc.bD, sc.dS, sc.dD, sc.cSrc, sc.cDst, sc.cFix) {
        // The tests as the state's set-up (PrepareSpans) worked them out.
        decal = !kTexture || sc.decal;
        // MODULATE by 128 on every channel of every pixel gives the texel back ((c * 128) >> 7 is c), as
        // DECAL does: a flat colour of 128, or colour planes that are 128 everywhere (the sky).
        auto all128 = [](const Rasterizer::Plane& c) { return c.c == 128.0 && c.dx == 0.0 && c.dy == 0.0; };
        decal = decal || (kGouraud ? all128(p.r) && all128(p.g) && all128(p.b) && all128(p.a)
                                   : p.fr == 128 && p.fg == 128 && p.fb == 128 && p.fa == 128);
        banded = sc.banded;
        ate = sc.ate;
        afail = sc.afail;
        atestKind = sc.atestKind;
        atestRef = _mm_set1_epi32(sc.atestRef);
        atestFlip = _mm_set1_epi32(sc.atestFlip);
        zte = sc.zte;
        zwrite = sc.zwrite;
        gequal = sc.gequal;
        always = sc.always;
        gequalOnly = sc.gequalOnly;
        // The common state gets a loop of its own with these settings fixed: depth tested GEQUAL and
        // written, 32-bit texels addressed directly, texture alpha, no PABE. Only textured spans without a
        // general blend formula have it (the others are rare and keep one loop, which halves their code).
        // (PABE matters only to a blend.)
        const bool commonTexture =
            (!kTexture || (tex.texDirect && !tex.t8)) && st.tcc && (kBlend == 0 || !st.pabe);
        commonState = kCommonLoop && zte && gequalOnly && zwrite && commonTexture;
        colourOnly = kColourOnlyLoop && (!zte || (always && !zwrite)) && commonTexture;
        copyRows = kTexture && !kPersp && kBlend == 0 && !tex.t8 && tex.texDirect && st.tcc && decal &&
                   !ate && (!zte || (always && !zwrite)) && tex.ds == 1.0f && tex.dt == 0.0f;
        // (Such rows are in the state of the loop without depth.)
        copyRows = copyRows && colourOnly;
        zStep = p.flatZ ? 0 : static_cast<int64_t>(p.z.dx * 256.0);
        if (kGouraud) {
            rStep = static_cast<int64_t>(p.r.dx * 65536.0);
            gStep = static_cast<int64_t>(p.g.dx * 65536.0);
            bStep = static_cast<int64_t>(p.b.dx * 65536.0);
            aStep = static_cast<int64_t>(p.a.dx * 65536.0);
        }
        cRG = _mm_setr_pd(p.r.c, p.g.c);
        dxRG = _mm_setr_pd(p.r.dx, p.g.dx);
        dyRG = _mm_setr_pd(p.r.dy, p.g.dy);
        cBA = _mm_setr_pd(p.b.c, p.a.c);
        dxBA = _mm_setr_pd(p.b.dx, p.a.dx);
        dyBA = _mm_setr_pd(p.b.dy, p.a.dy);
        stepRG = _mm_setr_pd(double(rStep), double(gStep));
        stepBA = _mm_setr_pd(double(bStep), double(aStep));
        // Whether every step is small enough for the row-end check in doubles.
        auto small = [](int64_t v) { return v >= -(int64_t(1) << 40) && v <= (int64_t(1) << 40); };
        smallSteps = small(rStep) && small(gStep) && small(bStep) && small(aStep);
        colSteps = _mm_setr_epi32(int32_t(rStep), int32_t(gStep), int32_t(bStep), int32_t(aStep));
#if defined(QZ_SPANS_8WIDE)
        cZSTQ = _mm256_setr_pd(p.z.c, p.s.c, p.t.c, p.q.c);
        dxZSTQ = _mm256_setr_pd(p.z.dx, p.s.dx, p.t.dx, p.q.dx);
        dyZSTQ = _mm256_setr_pd(p.z.dy, p.s.dy, p.t.dy, p.q.dy);
        cRGBA = _mm256_set_m128d(cBA, cRG);
        dxRGBA = _mm256_set_m128d(dxBA, dxRG);
        dyRGBA = _mm256_set_m128d(dyBA, dyRG);
        stepRGBA = _mm256_set_m128d(stepBA, stepRG);
#endif
    }

    // The fragment colour at the row start and its step, 16.16 fixed point, channels r g b a.
    QZ_INLINE void RowColour(int n, double pa, double pb, double py, Row& r) const {
        if (!kGouraud) {
            r.colStart = _mm_setr_epi32(int32_t(p.fr) << 16, int32_t(p.fg) << 16, int32_t(p.fb) << 16,
                                        int32_t(p.fa) << 16);
            r.colStep1 = _mm_setzero_si128();
            return;
        }
#if defined(QZ_SPANS_8WIDE)
        // (One pixel: its value as Lerp's; the step then reaches no pixel of the row.)
        if (smallSteps) {
            // As below, the four channels in one register.
            const __m256d vpa = _mm256_set1_pd(pa), vpy = _mm256_set1_pd(py);
            __m256d at =
                _mm256_add_pd(_mm256_add_pd(cRGBA, _mm256_mul_pd(dxRGBA, vpa)), _mm256_mul_pd(dyRGBA, vpy));
            at = _mm256_min_pd(_mm256_max_pd(at, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
            const __m128i v = _mm256_cvttpd_epi32(_mm256_mul_pd(at, _mm256_set1_pd(65536.0)));
            const __m256d e =
                _mm256_add_pd(_mm256_cvtepi32_pd(v), _mm256_mul_pd(stepRGBA, _mm256_set1_pd(double(n - 1))));
            const __m256d out = _mm256_or_pd(_mm256_cmp_pd(e, _mm256_setzero_pd(), _CMP_LT_OQ),
                                             _mm256_cmp_pd(e, _mm256_set1_pd(255.0 * 65536.0), _CMP_GT_OQ));
            if (_mm256_movemask_pd(out) == 0) {
                r.colStart = v;
                r.colStep1 = colSteps;
                return;
            }
        }
#else
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
                r.colStart = _mm_unpacklo_epi64(vRG, vBA);
                r.colStep1 = colSteps;
                return;
            }
        }
#endif
        Lerp cr, cg, cb, ca;
        cr.SetupWithStep(p.r, rStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
        cg.SetupWithStep(p.g, gStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
        cb.SetupWithStep(p.b, bStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
        ca.SetupWithStep(p.a, aStep, pa, pb, py, n, 0.0, 255.0, 65536.0);
        r.colStart = _mm_setr_epi32(int32_t(cr.v), int32_t(cg.v), int32_t(cb.v), int32_t(ca.v));
        r.colStep1 = _mm_setr_epi32(int32_t(cr.d), int32_t(cg.d), int32_t(cb.d), int32_t(ca.d));
    }

    // Per-row attribute values of pixels x0..x1 of row y.
    QZ_INLINE Row StartRow(int y, int x0, int x1) const {
        Row r;
        r.n = x1 - x0 + 1;
        const double py = y + 0.5, pa = x0 + 0.5, pb = x1 + 0.5;
        Lerp z;
#if defined(QZ_SPANS_8WIDE)
        // Depth, s, t and q at the first pixel with one plane's arithmetic per lane: c + dx * pa + dy * py,
        // in that order, as Plane::At.
        const __m256d vpa = _mm256_set1_pd(pa), vpy = _mm256_set1_pd(py);
        const __m256d at =
            _mm256_add_pd(_mm256_add_pd(cZSTQ, _mm256_mul_pd(dxZSTQ, vpa)), _mm256_mul_pd(dyZSTQ, vpy));
        if (p.flatZ) {
            z.v = int64_t(p.fz) << 8;
        } else {
            z.SetupFrom(_mm256_cvtsd_f64(at), p.z, zStep, pb, py, r.n, 0.0, double(0xFFFFFF), 256.0);
        }
        RowColour(r.n, pa, pb, py, r);
        if (kTexture) {
            // double to float, rounded as a conversion of each alone.
            const __m128 stq = _mm256_cvtpd_ps(at);
            r.s = _mm_cvtss_f32(_mm_shuffle_ps(stq, stq, 1));
            r.t = _mm_cvtss_f32(_mm_shuffle_ps(stq, stq, 2));
            r.q = _mm_cvtss_f32(_mm_shuffle_ps(stq, stq, 3));
        }
#else
        if (p.flatZ) {
            z.v = int64_t(p.fz) << 8;
        } else {
            z.SetupWithStep(p.z, zStep, pa, pb, py, r.n, 0.0, double(0xFFFFFF), 256.0);
        }
        RowColour(r.n, pa, pb, py, r);
        if (kTexture) {
            r.s = float(p.s.At(pa, py));
            r.t = float(p.t.At(pa, py));
            r.q = float(p.q.At(pa, py));
        }
#endif
        const uint32_t row = uint32_t(y) * st.fbw * 64u;
        r.fa0 = st.fbBase + (row + uint32_t(x0)) * 4u;
        r.za0 = st.zBase + (row + uint32_t(x0)) * 4u;
        r.zc0 = uint32_t(z.v);
        r.dzc = uint32_t(z.d);
        r.fp = reinterpret_cast<uint32_t*>(m + (r.fa0 & kMask));
        r.zp = reinterpret_cast<uint32_t*>(m + (r.za0 & kMask));
        r.tailInRow = ((r.fa0 & kMask) + uint32_t(r.n + 3) * 4u <= LocalMemory::kSize) &&
                      ((r.za0 & kMask) + uint32_t(r.n + 3) * 4u <= LocalMemory::kSize) &&
                      (!banded || uint32_t(x1) + 3u < st.fbw * 64u);
        return r;
    }

    // Pixels i.. of the row four at a time up to groupEnd (lanes past the row end keep their old values):
    // the spans of processors without AVX2.
    // kC: the common state (see commonState).
    template <bool kC>
    QZ_INLINE void Groups(const Row& r, int& i, int groupEnd) const {
        const int n = r.n;
        uint32_t* const fp = r.fp;
        uint32_t* const zp = r.zp;
        const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi32(-1);
        const __m128i low24 = _mm_set1_epi32(0xFFFFFF), hi8 = _mm_set1_epi32(int(0xFF000000u));
        const __m128i max255 = _mm_set1_epi16(255);
        const __m128i alphaLanes = _mm_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1);
        const __m128i laneIndex = _mm_setr_epi32(0, 1, 2, 3);
        const __m128 four = _mm_set1_ps(4.0f);
        // Per-lane state, stepped by four pixels: depth (exactly zc0 + k * dzc modulo 2^32), the 16.16
        // fragment colours of each pixel (one register per pixel, channels r g b a), and the lane indices
        // as floats for the texture coordinates.
        __m128i vz = _mm_add_epi32(_mm_set1_epi32(int(r.zc0)),
                                   _mm_setr_epi32(0, int(r.dzc), int(2 * r.dzc), int(3 * r.dzc)));
        const __m128i vdz = _mm_set1_epi32(int(4 * r.dzc));
        // Colour steps modulo 2^32 as in the scalar path: pixel k + 1 is pixel k plus one step.
        // Only the group's first pixel is kept from step to step; the others add one to three steps.
        __m128i col = r.colStart;
        const __m128i dcol1 = r.colStep1, dcol2 = _mm_slli_epi32(dcol1, 1),
                      dcol3 = _mm_add_epi32(dcol2, dcol1), dcol = _mm_slli_epi32(dcol1, 2);
        const __m128i flatFrag = _mm_packs_epi32(_mm_srai_epi32(col, 16), _mm_srai_epi32(col, 16));
        __m128 vfi = _mm_setr_ps(0.0f, 1.0f, 2.0f, 3.0f);
        const auto texRow = tex.AtRow(r.s, r.t, r.q);

        for (; i < groupEnd; i += 4) {
            const __m128i z24 = _mm_srli_epi32(vz, 8);
            vz = _mm_add_epi32(vz, vdz);
            const __m128 fi = vfi;
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
            if (n - i < 4) keep = _mm_or_si128(keep, _mm_cmpgt_epi32(laneIndex, _mm_set1_epi32(n - i - 1)));
            const int keepBits = _mm_movemask_ps(_mm_castsi128_ps(keep));
            if (keepBits == 15) continue;
            // Texels as 16-bit channel lanes, pixels 0-1 in tlo and 2-3 in thi.
            __m128i tlo = zero, thi = zero;
            if constexpr (kTexture) tex.template Texels<kC>(texRow, fi, &tlo, &thi);
            // Fragment colours in 16-bit lanes: the 16.16 values' integer parts.
            __m128i flo = flatFrag, fhi = flatFrag;
            if (kGouraud) {
                flo = _mm_packs_epi32(_mm_srai_epi32(c0, 16), _mm_srai_epi32(_mm_add_epi32(c0, dcol1), 16));
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
            // The alpha test on the fragment's alpha (blending leaves it as it is): lanes that fail it and
            // would otherwise be written.
            __m128i fail = zero;
            int failBits = 0;
            if (ate) {
                const __m128i a32 = _mm_srli_epi32(_mm_packus_epi16(lo, hi), 24);
                __m128i cmp = zero;
                if (atestKind == 0) {
                    cmp = _mm_cmplt_epi32(a32, atestRef);
                } else if (atestKind == 1) {
                    cmp = _mm_cmpeq_epi32(a32, atestRef);
                } else if (atestKind == 2) {
                    cmp = _mm_cmpgt_epi32(a32, atestRef);
                }
                fail = _mm_andnot_si128(keep, _mm_xor_si128(cmp, atestFlip));
                failBits = _mm_movemask_ps(_mm_castsi128_ps(fail));
            }
            __m128i oldc = zero;
            if (kBlend != 0 || keepBits != 0 || failBits != 0)
                oldc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fp + i));
            if constexpr (kBlend != 0) {
                lo = blend.template operator()<kC>(lo, _mm_unpacklo_epi8(oldc, zero));
                hi = blend.template operator()<kC>(hi, _mm_unpackhi_epi8(oldc, zero));
            }
            __m128i out = _mm_packus_epi16(lo, hi);
            const __m128i nz = _mm_or_si128(_mm_and_si128(zold, hi8), z24);
            if (failBits != 0) {
                // What a failing pixel still writes: AFAIL 0 nothing, 1 the colour, 2 the depth, 3 the
                // colour but not its alpha.
                __m128i colourKeep = keep, depthKeep = keep;
                if (afail != 2) depthKeep = _mm_or_si128(depthKeep, fail);
                if (afail == 0 || afail == 2) colourKeep = _mm_or_si128(colourKeep, fail);
                if (afail == 3) {
                    const __m128i alphaKeep = _mm_and_si128(fail, hi8);
                    out = _mm_or_si128(_mm_andnot_si128(alphaKeep, out), _mm_and_si128(alphaKeep, oldc));
                }
                _mm_storeu_si128(
                    reinterpret_cast<__m128i*>(fp + i),
                    _mm_or_si128(_mm_andnot_si128(colourKeep, out), _mm_and_si128(colourKeep, oldc)));
                if (kC || zwrite) {
                    _mm_storeu_si128(
                        reinterpret_cast<__m128i*>(zp + i),
                        _mm_or_si128(_mm_andnot_si128(depthKeep, nz), _mm_and_si128(depthKeep, zold)));
                }
            } else if (keepBits == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(fp + i), out);
                if (kC || zwrite) _mm_storeu_si128(reinterpret_cast<__m128i*>(zp + i), nz);
            } else {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(fp + i),
                                 _mm_or_si128(_mm_andnot_si128(keep, out), _mm_and_si128(keep, oldc)));
                if (kC || zwrite) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(zp + i),
                                     _mm_or_si128(_mm_andnot_si128(keep, nz), _mm_and_si128(keep, zold)));
                }
            }
        }
    }

#if defined(QZ_SPANS_8WIDE)
    // Lanes of `old` where keepMask is set, of `fresh` elsewhere.
    static QZ_INLINE __m256i Select8(__m256i keepMask, __m256i fresh, __m256i old) {
        return _mm256_or_si256(_mm256_andnot_si256(keepMask, fresh), _mm256_and_si256(keepMask, old));
    }
    // A row eight pixels a step, lane for lane the arithmetic of Groups, pixels 0-3 of a step in the low
    // 128-bit half and 4-7 in the high one. A last step of fewer than eight pixels loads and stores only
    // the row's own pixels (masked loads and stores: nothing past the row end is read or written).
    // kMode: 0 any state, 1 the common state (see commonState), 2 the common state without depth (see
    // colourOnly). kQRow: q the same along every row (or no q).
    template <int kMode, bool kQRow>
    QZ_INLINE void Groups8(const Row& r) const {
        constexpr bool kC = kMode != 0;
        // Depth read (and tested) and written: always in mode 1, never in mode 2.
        const bool depthRead = kMode == 1 || (kMode == 0 && zte);
        const bool depthWrite = kMode == 1 || (kMode == 0 && zwrite);
        const int n = r.n;
        uint32_t* const fp = r.fp;
        uint32_t* const zp = r.zp;
        const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi32(-1);
        const __m256i low24 = _mm256_set1_epi32(0xFFFFFF), hi8 = _mm256_set1_epi32(int(0xFF000000u));
        const __m256i max255 = _mm256_set1_epi16(255);
        const __m256i alphaLanes = _mm256_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1);
        const __m256 eight = _mm256_set1_ps(8.0f);
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        // Depth zc0 + k * dzc modulo 2^32, as in Groups.
        __m256i vz = _mm256_add_epi32(_mm256_set1_epi32(int(r.zc0)),
                                      _mm256_mullo_epi32(lanes, _mm256_set1_epi32(int(r.dzc))));
        const __m256i vdz = _mm256_set1_epi32(int(8 * r.dzc));
        // The fragment colours of pixels 0 and 4 of the step (one per half); the others add one to three
        // steps.
        const __m128i d1 = r.colStep1;
        __m256i col = _mm256_set_m128i(_mm_add_epi32(r.colStart, _mm_slli_epi32(d1, 2)), r.colStart);
        const __m256i dcol1 = _mm256_broadcastsi128_si256(d1), dcol = _mm256_slli_epi32(dcol1, 3);
        const __m128i flat4 = _mm_packs_epi32(_mm_srai_epi32(r.colStart, 16), _mm_srai_epi32(r.colStart, 16));
        const __m256i flatFrag = _mm256_broadcastsi128_si256(flat4);
        __m256 vfi = _mm256_setr_ps(0.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f);
        const auto texRow = tex.template AtRow8<kQRow>(tex.AtRow(r.s, r.t, r.q), n);
        const __m256i atestRef8 = _mm256_broadcastsi128_si256(atestRef),
                      atestFlip8 = _mm256_broadcastsi128_si256(atestFlip);

        // One step at pixel i. kPart: 0 eight pixels of the row; otherwise the row's last pixels, lanes
        // outside `valid` past its end, read and written back unchanged (1: all eight lanes, 2: the first
        // four) or (3) neither read nor written (masked loads and stores).
        auto step = [&]<int kPart>(int i, __m256i valid) QZ_INLINE {
            auto load = [&](const uint32_t* a) QZ_INLINE {
                if constexpr (kPart == 3)
                    return _mm256_maskload_epi32(reinterpret_cast<const int*>(a), valid);
                if constexpr (kPart == 2)
                    return _mm256_zextsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)));
                return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
            };
            auto store = [&](uint32_t* a, __m256i v) QZ_INLINE {
                if constexpr (kPart == 3) {
                    _mm256_maskstore_epi32(reinterpret_cast<int*>(a), valid, v);
                } else if constexpr (kPart == 2) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(a), _mm256_castsi256_si128(v));
                } else {
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(a), v);
                }
            };
            const __m256i z24 = _mm256_srli_epi32(vz, 8);
            vz = _mm256_add_epi32(vz, vdz);
            const __m256 fi = vfi;
            if (kTexture) vfi = _mm256_add_ps(vfi, eight);
            const __m256i c0 = col;
            if (kGouraud) col = _mm256_add_epi32(col, dcol);
            __m256i zold = zero, keep = zero;
            if (depthRead) {
                zold = load(zp + i);
                const __m256i zb = _mm256_and_si256(zold, low24);
                if (kMode == 1 || gequalOnly) {
                    keep = _mm256_cmpgt_epi32(zb, z24);
                } else if (!always) {
                    keep = _mm256_xor_si256(_mm256_cmpgt_epi32(z24, zb), ones);
                }
            }
            if constexpr (kPart != 0) keep = _mm256_or_si256(keep, _mm256_xor_si256(valid, ones));
            const int keepBits = _mm256_movemask_ps(_mm256_castsi256_ps(keep));
            if (keepBits == 0xFF) return;
            __m256i tlo = zero, thi = zero;
            // (A step of four pixels or fewer writes only the low halves: the texels of those.)
            if constexpr (kTexture) tex.template Texels8<kC, kQRow, kPart == 2>(texRow, fi, &tlo, &thi);
            __m256i flo = flatFrag, fhi = flatFrag;
            if (kGouraud) {
                // Pixels 1-3 of each half one step after another (modulo 2^32, the same sums).
                const __m256i c1 = _mm256_add_epi32(c0, dcol1), c2 = _mm256_add_epi32(c1, dcol1),
                              c3 = _mm256_add_epi32(c2, dcol1);
                flo = _mm256_packs_epi32(_mm256_srai_epi32(c0, 16), _mm256_srai_epi32(c1, 16));
                fhi = _mm256_packs_epi32(_mm256_srai_epi32(c2, 16), _mm256_srai_epi32(c3, 16));
            }
            if constexpr (!kTexture) {
                tlo = flo;
                thi = fhi;
            }
            __m256i lo = tlo, hi = thi;
            if (!decal) {
                lo = _mm256_min_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(tlo, flo), 7), max255);
                hi = _mm256_min_epi16(_mm256_srli_epi16(_mm256_mullo_epi16(thi, fhi), 7), max255);
            }
            if (!kC && !st.tcc) {
                lo = _mm256_or_si256(_mm256_andnot_si256(alphaLanes, lo), _mm256_and_si256(alphaLanes, flo));
                hi = _mm256_or_si256(_mm256_andnot_si256(alphaLanes, hi), _mm256_and_si256(alphaLanes, fhi));
            }
            __m256i fail = zero;
            int failBits = 0;
            if (ate) {
                const __m256i a32 = _mm256_srli_epi32(_mm256_packus_epi16(lo, hi), 24);
                __m256i cmp = zero;
                if (atestKind == 0) {
                    cmp = _mm256_cmpgt_epi32(atestRef8, a32);
                } else if (atestKind == 1) {
                    cmp = _mm256_cmpeq_epi32(a32, atestRef8);
                } else if (atestKind == 2) {
                    cmp = _mm256_cmpgt_epi32(a32, atestRef8);
                }
                fail = _mm256_andnot_si256(keep, _mm256_xor_si256(cmp, atestFlip8));
                failBits = _mm256_movemask_ps(_mm256_castsi256_ps(fail));
            }
            __m256i oldc = zero;
            if (kBlend != 0 || keepBits != 0 || failBits != 0) oldc = load(fp + i);
            if constexpr (kBlend != 0) {
                lo = blend.template Mix8<kC>(lo, _mm256_unpacklo_epi8(oldc, zero));
                hi = blend.template Mix8<kC>(hi, _mm256_unpackhi_epi8(oldc, zero));
            }
            __m256i out = _mm256_packus_epi16(lo, hi);
            const __m256i nz = _mm256_or_si256(_mm256_and_si256(zold, hi8), z24);
            if (failBits != 0) {
                __m256i colourKeep = keep, depthKeep = keep;
                if (afail != 2) depthKeep = _mm256_or_si256(depthKeep, fail);
                if (afail == 0 || afail == 2) colourKeep = _mm256_or_si256(colourKeep, fail);
                if (afail == 3) out = Select8(_mm256_and_si256(fail, hi8), out, oldc);
                store(fp + i, Select8(colourKeep, out, oldc));
                if (depthWrite) store(zp + i, Select8(depthKeep, nz, zold));
            } else if (keepBits == 0) {
                store(fp + i, out);
                if (depthWrite) store(zp + i, nz);
            } else {
                store(fp + i, Select8(keep, out, oldc));
                if (depthWrite) store(zp + i, Select8(keep, nz, zold));
            }
        };
        int i = 0;
        for (; i + 8 <= n; i += 8) step.template operator()<0>(i, ones);
        if (i == n) return;
        // The last pixels: lanes past the row end may rewrite their old values where up to three pixels
        // past it are this rasteriser's and inside local memory (as the four-wide spans' last group does);
        // otherwise masked.
        const int rest = n - i;
        const __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(rest), lanes);
        if (!r.tailInRow) {
            step.template operator()<3>(i, valid);
        } else if (rest > 4) {
            step.template operator()<1>(i, valid);
        } else {
            step.template operator()<2>(i, valid);
        }
    }
#endif

    // Pixel i of the row through the scalar pipeline: the tail of a span whose last group cannot be read as
    // a whole. The same arithmetic as a lane of Groups.
    QZ_INLINE void ShadeOne(const Row& r, const int32_t* c0s, const int32_t* dcs, int i) const {
        const uint32_t fa = r.fa0 + uint32_t(i) * 4u, za = r.za0 + uint32_t(i) * 4u;
        const uint32_t z24 = (r.zc0 + uint32_t(i) * r.dzc) >> 8;
        uint32_t zold = 0;
        if (zte) {
            zold = Load32(m, za);
            const uint32_t zb = zold & 0xFFFFFFu;
            if (!always && (gequal ? z24 < zb : z24 <= zb)) return;
        }
        const uint32_t fr = uint32_t((c0s[0] + i * dcs[0]) >> 16), fg = uint32_t((c0s[1] + i * dcs[1]) >> 16),
                       fb = uint32_t((c0s[2] + i * dcs[2]) >> 16),
                       fal = uint32_t((c0s[3] + i * dcs[3]) >> 16);
        uint32_t tc = fr | (fg << 8) | (fb << 16) | (fal << 24);
        if (kTexture) tc = tex.FetchScalar(r.s, r.t, r.q, i);
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
        // A pixel failing the alpha test writes (AFAIL) 0 nothing, 1 its colour, 2 its depth, 3 its colour
        // but not its alpha.
        bool writeColour = true, writeZ = zwrite;
        uint32_t outAlpha = ca;
        if (ate && !AlphaPasses(st, ca)) {
            if (afail == 0) return;
            writeZ = afail == 2 && zwrite;
            writeColour = afail != 2;
            if (afail == 3) outAlpha = Load32(m, fa) >> 24;
        }
        if (writeColour) Colour(fa, cr, cg, cb, ca, outAlpha);
        if (writeZ) Store32(m, za, (zold & 0xFF000000u) | z24);
    }

    // ShadeOne's blend and frame write (the blend takes the fragment's alpha `ca`; `outAlpha` is written).
    QZ_INLINE void Colour(uint32_t fa, uint32_t cr, uint32_t cg, uint32_t cb, uint32_t ca,
                          uint32_t outAlpha) const {
        if (kBlend != 0 && !(st.pabe && ca < 0x80)) {
            // ((A - B) * C >> 7) + D, clamped.
            const uint32_t d = Load32(m, fa);
            const int c = st.alphaC == 0 ? int(ca) : (st.alphaC == 1 ? int(d >> 24) : int(st.fix));
            auto mix = [&](int cs, int cd) {
                return uint32_t(std::clamp(BlendChannel(st, cs, cd, c), 0, 255));
            };
            cr = mix(int(cr), int(d & 255));
            cg = mix(int(cg), int((d >> 8) & 255));
            cb = mix(int(cb), int((d >> 16) & 255));
        }
        Store32(m, fa, cr | (cg << 8) | (cb << 16) | (outAlpha << 24));
    }

    // A row of a copyRows primitive whose u lands on texel centres: with s - half an integer (half 0.5
    // when bilinear, else 0) and small, pixel i has u exactly s - half + i, so its horizontal weight is
    // zero, and v is the same for the whole row. Each pixel is then the texel below it in texture row v0,
    // or (bilinear, v between rows) the vertical mix of texel rows v0 and v0 + 1 with the row's weight.
    // When the row's texels lie side by side in memory (no wrap inside the row) and apart from the row's
    // pixels, that is a copy or a mix of two runs of texels. Returns false (nothing written) otherwise.
    QZ_INLINE bool CopyRow(const Row& r) const {
        const float half = kBilinear ? 0.5f : 0.0f;
        const float uf = r.s - half;
        if (!(uf >= -4096.0f && uf <= 4096.0f) || r.n > 4096) return false;
        const int ua = int(uf);
        if (float(ua) != uf) return false;
        // Clamp-then-mask of one axis; the clamp moves by at most one per step and the mask wraps down, so
        // ends n - 1 apart mean no wrap in between.
        const auto wrapU = [&](int u) { return std::min(std::max(u, tex.umin), tex.umax) & tex.umask; };
        const auto wrapV = [&](int v) { return std::min(std::max(v, tex.vmin), tex.vmax) & tex.vmask; };
        const int wa = wrapU(ua);
        if (wrapU(ua + r.n - 1) - wa != r.n - 1) return false;
        const int32_t vq = ToFix8(r.t - half);
        const uint32_t fv = kBilinear ? uint32_t(vq & 255) : 0u;
        const int va = vq >> 8;
        const size_t bytes = size_t(r.n) * 4u;
        const uint8_t* dst = reinterpret_cast<const uint8_t*>(r.fp);
        auto runAt = [&](int v) {
            return tex.texBytes + (size_t(uint32_t(wrapV(v)) * tex.tstride + uint32_t(wa))) * 4u;
        };
        auto apart = [&](const uint8_t* src) { return src + bytes <= dst || dst + bytes <= src; };
        const uint8_t* top = runAt(va);
        if (!apart(top)) return false;
        if (fv == 0) {
            std::memcpy(r.fp, top, bytes);
            return true;
        }
        const uint8_t* bot = runAt(va + 1);
        if (!apart(bot)) return false;
        // (a * (256 - fv) + b * fv) >> 8 per channel, as the bilinear filter's vertical step.
        const __m128i zero = _mm_setzero_si128(), w0 = _mm_set1_epi16(int16_t(256 - fv)),
                      w1 = _mm_set1_epi16(int16_t(fv));
        auto mix = [&](__m128i a, __m128i b) QZ_INLINE {
            return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w0), _mm_mullo_epi16(b, w1)), 8);
        };
        int i = 0;
#if defined(QZ_SPANS_8WIDE)
        // Eight pixels a step, the same arithmetic lane for lane.
        const __m256i zero8 = _mm256_setzero_si256(), w08 = _mm256_set1_epi16(int16_t(256 - fv)),
                      w18 = _mm256_set1_epi16(int16_t(fv));
        auto mix8 = [&](__m256i a, __m256i b) QZ_INLINE {
            return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, w08), _mm256_mullo_epi16(b, w18)),
                                     8);
        };
        for (; i + 8 <= r.n; i += 8) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + size_t(i) * 4u));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bot + size_t(i) * 4u));
            const __m256i lo = mix8(_mm256_unpacklo_epi8(a, zero8), _mm256_unpacklo_epi8(b, zero8));
            const __m256i hi = mix8(_mm256_unpackhi_epi8(a, zero8), _mm256_unpackhi_epi8(b, zero8));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.fp + i), _mm256_packus_epi16(lo, hi));
        }
#endif
        for (; i + 4 <= r.n; i += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + size_t(i) * 4u));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bot + size_t(i) * 4u));
            const __m128i lo = mix(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
            const __m128i hi = mix(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(r.fp + i), _mm_packus_epi16(lo, hi));
        }
        for (; i < r.n; ++i) {
            uint32_t a, b;
            std::memcpy(&a, top + size_t(i) * 4u, 4);
            std::memcpy(&b, bot + size_t(i) * 4u, 4);
            r.fp[i] = Bilerp(a, a, b, b, 0, fv);
        }
        return true;
    }

#if defined(QZ_SPANS_8WIDE)
    // Every row of the primitive (as ShadeRows) through the loop of one state kind, kMode and kQRow as
    // Groups8's: the kind is the same for all rows, so it is chosen once for them rather than on each row.
    // Returns the pixels shaded here.
    template <int kMode, bool kQRow, class General>
    QZ_INLINE uint64_t RowsOf(const Rasterizer::SpanRow* rows, size_t count, General& general) const {
        return ForEachRow(m, st, rows, count, general, [&](const Rasterizer::SpanRow& sr) QZ_INLINE {
            const Row r = StartRow(sr.y, sr.x0, sr.x1);
            if (!(kMode == 2 && copyRows && CopyRow(r))) Groups8<kMode, kQRow>(r);
            return r.n;
        });
    }
    // The rows of the primitive, eight pixels per step: through the common state's loops (rows with q the
    // same along them, whose texel coordinates' steps then need no division, have their own) or the loop
    // for any state.
    template <class General>
    QZ_INLINE uint64_t Rows(const Rasterizer::SpanRow* rows, size_t count, General& general) const {
        const bool qRow = !kPersp || tex.qConst;
        if constexpr (kCommonLoop) {
            if (commonState)
                return qRow ? RowsOf<1, true>(rows, count, general) : RowsOf<1, false>(rows, count, general);
        }
        if constexpr (kColourOnlyLoop) {
            if (colourOnly)
                return qRow ? RowsOf<2, true>(rows, count, general) : RowsOf<2, false>(rows, count, general);
        }
        return RowsOf<0, !kPersp>(rows, count, general);
    }
#else
    // One row: per-row attribute values, then four pixels per step and the scalar tail if any. Returns the
    // row's pixel count.
    QZ_INLINE int Shade(int y, int x0, int x1) const {
        const Row r = StartRow(y, x0, x1);
        const int n = r.n;
        if (copyRows && CopyRow(r)) return n;
        // A last group of fewer than four pixels runs masked when its full 16 bytes lie inside local memory
        // (lanes past the span end rewrite their old values).
        const int groupEnd = r.tailInRow ? n : (n & ~3);
        int i = 0;
        if (groupEnd > i) {
            if constexpr (kCommonLoop) {
                if (commonState) {
                    Groups<true>(r, i, groupEnd);
                } else {
                    Groups<false>(r, i, groupEnd);
                }
            } else {
                Groups<false>(r, i, groupEnd);
            }
        }
        if (i < n) {
            alignas(16) int32_t c0s[4], dcs[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(c0s), r.colStart);
            _mm_store_si128(reinterpret_cast<__m128i*>(dcs), r.colStep1);
            for (; i < n; ++i) ShadeOne(r, c0s, dcs, i);
        }
        return n;
    }
#endif
};

// The lines of a primitive's first rows, fetched before its span is set up (which then hides their
// latency).
QZ_INLINE inline void PrefetchFirstRows(const uint8_t* m, const DrawState& st,
                                        const Rasterizer::SpanRow* rows, size_t count) {
    for (size_t j = 0; j < kPrefetchRows && j < count; ++j)
        PrefetchRow(m, st, rows[j].y, rows[j].x0, rows[j].x1);
}

// Every row of a primitive through `span` (the four-wide spans; the eight-wide ones have VectorSpan::Rows),
// as ForEachRow (the first rows fetched by PrefetchFirstRows). Returns the pixels the span shaded.
template <class Span, class General>
QZ_INLINE inline uint64_t ShadeRows(const Span& span, const uint8_t* m, const DrawState& st,
                                    const Rasterizer::SpanRow* rows, size_t count, General&& general) {
    return ForEachRow(m, st, rows, count, general, [&](const Rasterizer::SpanRow& sr) QZ_INLINE {
        return span.Shade(sr.y, sr.x0, sr.x1);
    });
}

}  // namespace console::gs::raster
