// What the rasteriser threads' files share (rasterizer_bands*.cpp): the bit sets of local memory's
// blocks, list positions two slots at a time, and the walk over the texture read records. Only those
// files include this.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "console/gs/local_memory.h"
#include "console/gs/rasterizer_bands.h"
#include "console/gs/rasterizer_internal.h"

namespace console::gs {

namespace bands {

using raster::kMask;

// Whether two wrapping byte ranges of local memory share a byte.
inline bool Overlap(uint32_t aStart, uint32_t aBytes, uint32_t bStart, uint32_t bBytes) {
    return ((bStart - aStart) & kMask) < aBytes || ((aStart - bStart) & kMask) < bBytes;
}

// Calls fn(first, last) for the blocks (inclusive) of a wrapping byte range, in one or two runs.
template <class Fn>
bool ForBlocks(uint32_t start, uint32_t bytes, uint32_t blocks, Fn fn) {
    const uint32_t first = start / LocalMemory::kBlockBytes;
    const uint32_t last = (start + bytes - 1) / LocalMemory::kBlockBytes;
    if (last < blocks) return fn(first, last);
    return fn(first, blocks - 1) || fn(0, last - blocks);
}

inline bool AnyBits(const uint64_t* bits, uint32_t b0, uint32_t b1) {
    for (uint32_t w = b0 / 64; w <= b1 / 64; ++w) {
        uint64_t m = ~0ull;
        if (w == b0 / 64) m &= ~0ull << (b0 % 64);
        if (w == b1 / 64) m &= ~0ull >> (63 - b1 % 64);
        if (bits[w] & m) return true;
    }
    return false;
}

inline bool SetBits(uint64_t* bits, uint32_t b0, uint32_t b1) {
    for (uint32_t w = b0 / 64; w <= b1 / 64; ++w) {
        uint64_t m = ~0ull;
        if (w == b0 / 64) m &= ~0ull << (b0 % 64);
        if (w == b1 / 64) m &= ~0ull >> (63 - b1 % 64);
        bits[w] |= m;
    }
    return false;
}

// The slots (bits) whose list position in `pos` lies past the one in `drawn`: positions are counts, far
// below 2^63, so the sign of drawn - pos tells, two slots at a time.
template <int kCount>
uint32_t Behind(const uint64_t* pos, const uint64_t* drawn) {
    static_assert(kCount % 2 == 0 && kCount <= 32, "pairs of slots, bits of a word");
    uint32_t m = 0;
    for (int i = 0; i < kCount; i += 2) {
        const __m128i d = _mm_sub_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(drawn + i)),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(pos + i)));
        m |= uint32_t(_mm_movemask_pd(_mm_castsi128_pd(d))) << i;
    }
    return m;
}

// into[i] = max(into[i], from[i]) for list positions (counts, far below 2^63: the sign of the difference
// picks), two at a time.
template <int kCount>
void MaxInto(uint64_t* into, const uint64_t* from) {
    static_assert(kCount % 2 == 0, "pairs of slots");
    for (int i = 0; i < kCount; i += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(into + i)),
                      b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        // All ones in the lanes where a < b (the high half's sign copied over the low half).
        const __m128i less =
            _mm_shuffle_epi32(_mm_srai_epi32(_mm_sub_epi64(a, b), 31), _MM_SHUFFLE(3, 3, 1, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(into + i),
                         _mm_or_si128(_mm_andnot_si128(less, a), _mm_and_si128(less, b)));
    }
}

}  // namespace bands

template <class Fn>
void RasterBands::ForRegionsOver(const Range& r, Fn fn) {
    if (regionCount_ == 0 || !bands::ForBlocks(r.start, r.bytes, kBlocks, [&](uint32_t a, uint32_t b) {
            return bands::AnyBits(regionBits_, a, b);
        }))
        return;
    auto walk = [&](int bucket) {
        for (int k = bucketHead_[bucket]; k >= 0;) {
            Region& g = regions_[k];
            const int next = g.next[g.bucket[0] == bucket ? 0 : 1];
            if (bands::Overlap(r.start, r.bytes, g.tex.start, g.tex.bytes)) fn(k);
            k = next;
        }
    };
    const uint64_t b0 = r.start >> kBucketShift, b1 = (uint64_t(r.start) + r.bytes - 1) >> kBucketShift;
    for (uint64_t b = b0; b <= b1 && b < b0 + kBuckets; ++b) walk(int(b % kBuckets));
    walk(kWide);
}

}  // namespace console::gs
