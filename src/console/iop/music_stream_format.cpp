#include "console/iop/music_stream_format.h"

#include <cstring>

#include "console/spu/adpcm.h"
#include "console/spu/adpcm_encoder.h"

namespace stm {

const char* CheckHeader(const uint8_t* head, size_t headSize, uint64_t fileSize, Header* out) {
    if (!head || headSize < kHeaderBytes || fileSize < kHeaderBytes) return "shorter than its header";
    Header h;
    std::memcpy(&h, head, sizeof h);
    if (std::memcmp(h.magic, kMagic, 4) != 0) return "not a music stream";
    if (h.version != kVersion) return "unknown version";
    if (h.channels < 1 || h.channels > kMaxChannels) return "bad channel count";
    if (h.sampleRate < kMinRate || h.sampleRate > kMaxRate) return "bad sample rate";
    if (h.blockFrames == 0) return "no blocks";
    if (h.imageBytes() > fileSize) return "blocks run past the end of the file";
    if (out) *out = h;
    return nullptr;
}

const char* Check(const uint8_t* data, size_t size) {
    Header h;
    if (const char* why = CheckHeader(data, size, size, &h)) return why;
    for (uint64_t off = kHeaderBytes; off < h.imageBytes(); off += kAdpcmBlockBytes)
        if (!AdpcmHeaderValid(data[off])) return "bad block header";
    return nullptr;
}

void ChannelDecoder::decode(const uint8_t* block, int16_t* out28) {
    AdpcmDecodeBlock(block, out28, &h1, &h2);
}

std::vector<uint8_t> Write(const std::vector<std::vector<int16_t>>& channels, uint32_t sampleRate) {
    std::vector<std::vector<uint8_t>> encoded;
    size_t frames = 0;
    for (const auto& c : channels) {
        encoded.push_back(AdpcmEncode(c.data(), c.size(), false));
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
