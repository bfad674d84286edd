#include "console/iop/music_stream_format.h"

#include <algorithm>
#include <cstring>

#include "console/spu/adpcm.h"

namespace stm {

FormatCheck CheckHeader(const uint8_t* head, size_t headSize, uint64_t fileSize, Header* out) {
    if (!head || headSize < kHeaderBytes || fileSize < kHeaderBytes)
        return FormatCheck::Fail("shorter than its header");
    Header h;
    std::memcpy(&h, head, sizeof h);
    if (std::memcmp(h.magic, kMagic, 4) != 0) return FormatCheck::Fail("not a music stream");
    if (h.version != kVersion) return FormatCheck::Fail("unknown version");
    if (h.channels < 1 || h.channels > kMaxChannels) return FormatCheck::Fail("bad channel count");
    if (h.sampleRate < kMinRate || h.sampleRate > kMaxRate) return FormatCheck::Fail("bad sample rate");
    if (h.blockFrames == 0) return FormatCheck::Fail("no blocks");
    if (h.imageBytes() > fileSize) return FormatCheck::Fail("blocks run past the end of the file");
    if (out) *out = h;
    return FormatCheck::Pass();
}

FormatCheck Check(const uint8_t* data, size_t size) {
    Header h;
    const FormatCheck head = CheckHeader(data, size, size, &h);
    if (!head.ok) return head;
    for (uint64_t off = kHeaderBytes; off < h.imageBytes(); off += kAdpcmBlockBytes)
        if (!AdpcmHeaderValid(data[off])) return FormatCheck::Fail("bad block header");
    return FormatCheck::Pass();
}

void ChannelDecoder::decode(const uint8_t* block, int16_t* out28) {
    AdpcmDecodeBlock(block, out28, &h1, &h2);
}

namespace {

int Quantise(int32_t residual, int shift) {
    const int q = kAdpcmMaxShift - shift;
    const int32_t n = q ? (residual + (1 << (q - 1))) >> q : residual;
    return n > 7 ? 7 : n < -8 ? -8 : n;
}

// Runs one block through the decoder with this filter and shift; returns the squared error and, when
// `block` is given, writes the nibbles.
uint64_t TryBlock(const int16_t* x, int filter, int shift, int32_t h1, int32_t h2, uint8_t* block) {
    uint64_t err = 0;
    for (int i = 0; i < kAdpcmBlockSamples; ++i) {
        const int n = Quantise(x[i] - AdpcmPredict(filter, h1, h2), shift) & 0x0F;
        const int64_t e = int64_t{x[i]} - AdpcmDecodeNibble(n, shift, filter, &h1, &h2);
        err += static_cast<uint64_t>(e * e);
        if (block) block[2 + i / 2] |= static_cast<uint8_t>(i & 1 ? n << 4 : n);
    }
    return err;
}

// Blocks of flags 0. For each filter the shift comes from the largest open-loop residual; that shift and
// one coarser are tried through the decoder and the closest kept.
std::vector<uint8_t> EncodeChannel(const std::vector<int16_t>& pcm) {
    const size_t blocks = pcm.empty() ? 1 : (pcm.size() + kAdpcmBlockSamples - 1) / kAdpcmBlockSamples;
    std::vector<uint8_t> out(blocks * kAdpcmBlockBytes, 0);
    int32_t h1 = 0, h2 = 0;
    for (size_t b = 0; b < blocks; ++b) {
        int16_t x[kAdpcmBlockSamples] = {};
        for (size_t i = 0; i < kAdpcmBlockSamples && b * kAdpcmBlockSamples + i < pcm.size(); ++i)
            x[i] = pcm[b * kAdpcmBlockSamples + i];
        int bestF = 0, bestS = 0;
        uint64_t best = UINT64_MAX;
        for (int f = 0; f < kAdpcmFilterCount; ++f) {
            int32_t peak = 0, p1 = h1, p2 = h2;
            for (int16_t v : x) {
                const int32_t r = v - AdpcmPredict(f, p1, p2);
                peak = std::max(peak, r < 0 ? -r : r);
                p2 = p1;
                p1 = v;
            }
            int q = 0;
            while (q < kAdpcmMaxShift && (7 << q) < peak) ++q;
            for (int s = kAdpcmMaxShift - q; s >= kAdpcmMaxShift - q - 1 && s >= 0; --s) {
                const uint64_t e = TryBlock(x, f, s, h1, h2, nullptr);
                if (e < best) best = e, bestF = f, bestS = s;
            }
        }
        uint8_t* block = &out[b * kAdpcmBlockBytes];
        block[0] = static_cast<uint8_t>(bestF << 4 | bestS);
        TryBlock(x, bestF, bestS, h1, h2, block);
        int16_t decoded[kAdpcmBlockSamples];
        AdpcmDecodeBlock(block, decoded, &h1, &h2);
    }
    return out;
}

}  // namespace

std::vector<uint8_t> Write(const std::vector<std::vector<int16_t>>& channels, uint32_t sampleRate) {
    std::vector<std::vector<uint8_t>> encoded;
    size_t frames = 0;
    for (const auto& c : channels) {
        encoded.push_back(EncodeChannel(c));
        const size_t n = encoded.back().size() / kAdpcmBlockBytes;
        frames = encoded.size() == 1 || n < frames ? n : frames;
    }
    Header h{};
    std::memcpy(h.magic, kMagic, 4);
    h.version = kVersion;
    h.channels = static_cast<uint16_t>(channels.size());
    h.sampleRate = sampleRate;
    h.blockFrames = static_cast<uint32_t>(frames);
    std::vector<uint8_t> out(kHeaderBytes + frames * kAdpcmBlockBytes * channels.size());
    std::memcpy(out.data(), &h, sizeof h);
    uint8_t* p = out.data() + kHeaderBytes;
    for (size_t f = 0; f < frames; ++f)
        for (const auto& e : encoded) {
            std::memcpy(p, e.data() + f * kAdpcmBlockBytes, kAdpcmBlockBytes);
            p += kAdpcmBlockBytes;
        }
    return out;
}

}  // namespace stm
