// Decoded ADPCM blocks, remembered. A block's 28 samples depend only on its 16 bytes and the two
// sums decoded before it, so a looping sound - whose history at each block settles after a pass or
// two - decodes each block once and then plays it from here. Any write to sound memory forgets
// everything, so the output is exactly what decoding every time would give.
#pragma once

#include <cstdint>

#include "console/spu/adpcm.h"

namespace console {

class SpuBlockCache {
public:
    // Decodes the block at `addr` of `mem` with history h1, h2 (updated as decoding would), through the
    // cache. Returns the block's flags.
    uint8_t decode(const uint8_t* mem, uint32_t addr, int32_t* h1, int32_t* h2, int16_t* out);
    void invalidate();
    uint64_t hits() const { return hits_; }
    uint64_t misses() const { return misses_; }

private:
    static constexpr int kEntries = 8192;
    // One cache line each. The tag is the block address (below 2 MB, 21 bits) with the generation in
    // the bits above it; a tag of 0 never matches (generations start at 1).
    struct alignas(64) Entry {
        uint32_t tag;
        int16_t h1;
        int16_t h2;
        int16_t samples[kAdpcmBlockSamples];
    };
    static constexpr uint32_t kAddrBits = 21;
    static constexpr uint32_t kGenerations = 1u << (32 - kAddrBits);
    uint32_t generation_ = 1;
    uint64_t hits_ = 0;
    uint64_t misses_ = 0;
    Entry entries_[kEntries] = {};
};

SpuBlockCache& SpuDecodedBlocks();

}  // namespace console
