#include "console/spu/block_cache.h"

#include <cstring>

namespace console {

uint8_t SpuBlockCache::decode(const uint8_t* mem, uint32_t addr, int32_t* h1, int32_t* h2, int16_t* out) {
    const uint8_t* block = mem + addr;
    // The history is the unclamped sums: only a history within 16 bits is a key (past a clipped
    // sample the block is decoded every time).
    if (*h1 != static_cast<int16_t>(*h1) || *h2 != static_cast<int16_t>(*h2)) {
        ++misses_;
        return AdpcmDecodeBlock(block, out, h1, h2);
    }
    const int16_t k1 = static_cast<int16_t>(*h1);
    const int16_t k2 = static_cast<int16_t>(*h2);
    const uint32_t hash = (addr / kAdpcmBlockBytes) * 0x9E3779B1u ^ static_cast<uint16_t>(k1) * 0x85EBCA77u ^
                          static_cast<uint16_t>(k2) * 0xC2B2AE3Du;
    Entry& e = entries_[(hash ^ (hash >> 15)) % kEntries];
    const uint32_t tag = addr | generation_ << kAddrBits;
    if (e.tag == tag && e.h1 == k1 && e.h2 == k2) {
        ++hits_;
        std::memcpy(out, e.samples, sizeof e.samples);
        *h1 = out[kAdpcmBlockSamples - 1];
        *h2 = out[kAdpcmBlockSamples - 2];
        return block[1];
    }
    ++misses_;
    const uint8_t flags = AdpcmDecodeBlock(block, out, h1, h2);
    // A hit gives back the last two samples as the history, which holds only when they did not clip.
    if (*h1 != out[kAdpcmBlockSamples - 1] || *h2 != out[kAdpcmBlockSamples - 2]) return flags;
    e.tag = tag;
    e.h1 = k1;
    e.h2 = k2;
    std::memcpy(e.samples, out, sizeof e.samples);
    return flags;
}

void SpuBlockCache::invalidate() {
    if (++generation_ == kGenerations) {
        // Generations wrapped: old tags could match again, so forget them outright.
        std::memset(static_cast<void*>(entries_), 0, sizeof entries_);
        generation_ = 1;
    }
}

SpuBlockCache& SpuDecodedBlocks() {
    static SpuBlockCache cache;
    return cache;
}

}  // namespace console
