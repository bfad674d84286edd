// The vector spans, all rows of a primitive in one call, four pixels per step: textured (MODULATE or DECAL,
// 32-bit or 8-bit-palette textures, repeat/clamp, nearest or bilinear) or untextured Gouraud, optional
// blend (any formula, clamped), 32-bit frame, optional 24-bit Z test: the common cases of the game's
// drawing. Every pixel gets exactly the arithmetic of the general path (the scalar tail too), so a pixel's
// value does not depend on the path or on where it falls in its span.
#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>
#include <utility>

#include "console/gs/rasterizer.h"
#include "console/gs/rasterizer_vector_span.h"

namespace console::gs {

using namespace raster;

template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
void Rasterizer::RowsTexFast(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count) {
    PrefetchFirstRows(mem_.Data(), st, rows, count);
    const VectorSpan<kTexture, kBilinear, kBlend, kPersp, kGouraud> span(st, p, mem_.Data(), sc_);
    pixels_ += ShadeRows(span, mem_.Data(), st, rows, count,
                         [&](const SpanRow& r) { SpanGeneral(st, p, r.y, r.x0, r.x1); });
}

// The vector spans of a state: by key, bit 0 Gouraud, bit 1 perspective (STQ), bits 2-3 blend kind, bit 4
// bilinear; untextured ones by Gouraud and blend kind. Blend kind 3 does not occur.
Rasterizer::RowsFn Rasterizer::VectorSpansFor(const DrawState& st, bool avx2) {
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
    const int blendKind = !st.blending                                                             ? 0
                          : (st.alphaA == 0 && st.alphaB == 1 && st.alphaC == 0 && st.alphaD == 1) ? 2
                                                                                                   : 1;
    if (st.textured) {
        const int key =
            (st.bilinearMag ? 16 : 0) | (blendKind << 2) | (st.uvTexels ? 0 : 2) | (st.gouraud ? 1 : 0);
        return avx2 ? WideSpansFor(size_t(key), true) : kTexSpans[size_t(key)];
    }
    // Gouraud or blended without a texture.
    const size_t key = size_t(blendKind * 2 + (st.gouraud ? 1 : 0));
    return avx2 ? WideSpansFor(key, false) : kColourSpans[key];
}

}  // namespace console::gs
