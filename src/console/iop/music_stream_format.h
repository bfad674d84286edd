// The music stream file (".STM"), the audio module's own format: one piece of music in the sound
// processor's ADPCM (console/spu/adpcm.h), read from the disc a few sectors at a time.
//
//   offset 0   char[4]  "QZMS"
//          4   u16      version (1)
//          6   u16      channels: 1 (mono) or 2 (left, right)
//          8   u32      sample rate in Hz, 8000..48000
//         12   u32      block frames: 28 samples per channel each, at least 1
//         16   block frames, one after another: per frame one 16-byte ADPCM block per channel, left first
//
// Each channel decodes as one run of blocks from silence (history 0); block flags are not used, the
// block-frame count ends the piece. A piece is meant to play round and round: its last sample leads
// into its first. Everything little-endian; the file may be longer than its frames (sector padding).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/mem/format_check.h"

namespace stm {

inline constexpr char kMagic[4] = {'Q', 'Z', 'M', 'S'};
inline constexpr uint16_t kVersion = 1;
inline constexpr uint32_t kHeaderBytes = 16;
inline constexpr uint32_t kMinRate = 8000;
inline constexpr uint32_t kMaxRate = 48000;
inline constexpr int kMaxChannels = 2;

struct Header {
    char magic[4];
    uint16_t version;
    uint16_t channels;
    uint32_t sampleRate;
    uint32_t blockFrames;

    uint32_t frameBytes() const { return 16u * channels; }
    // Bytes from the start of the file through the last block frame.
    uint64_t imageBytes() const { return kHeaderBytes + uint64_t{blockFrames} * frameBytes(); }
    uint64_t samplesPerChannel() const { return uint64_t{blockFrames} * 28; }
};
static_assert(sizeof(Header) == kHeaderBytes);

// Checks the header at the start of a file of `fileSize` bytes (only the first 16 bytes of `head` are
// read); the header goes to `out` when it is usable.
FormatCheck CheckHeader(const uint8_t* head, size_t headSize, uint64_t fileSize, Header* out);
// Checks a whole image: the header, and that every block header names a valid shift and filter.
FormatCheck Check(const uint8_t* data, size_t size);

// Decodes one channel's blocks in order (the history carries from block to block).
struct ChannelDecoder {
    int32_t h1 = 0, h2 = 0;
    void reset() { h1 = h2 = 0; }
    void decode(const uint8_t* block, int16_t* out28);
};

// Encodes a piece: `channels` runs of 16-bit samples of equal length (padded with silence to whole
// blocks).
std::vector<uint8_t> Write(const std::vector<std::vector<int16_t>>& channels, uint32_t sampleRate);

}  // namespace stm
