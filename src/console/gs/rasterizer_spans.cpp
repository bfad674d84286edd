// Spans: the rows of a primitive through the pixel pipeline. The set-up of the vector spans for a state,
// the flat fill, and the general path (every state the device accepts, one pixel at a time: texture, fog,
// alpha test, depth test, destination alpha test, blend, colour clamp, frame mask).
#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "console/gs/rasterizer.h"
#include "console/gs/rasterizer_blend.h"
#include "console/gs/rasterizer_internal.h"
#include "console/gs/rasterizer_texture.h"

namespace console::gs {

using namespace raster;

namespace {

// The general path's frame write: the colour with FBA, the frame mask and (unless writeAlpha) the old
// alpha kept, in the frame's format.
QZ_INLINE inline void WriteColour(uint8_t* m, const DrawState& st, uint32_t fa, int fbBytes, int cr, int cg,
                                  int cb, int ca, bool writeAlpha) {
    uint32_t out = uint32_t(cr) | (uint32_t(cg) << 8) | (uint32_t(cb) << 16) |
                   (uint32_t(ca | (st.fba ? 0x80 : 0)) << 24);
    uint32_t keep = st.fbmsk;
    if (!writeAlpha) keep |= 0xFF000000u;
    if (st.fpsm == kPsmCt24) keep |= 0xFF000000u;
    if (keep) out = (out & ~keep) | (((fbBytes == 4) ? Load32(m, fa) : Expand16(Load16(m, fa))) & keep);
    if (fbBytes == 4) {
        Store32(m, fa, out);
    } else {
        Store16(m, fa, Pack16(out));
    }
}

// The general path's depth write, in the depth buffer's format (Z24 keeps the top byte).
QZ_INLINE inline void WriteDepth(uint8_t* m, const DrawState& st, uint32_t za, int zBytes, uint32_t zv) {
    if (zBytes == 2) {
        Store16(m, za, zv);
    } else if (st.zpsm == kPsmZ24) {
        Store32(m, za, (Load32(m, za) & 0xFF000000u) | zv);
    } else {
        Store32(m, za, zv);
    }
}

// The general path's interpolants along a row: depth, colour and fog stepped a pixel at a time, the
// texture coordinates (and q) from the span start.
struct GeneralSteps {
    Lerp z, r, g, b, a, f;
    float s = 0, t = 0, q = 0, ds = 0, dt = 0, dq = 0;
    QZ_INLINE void Step() {
        z.v += z.d;
        r.v += r.d;
        g.v += g.d;
        b.v += b.d;
        a.v += a.d;
        f.v += f.d;
    }
};

template <bool kTex, bool kGouraud>
QZ_INLINE inline GeneralSteps StartSteps(const DrawState& st, const Rasterizer::Planes& p, int y, int x0,
                                         int x1) {
    const int n = x1 - x0 + 1;
    const double py = y + 0.5, pa = x0 + 0.5, pb = x1 + 0.5;
    GeneralSteps g;
    if (p.flatZ) {
        g.z.v = int64_t(p.fz) << 8;
        g.z.d = 0;
    } else {
        g.z.Setup(p.z, pa, pb, py, n, 0.0, double(ZMax(st.zpsm)), 256.0);
    }
    if (kGouraud) {
        g.r.Setup(p.r, pa, pb, py, n, 0.0, 255.0, 65536.0);
        g.g.Setup(p.g, pa, pb, py, n, 0.0, 255.0, 65536.0);
        g.b.Setup(p.b, pa, pb, py, n, 0.0, 255.0, 65536.0);
        g.a.Setup(p.a, pa, pb, py, n, 0.0, 255.0, 65536.0);
    }
    if (st.fogging) g.f.Setup(p.f, pa, pb, py, n, 0.0, 255.0, 65536.0);
    if (kTex) {
        g.s = float(p.s.At(pa, py));
        g.t = float(p.t.At(pa, py));
        g.q = float(p.q.At(pa, py));
        g.ds = float(p.s.dx);
        g.dt = float(p.t.dx);
        g.dq = float(p.q.dx);
    }
    return g;
}

// The general path's depth test of `zv` against the buffer at `za`.
QZ_INLINE inline bool DepthPasses(const uint8_t* m, const DrawState& st, uint32_t za, int zBytes,
                                  uint32_t zv) {
    uint32_t zb = zBytes == 4 ? Load32(m, za) : Load16(m, za);
    if (st.zpsm == kPsmZ24) zb &= 0xFFFFFFu;
    if (st.ztst == kZtstNever) return false;
    if (st.ztst == kZtstGequal && zv < zb) return false;
    if (st.ztst == kZtstGreater && zv <= zb) return false;
    return true;
}

// The general path's colour of pixel `i` of the row: interpolated or flat, textured, fogged.
template <bool kTex, bool kGouraud>
QZ_INLINE inline void PixelColour(const uint8_t* m, const DrawState& st, const Rasterizer::Planes& p,
                                  const GeneralSteps& g, int i, int& cr, int& cg, int& cb, int& ca) {
    if (kGouraud) {
        cr = int(g.r.v >> 16);
        cg = int(g.g.v >> 16);
        cb = int(g.b.v >> 16);
        ca = int(g.a.v >> 16);
    } else {
        cr = p.fr;
        cg = p.fg;
        cb = p.fb;
        ca = p.fa;
    }
    if (kTex) {
        // Coordinates from the span start, as the specialised paths compute them.
        const float fi = float(i);
        const float si = g.s + fi * g.ds, ti = g.t + fi * g.dt;
        float u, v;
        if (st.uvTexels) {
            u = si;
            v = ti;
        } else {
            const float qi = g.q + fi * g.dq;
            const float iq = qi != 0.0f ? 1.0f / qi : 0.0f;
            u = si * iq * float(1u << st.tw);
            v = ti * iq * float(1u << st.th);
        }
        ApplyTextureFunction(st, SampleTexture(m, st, u, v), cr, cg, cb, ca);
    }
    if (st.fogging) {
        const int fv = int(g.f.v >> 16);
        cr = (fv * cr + (255 - fv) * int(st.fogR)) >> 8;
        cg = (fv * cg + (255 - fv) * int(st.fogG)) >> 8;
        cb = (fv * cb + (255 - fv) * int(st.fogB)) >> 8;
    }
}

// What a pixel failing the alpha test still writes (AFAIL); false when it writes nothing.
QZ_INLINE inline bool AlphaFailWrites(uint32_t afail, bool& writeColour, bool& writeAlpha, bool& writeZ) {
    switch (afail) {
        case 0:
            return false;
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
    return true;
}

}  // namespace

// The general path: one row through the scalar pipeline, for every state the device accepts.
template <bool kTex, bool kGouraud>
void Rasterizer::SpanGeneric(const DrawState& st, const Planes& p, int y, int x0, int x1) {
    const int n = x1 - x0 + 1;
    GeneralSteps g = StartSteps<kTex, kGouraud>(st, p, y, x0, x1);
    uint8_t* m = mem_.Data();
    const uint32_t row = uint32_t(y) * st.fbw * 64u;
    const int fbBytes = st.fpsm == kPsmCt32 || st.fpsm == kPsmCt24 ? 4 : 2;
    const int zBytes = st.zpsm == kPsmZ16 || st.zpsm == kPsmZ16S ? 2 : 4;
    pixels_ += uint64_t(n);

    for (int x = x0; x <= x1; ++x, g.Step()) {
        const uint32_t fa = st.fbBase + (row + uint32_t(x)) * uint32_t(fbBytes);
        const uint32_t za = st.zBase + (row + uint32_t(x)) * uint32_t(zBytes);
        const uint32_t zv = uint32_t(uint64_t(g.z.v) >> 8);
        // Depth test first: a failing pixel changes nothing whatever the other tests say.
        if (st.zte && !DepthPasses(m, st, za, zBytes, zv)) continue;
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
        PixelColour<kTex, kGouraud>(m, st, p, g, x - x0, cr, cg, cb, ca);
        bool writeColour = true, writeAlpha = true, writeZ = st.zte && !st.zmsk;
        if (st.ate && !AlphaPasses(st, uint32_t(ca)) &&
            !AlphaFailWrites(st.afail, writeColour, writeAlpha, writeZ))
            continue;
        if (writeColour) {
            if (st.blending && !(st.pabe && ca < 0x80)) {
                BlendPixel(st, readDst(), cr, cg, cb, ca);
            }
            WriteColour(m, st, fa, fbBytes, cr, cg, cb, ca, writeAlpha);
        }
        if (writeZ) WriteDepth(m, st, za, zBytes, zv);
    }
}

// Flat colour, no texture/blend/tests, 32-bit frame, 24-bit Z (or 32-bit Z that always passes, as the
// shadow pictures have): four pixels at a time. Returns false when the state needs the general path.
bool Rasterizer::FlatFastApplies(const DrawState& st) {
    if (st.gouraud || st.textured || st.fogging || st.blending || st.ate || st.date || st.fba) return false;
    if (st.fpsm != kPsmCt32 || st.fbmsk != 0) return false;
    if (st.zte && st.zpsm == kPsmZ32 && st.ztst == kZtstAlways) return true;
    return !(st.zte && (st.zpsm != kPsmZ24 || st.ztst == kZtstNever));
}

// Flat fills of a primitive's rows: the state checked once, lines fetched a few rows ahead.
void Rasterizer::RowsFlat(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count) {
    for (size_t j = 1; j < kPrefetchRows && j < count; ++j)
        PrefetchRow(mem_.Data(), st, rows[j].y, rows[j].x0, rows[j].x1);
    for (size_t j = 0; j < count; ++j) {
        if (j + kPrefetchRows < count) {
            const SpanRow& ahead = rows[j + kPrefetchRows];
            PrefetchRow(mem_.Data(), st, ahead.y, ahead.x0, ahead.x1);
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
    if (st.zpsm == kPsmZ32) {
        // Always passes: the colour, and the depth as the general path steps it (32 bits, no packing).
        std::fill(fp, fp + n, colour);
        if (st.zmsk) return true;
        Lerp z32;
        if (p.flatZ) {
            z32.v = int64_t(p.fz) << 8;
            z32.d = 0;
        } else {
            z32.Setup(p.z, x0 + 0.5, x1 + 0.5, y + 0.5, n, 0.0, double(ZMax(kPsmZ32)), 256.0);
        }
        for (int i = 0; i < n; ++i, z32.v += z32.d) zp[i] = uint32_t(uint64_t(z32.v) >> 8);
        return true;
    }
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
                            ((za & kMask) + uint32_t(n + 3) * 4u <= LocalMemory::kSize) && TailInRow(st, x1);
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

namespace {
bool allowVex = true;
bool forceGeneral = false;
// Counts changes of the two switches: span set-ups made before a change are not reused after it.
uint32_t switchGen = 1;
const bool hasAvx2 = __builtin_cpu_supports("avx2");
}  // namespace

bool Rasterizer::AllowVexSpans(bool allow) {
    const bool old = allowVex;
    allowVex = allow;
    ++switchGen;
    return old;
}

bool Rasterizer::ForceGeneralSpans(bool force) {
    const bool old = forceGeneral;
    forceGeneral = force;
    ++switchGen;
    return old;
}

bool Rasterizer::OwnsAnyRow(int y0, int y1) const {
    if (bandCount_ == 1 || y1 - y0 + 1 >= (bandCount_ << kBandShift)) return true;
    for (int b = y0 >> kBandShift; b <= (y1 >> kBandShift); ++b)
        if (b % bandCount_ == bandIndex_) return true;
    return false;
}

void Rasterizer::PrepareSpans(const DrawState& st) {
    if (st.version != 0 && st.version == preparedFor_ && switchGen == preparedGen_ &&
        bandCount_ == preparedBands_ && st.gouraud == preparedGouraud_)
        return;
    preparedFor_ = st.version;
    preparedGen_ = switchGen;
    preparedBands_ = bandCount_;
    preparedGouraud_ = st.gouraud;
    SpanConsts& k = sc_;
    k.fn = k.fnOneColour = nullptr;
    k.banded = bandCount_ > 1;
    if (forceGeneral) return;
    if (!st.texFast) {
        if (FlatFastApplies(st)) k.fn = &Rasterizer::RowsFlat;
        return;
    }
    PrepareTests(k, st);
    PrepareTexture(k, st);
    PrepareBlend(k, st);
    k.fn = VectorSpansFor(st, allowVex && hasAvx2);
    if (st.gouraud && st.textured && k.fn) {
        DrawState flat = st;
        flat.gouraud = false;
        k.fnOneColour = VectorSpansFor(flat, allowVex && hasAvx2);
    }
}

void Rasterizer::PrepareTests(SpanConsts& k, const DrawState& st) {
    // The tests as the span applies them. ATST 0 never, 1 always, 2 less, 3 less or equal, 4 equal, 5
    // greater or equal, 6 greater, 7 not equal: a pixel fails when (alpha cmp ref) XOR flip, cmp by kind 0
    // less than, 1 equal, 2 greater than, 3 never true.
    static constexpr int kKind[8] = {3, 3, 0, 0, 1, 0, 2, 1};
    static constexpr bool kPassWhenTrue[8] = {true, false, true, true, true, false, true, false};
    k.decal = !st.textured || st.tfx == kTfxDecal;
    k.ate = st.ate && st.atst != 1;
    k.afail = st.afail;
    k.atestKind = kKind[st.atst & 7];
    k.atestRef = int32_t(st.aref) + (st.atst == 3 ? 1 : 0);
    k.atestFlip = kPassWhenTrue[st.atst & 7] ? -1 : 0;
    k.zte = st.zte;
    k.zwrite = st.zte && !st.zmsk;
    // A NEVER test fails every pixel: with AFAIL 1 (the colour written, not the depth) that is the same as no
    // alpha test with depth writes off.
    if (k.ate && st.atst == 0 && k.afail == 1) {
        k.ate = false;
        k.zwrite = false;
    }
    k.gequal = st.ztst == kZtstGequal;
    k.always = st.ztst == kZtstAlways;
    k.gequalOnly = k.zte && !k.always && k.gequal;
}

void Rasterizer::PrepareTexture(SpanConsts& k, const DrawState& st) {
    // Wrap bounds as 16-bit lanes (u in 0-3, v in 4-7), as the span's scalar `texel` applies them. Texel
    // coordinates fit 16 bits (|u| <= 16385), so the clamp-then-mask runs on 16-bit lanes.
    const int uw = int(1u << st.tw), vh = int(1u << st.th);
    const int umin = st.wms ? 0 : INT32_MIN, umax = st.wms ? uw - 1 : INT32_MAX, umask = st.wms ? -1 : uw - 1;
    const int vmin = st.wmt ? 0 : INT32_MIN, vmax = st.wmt ? vh - 1 : INT32_MAX, vmask = st.wmt ? -1 : vh - 1;
    k.texW = float(uw);
    k.texH = float(vh);
    k.umin = umin;
    k.umax = umax;
    k.umask = umask;
    k.vmin = vmin;
    k.vmax = vmax;
    k.vmask = vmask;
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
}

void Rasterizer::PrepareBlend(SpanConsts& k, const DrawState& st) {
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
        if (j + 1 < count) PrefetchRow(mem_.Data(), st, rows[j + 1].y, rows[j + 1].x0, rows[j + 1].x1);
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
    } else if (forceGeneral || !SpanFlatFast(st, p, y, x0, x1)) {
        SpanGeneric<false, false>(st, p, y, x0, x1);
    }
}

// Whether the vector span applies to a state: textured, or untextured with Gouraud shading or blending
// (flat unblended fills have their own path).
bool Rasterizer::TexFastApplies(const DrawState& st) {
    const bool common = st.fpsm == kPsmCt32 && st.fbmsk == 0 && !st.fogging && !st.date && !st.fba &&
                        (!st.zte || (st.zpsm == kPsmZ24 && st.ztst != kZtstNever)) &&
                        (!st.blending || st.colclamp);
    if (!common) return false;
    if (!st.textured) return st.gouraud || st.blending;
    return (st.tpsm == kPsmCt32 || (st.tpsm == kPsmT8 && st.clut)) && st.wms <= 1 && st.wmt <= 1 &&
           (st.tfx == kTfxModulate || st.tfx == kTfxDecal);
}

}  // namespace console::gs
