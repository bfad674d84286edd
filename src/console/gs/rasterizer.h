// Turns primitives into pixels: coverage (edge functions on 12.4 fixed-point window coordinates, sampled
// at pixel centres with the top-left rule, so two triangles sharing an edge never draw a pixel twice),
// attribute interpolation and the pixel pipeline (texture, fog, alpha test, depth test, destination alpha
// test, blend, colour clamp, frame mask). All arithmetic is deterministic: the same primitives give the
// same pixels on every run.
//
// By stage: rasterizer_setup.cpp (primitives to rows and attribute planes), rasterizer_spans.cpp (span
// dispatch, the flat fill and the general per-pixel path), rasterizer_vector.cpp (the vector spans; eight
// pixels a step in rasterizer_vector_avx2.cpp where the processor has AVX2), with
// texturing and blending in rasterizer_texture.h and rasterizer_blend.h so they fold into the span loops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "console/gs/local_memory.h"

namespace console::gs {

// A vertex as the device queued it: window coordinates (XYOFFSET already subtracted, 12.4 fixed point).
struct GsVertex {
    int32_t x, y;
    uint32_t z;
    uint8_t r, g, b, a;
    float s, t, q;
    uint32_t u, v;  // 10.4 fixed point texels
    uint8_t fog;
};

// Everything the pixel pipeline needs, decoded from the registers of the primitive's context.
struct DrawState {
    // Primitive attributes.
    bool gouraud = false, textured = false, fogging = false, blending = false, uvTexels = false;
    // Frame buffer: byte address in local memory, width in 64-pixel units, format, write mask.
    uint32_t fbBase = 0, fbw = 1, fpsm = 0, fbmsk = 0;
    // Depth buffer (same width as the frame buffer).
    uint32_t zBase = 0, zpsm = 0x31;
    bool zmsk = false, zte = false;
    uint32_t ztst = 1;
    // Tests.
    bool ate = false;
    uint32_t atst = 1, aref = 0, afail = 0;
    bool date = false, datm = false;
    // Blend.
    uint32_t alphaA = 0, alphaB = 0, alphaC = 0, alphaD = 0, fix = 0;
    bool pabe = false, fba = false, colclamp = true;
    // Scissor (inclusive, window pixels).
    int32_t scx0 = 0, scx1 = 0, scy0 = 0, scy1 = 0;
    // Texture.
    uint32_t tBase = 0, tbw = 1, tpsm = 0, tw = 0, th = 0, tfx = 0;
    bool tcc = true, bilinearMag = false;  // bilinear filtering for this primitive
    uint32_t wms = 0, wmt = 0, minu = 0, maxu = 0, minv = 0, maxv = 0;
    uint32_t ta0 = 0, ta1 = 0x80;
    bool aem = false;
    const uint32_t* clut = nullptr;  // 256 RGBA entries in index order (CSM1 order already undone)
    bool texFast = false;            // the vector span applies (set by the device from TexFastApplies)
    // 8-bit palette textures: the texels through the palette, four bytes each at the indices' places (texel
    // v * tbw * 64 + u), for the vector span; null: read from local memory (see PaletteTextures).
    const uint32_t* texels32 = nullptr;
    // Fog colour.
    uint32_t fogR = 0, fogG = 0, fogB = 0;
    // Non-zero: names these settings; a state with the same non-zero version has the same settings (the
    // rasteriser keeps what it worked out from them).
    uint64_t version = 0;

    bool operator==(const DrawState&) const = default;
};

// Storage for a rasteriser's row list: the program's own heap, or (for the band workers, which must leave
// the game's heap to the game's thread) the C library's.
template <class T>
struct RowAllocator {
    using value_type = T;
    bool host = false;
    RowAllocator() = default;
    explicit RowAllocator(bool fromHost) : host(fromHost) {}
    template <class U>
    RowAllocator(const RowAllocator<U>& o) : host(o.host) {}
    T* allocate(size_t n) {
        if (!host) return static_cast<T*>(::operator new(n * sizeof(T)));
        void* p = std::malloc(n * sizeof(T));
        if (!p) std::abort();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) {
        if (host) {
            std::free(p);
        } else {
            ::operator delete(p);
        }
    }
    bool operator==(const RowAllocator& o) const { return host == o.host; }
};

class Rasterizer {
public:
    // `hostRows`: keep the row list out of the program's heap (a rasteriser running on another thread).
    explicit Rasterizer(LocalMemory& mem, bool hostRows = false)
        : mem_(mem), rows_(RowAllocator<SpanRow>(hostRows)) {}

    // Rows are dealt out in bands of kBandRows: band b goes to worker b % count. A rasteriser given worker
    // `index` of `count` draws only its own rows (count 1: every row).
    static constexpr int kBandShift = 4;
    void SetBand(int index, int count) {
        bandIndex_ = index;
        bandCount_ = count;
        bandMask_ = (count & (count - 1)) == 0 ? count - 1 : -1;
    }
    // Whose band b is (0..count-1, b of any sign): a mask when the count is a power of two.
    int BandOwner(int b) const {
        return bandMask_ >= 0 ? (b & bandMask_) : ((b % bandCount_) + bandCount_) % bandCount_;
    }
    bool OwnsRow(int y) const { return bandCount_ == 1 || BandOwner(y >> kBandShift) == bandIndex_; }
    bool OwnsAnyRow(int y0, int y1) const;

    // `flat` is the vertex whose colour (and, for sprites, depth and fog) a flat primitive uses.
    void DrawTriangle(const DrawState& st, const GsVertex& v0, const GsVertex& v1, const GsVertex& v2,
                      const GsVertex& flat);
    void DrawSprite(const DrawState& st, const GsVertex& v0, const GsVertex& v1);
    void DrawLine(const DrawState& st, const GsVertex& v0, const GsVertex& v1);
    void DrawPoint(const DrawState& st, const GsVertex& v);

    // Pixels the pipeline has processed (covered and inside the scissor) since construction.
    uint64_t PixelsProcessed() const { return pixels_; }

    static bool TexFastApplies(const DrawState& st);
    // Whether the vector spans may take eight pixels a step (when the processor has AVX2). Both give the
    // same bits; tests switch it off to check the four-wide spans too. Returns the previous setting.
    static bool AllowVexSpans(bool allow);
    // Sends every primitive through the general (scalar) path when set: tests compare the other paths with
    // it. Returns the previous setting.
    static bool ForceGeneralSpans(bool force);
    // Sends every triangle through the general row walk when set (not the short path of small ones): tests
    // compare the two. Returns the previous setting.
    static bool ForceGeneralSetup(bool force);
    // Whether triangles may be set up with AVX2 (when the processor has it): four planes and eight pixel
    // centres a step. Both give the same bits; tests switch it off to check the other set-up too. Returns the
    // previous setting.
    static bool AllowVexSetup(bool allow);

    struct Plane {
        double c, dx, dy;  // value at window pixel position (px, py) = c + dx * px + dy * py
        double At(double px, double py) const { return c + dx * px + dy * py; }
    };
    struct Planes {
        Plane r, g, b, a, z, f, s, t, q;
        uint8_t fr, fg, fb, fa, ff;  // flat values
        uint32_t fz;
        bool flatZ;
    };
    // One row of a primitive: pixels x0..x1 (inclusive) of row y.
    struct SpanRow {
        int y, x0, x1;
    };

private:
    using RowsFn = void (Rasterizer::*)(const DrawState&, const Planes&, const SpanRow*, size_t);
    // What the vector span takes from the drawing state, worked out once per state rather than on
    // every row: 16-bit lane constants for texture wrapping and blend selection, and the span itself.
    struct SpanConsts {
        alignas(16) int16_t wrapMin[8], wrapMax[8], wrapMask[8];
        alignas(16) int16_t aS[8], aD[8], bS[8], bD[8], dS[8], dD[8], cSrc[8], cDst[8], cFix[8];
        int32_t strideOne = 0;   // (1, stride) as a 16-bit pair
        bool clampUV = false;    // a clamp on either texture axis (repeat needs only the mask)
        bool texDirect = false;  // no wrapped texel address reaches past the end of local memory
        bool banded = false;     // rows shared out among workers (see TailInRow)
        RowsFn fn = nullptr;     // the vector spans of the state; null: the general path
        // For a textured Gouraud state, the same spans with a flat colour (the planes' flat values): for
        // triangles with one colour at every vertex, whose colour planes are that colour everywhere.
        RowsFn fnOneColour = nullptr;
        // The vector span's settings that depend only on the state (see VectorSpan): depth and alpha tests,
        // texture size and wrap as clamp-then-mask bounds.
        bool decal = false, ate = false, zte = false, zwrite = false, gequal = false, always = false;
        bool gequalOnly = false;
        int atestKind = 3;
        uint32_t afail = 0;
        int32_t atestRef = 0, atestFlip = 0;
        float texW = 1, texH = 1;
        int umin = 0, umax = 0, umask = 0, vmin = 0, vmax = 0, vmask = 0;
    };
    // Sets up sc_ for the primitives drawn with `st` until the next call; nothing to do when it is set up
    // for the same version of the state already (the device's state, or a copy of it with Gouraud shading
    // off, as sprites and points draw).
    void PrepareSpans(const DrawState& st);
    // Its steps for the vector spans: the alpha and depth tests, the texture's size and wrap, the blend.
    static void PrepareTests(SpanConsts& k, const DrawState& st);
    static void PrepareTexture(SpanConsts& k, const DrawState& st);
    static void PrepareBlend(SpanConsts& k, const DrawState& st);
    void Span(const DrawState& st, const Planes& p, int y, int x0, int x1);
    // The rows of one primitive, in order (sc_ prepared for `st`).
    void Spans(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);
    // A triangle's rows (its planes in planes_, the spans prepared for its state).
    void TriangleSpans(const DrawState& st, const GsVertex& a, const GsVertex& b, const GsVertex& c,
                       const GsVertex& flat, const SpanRow* rows, size_t count);
    // A row through the scalar pipeline (or the flat fill).
    void SpanGeneral(const DrawState& st, const Planes& p, int y, int x0, int x1);
    template <bool kTex, bool kGouraud>
    void SpanGeneric(const DrawState& st, const Planes& p, int y, int x0, int x1);
    // The vector spans: every row of a primitive with the state decoded once. kBlend: 0 none, 1 any
    // formula, 2 (Cs - Cd) * As + Cd.
    template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
    void RowsTexFast(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);
    // The same for processors with AVX2, eight pixels per step (rasterizer_vector_avx2.cpp).
    template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
    void RowsTexFastAvx2(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);
    // Those by the key VectorSpansFor works out.
    static RowsFn WideSpansFor(size_t key, bool textured);
    // The vector spans for a state (the eight-wide AVX2 ones when `avx2`).
    static RowsFn VectorSpansFor(const DrawState& st, bool avx2);
    bool SpanFlatFast(const DrawState& st, const Planes& p, int y, int x0, int x1);
    // Flat colour, no texture, blend or tests but depth, 32-bit frame: the vector fill applies.
    static bool FlatFastApplies(const DrawState& st);
    // One row of it; false when the row wraps around the end of local memory.
    bool SpanFlat(const DrawState& st, const Planes& p, int y, int x0, int x1);
    void RowsFlat(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);

    // Whether a row's last group of four may run masked past the row end (rewriting the old values of up
    // to three pixels beyond it): only when those pixels are this rasteriser's too.
    bool TailInRow(const DrawState& st, int x1) const {
        return bandCount_ == 1 || uint32_t(x1) + 3u < st.fbw * 64u;
    }

    LocalMemory& mem_;
    uint64_t pixels_ = 0;
    SpanConsts sc_{};
    uint64_t preparedFor_ = 0;  // the state version sc_ holds (0: none)
    uint32_t preparedGen_ = 0;  // the span switches' generation then
    int preparedBands_ = 0;     // and the band count
    // And the state's Gouraud setting (sprites and points draw a copy of the state with it off).
    bool preparedGouraud_ = false;
    // The planes of the triangle being drawn: only those its state uses are worked out (the others keep
    // old values, which its spans do not use).
    Planes planes_{};
    // The rows of the primitive being drawn (kept to avoid reallocation).
    std::vector<SpanRow, RowAllocator<SpanRow>> rows_;
    int bandIndex_ = 0, bandCount_ = 1;
    int bandMask_ = 0;  // bandCount_ - 1 when that is a power of two, else -1
};

}  // namespace console::gs
