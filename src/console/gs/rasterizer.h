// Turns primitives into pixels: coverage (edge functions on 12.4 fixed-point window coordinates, sampled
// at pixel centres with the top-left rule, so two triangles sharing an edge never draw a pixel twice),
// attribute interpolation and the pixel pipeline (texture, fog, alpha test, depth test, destination alpha
// test, blend, colour clamp, frame mask). All arithmetic is deterministic: the same primitives give the
// same pixels on every run.
//
// By stage: rasterizer_setup.cpp (primitives to rows and attribute planes), rasterizer_spans.cpp (span
// dispatch, the flat fill and the general per-pixel path), rasterizer_vector.cpp (the vector spans), with
// texturing and blending in rasterizer_texture.h and rasterizer_blend.h so they fold into the span loops.
#pragma once

#include <cstddef>
#include <cstdint>
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
    // Fog colour.
    uint32_t fogR = 0, fogG = 0, fogB = 0;
};

class Rasterizer {
public:
    explicit Rasterizer(LocalMemory& mem) : mem_(mem) {}

    // `flat` is the vertex whose colour (and, for sprites, depth and fog) a flat primitive uses.
    void DrawTriangle(const DrawState& st, const GsVertex& v0, const GsVertex& v1, const GsVertex& v2,
                      const GsVertex& flat);
    void DrawSprite(const DrawState& st, const GsVertex& v0, const GsVertex& v1);
    void DrawLine(const DrawState& st, const GsVertex& v0, const GsVertex& v1);
    void DrawPoint(const DrawState& st, const GsVertex& v);

    // Pixels the pipeline has processed (covered and inside the scissor) since construction.
    uint64_t PixelsProcessed() const { return pixels_; }

    static bool TexFastApplies(const DrawState& st);
    // Whether the vector spans may use the VEX-encoded copy (when the processor has AVX2). Both copies give
    // the same bits; tests switch it off to check the baseline copy too. Returns the previous setting.
    static bool AllowVexSpans(bool allow);

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

private:
    // One row of a primitive: pixels x0..x1 (inclusive) of row y.
    struct SpanRow {
        int y, x0, x1;
    };
    using RowsFn = void (Rasterizer::*)(const DrawState&, const Planes&, const SpanRow*, size_t);
    // What the vector span takes from the drawing state, worked out once per primitive rather than on
    // every row: 16-bit lane constants for texture wrapping and blend selection, and the span itself.
    struct SpanConsts {
        alignas(16) int16_t wrapMin[8], wrapMax[8], wrapMask[8];
        alignas(16) int16_t aS[8], aD[8], bS[8], bD[8], dS[8], dD[8], cSrc[8], cDst[8], cFix[8];
        int32_t strideOne = 0;   // (1, stride) as a 16-bit pair
        bool clampUV = false;    // a clamp on either texture axis (repeat needs only the mask)
        bool texDirect = false;  // no wrapped texel address reaches past the end of local memory
        RowsFn fn = nullptr;     // the vector spans of the state; null: the general path
    };
    // Sets up sc_ for the primitives drawn with `st` until the next call.
    void PrepareSpans(const DrawState& st);
    void Span(const DrawState& st, const Planes& p, int y, int x0, int x1);
    // The rows of one primitive, in order (sc_ prepared for `st`).
    void Spans(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);
    // A row through the scalar pipeline (or the flat fill).
    void SpanGeneral(const DrawState& st, const Planes& p, int y, int x0, int x1);
    template <bool kTex, bool kGouraud>
    void SpanGeneric(const DrawState& st, const Planes& p, int y, int x0, int x1);
    // The vector spans: every row of a primitive with the state decoded once. kBlend: 0 none, 1 any
    // formula, 2 (Cs - Cd) * As + Cd.
    template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
    void RowsTexFast(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);
    template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
    void RowsTexFastAvx2(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);
    template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
    void RowsTexFastBody(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);
    // The vector spans for a state (the VEX-encoded copy when `avx2`).
    static RowsFn VectorSpansFor(const DrawState& st, bool avx2);
    bool SpanFlatFast(const DrawState& st, const Planes& p, int y, int x0, int x1);
    // Flat colour, no texture, blend or tests but depth, 32-bit frame: the vector fill applies.
    static bool FlatFastApplies(const DrawState& st);
    // One row of it; false when the row wraps around the end of local memory.
    bool SpanFlat(const DrawState& st, const Planes& p, int y, int x0, int x1);
    void RowsFlat(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count);

    LocalMemory& mem_;
    uint64_t pixels_ = 0;
    SpanConsts sc_{};
    std::vector<SpanRow> rows_;  // the rows of the primitive being drawn (kept to avoid reallocation)
};

}  // namespace console::gs
