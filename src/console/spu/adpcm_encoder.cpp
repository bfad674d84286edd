#include "console/spu/adpcm_encoder.h"

#include <cstring>

#include "console/spu/adpcm.h"

namespace {

struct BlockChoice {
    int filter = 0;
    int shift = 0;
    int clipped = kAdpcmBlockSamples + 1;  // sums that leave 16 bits
    uint64_t error = UINT64_MAX;

    // Fewer clipped sums first (none, whenever any candidate manages it), then the smaller error.
    bool betterThan(const BlockChoice& o) const {
        return clipped != o.clipped ? clipped < o.clipped : error < o.error;
    }
};

int Nibble(int32_t residual, int shift) {
    // residual * 2^shift / 4096, rounded to nearest, then held to 4 bits.
    const int64_t scaled = static_cast<int64_t>(residual) * (int64_t{1} << shift);
    int64_t n = scaled >= 0 ? (scaled + 2048) / 4096 : -((-scaled + 2048) / 4096);
    if (n > 7) n = 7;
    if (n < -8) n = -8;
    return static_cast<int>(n) & 0x0F;
}

// Runs the decoder over one block with this filter and shift; returns the squared error and the
// number of sums that clip and, when `nibbles` is given, the nibbles.
BlockChoice TryBlock(const int16_t* x, int filter, int shift, int32_t h1, int32_t h2, uint8_t* nibbles) {
    BlockChoice c;
    c.filter = filter;
    c.shift = shift;
    c.clipped = 0;
    uint64_t err = 0;
    for (int i = 0; i < kAdpcmBlockSamples; ++i) {
        // The decoder's own prediction (console/spu/adpcm.h), so the encoder tracks exactly what plays.
        int nib = Nibble(x[i] - AdpcmPredict(filter, h1, h2), shift);
        // A nibble that clips decodes differently in decoders that keep the unclamped sum as history:
        // take the nearest one that stays within 16 bits, if there is one.
        const int32_t sum = AdpcmUnclamped(nib, shift, filter, h1, h2);
        if (sum != static_cast<int16_t>(sum)) {
            const int step = sum > 0 ? -1 : 1;
            for (int n = static_cast<int8_t>(nib << 4) >> 4; n >= -8 && n <= 7; n += step) {
                const int32_t t = AdpcmUnclamped(n & 0x0F, shift, filter, h1, h2);
                if (t == static_cast<int16_t>(t)) {
                    nib = n & 0x0F;
                    break;
                }
            }
        }
        const int32_t kept = AdpcmUnclamped(nib, shift, filter, h1, h2);
        if (kept != static_cast<int16_t>(kept)) ++c.clipped;
        const int16_t d = AdpcmDecodeNibble(nib, shift, filter, &h1, &h2);
        const int64_t e = static_cast<int64_t>(x[i]) - d;
        err += static_cast<uint64_t>(e * e);
        if (nibbles) nibbles[i] = static_cast<uint8_t>(nib);
    }
    c.error = err;
    return c;
}

}  // namespace

std::vector<uint8_t> AdpcmEncode(const int16_t* pcm, size_t count, bool loop) {
    const size_t blocks = count == 0 ? 1 : (count + kAdpcmBlockSamples - 1) / kAdpcmBlockSamples;
    std::vector<uint8_t> out(blocks * kAdpcmBlockBytes, 0);
    int32_t h1 = 0, h2 = 0;
    for (size_t b = 0; b < blocks; ++b) {
        int16_t x[kAdpcmBlockSamples] = {};
        for (int i = 0; i < kAdpcmBlockSamples; ++i) {
            const size_t k = b * kAdpcmBlockSamples + static_cast<size_t>(i);
            if (k < count) x[i] = pcm[k];
        }
        // A block whose sums clip plays differently in decoders that keep the clamped sample as history
        // and in those that keep the sum (adpcm.h): a candidate without a clipped sum wins over any that
        // has one, however much closer that one comes.
        BlockChoice best;
        for (int f = 0; f < kAdpcmFilterCount; ++f) {
            for (int s = 0; s <= kAdpcmMaxShift; ++s) {
                const BlockChoice c = TryBlock(x, f, s, h1, h2, nullptr);
                if (c.betterThan(best)) best = c;
            }
        }
        uint8_t nib[kAdpcmBlockSamples];
        TryBlock(x, best.filter, best.shift, h1, h2, nib);
        uint8_t* block = &out[b * kAdpcmBlockBytes];
        block[0] = static_cast<uint8_t>(best.filter << 4 | best.shift);
        uint8_t flags = 0;
        if (loop && b == 0) flags |= kAdpcmFlagLoopStart;
        if (b + 1 == blocks) flags |= loop ? (kAdpcmFlagLoopEnd | kAdpcmFlagRepeat) : kAdpcmFlagLoopEnd;
        block[1] = flags;
        for (int i = 0; i < kAdpcmBlockSamples / 2; ++i)
            block[2 + i] = static_cast<uint8_t>(nib[2 * i] | nib[2 * i + 1] << 4);
        // Carry the decoder's history into the next block.
        int16_t decoded[kAdpcmBlockSamples];
        AdpcmDecodeBlock(block, decoded, &h1, &h2);
    }
    return out;
}

std::vector<int16_t> AdpcmDecodeAll(const uint8_t* data, size_t size) {
    std::vector<int16_t> out;
    int32_t h1 = 0, h2 = 0;
    for (size_t off = 0; off + kAdpcmBlockBytes <= size; off += kAdpcmBlockBytes) {
        int16_t s[kAdpcmBlockSamples];
        const uint8_t flags = AdpcmDecodeBlock(data + off, s, &h1, &h2);
        out.insert(out.end(), s, s + kAdpcmBlockSamples);
        if (flags & kAdpcmFlagLoopEnd) break;
    }
    return out;
}
