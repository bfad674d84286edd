// The vector spans eight pixels per step, for processors with AVX2 (chosen at run time, see PrepareSpans):
// the code of rasterizer_vector.cpp with a wider step (a row's last pixels a masked step of eight), lane for
// lane the same arithmetic, so the same bits.
//
// Only the functions defined below the target switch use AVX2. The span headers are read under other
// names here (namespace raster_avx2), so that no inline function compiled for AVX2 can stand in for the
// baseline copy of the same name in another file. The target has no FMA: no multiply and add can be fused,
// which would round differently from the other paths.
#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "console/gs/gs_registers.h"
#include "console/gs/local_memory.h"
#include "console/gs/rasterizer.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#define QZ_SPANS_8WIDE 1
#define raster raster_avx2
#include "console/gs/rasterizer_vector_span.h"

namespace console::gs {

using namespace raster;

template <bool kTexture, bool kBilinear, int kBlend, bool kPersp, bool kGouraud>
void Rasterizer::RowsTexFastAvx2(const DrawState& st, const Planes& p, const SpanRow* rows, size_t count) {
    PrefetchFirstRows(mem_.Data(), st, rows, count);
    const VectorSpan<kTexture, kBilinear, kBlend, kPersp, kGouraud> span(st, p, mem_.Data(), sc_);
    auto general = [&](const SpanRow& r) { SpanGeneral(st, p, r.y, r.x0, r.x1); };
    pixels_ += span.Rows(rows, count, general);
}

// By the keys of VectorSpansFor.
Rasterizer::RowsFn Rasterizer::WideSpansFor(size_t key, bool textured) {
    static constexpr auto kTexSpans = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<RowsFn, sizeof...(I)>{
            {&Rasterizer::RowsTexFastAvx2<true, ((I >> 4) & 1) != 0, int((I >> 2) & 3) % 3,
                                          ((I >> 1) & 1) != 0, (I & 1) != 0>...}};
    }
    (std::make_index_sequence<32>{});
    static constexpr auto kColourSpans = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<RowsFn, sizeof...(I)>{
            {&Rasterizer::RowsTexFastAvx2<false, false, int(I >> 1), false, (I & 1) != 0>...}};
    }
    (std::make_index_sequence<6>{});
    return textured ? kTexSpans[key] : kColourSpans[key];
}

}  // namespace console::gs

#undef raster
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
