// The low-detail terrain of a subtile (label 5 of the world file): a 160-byte geometry header, the
// packet count in the word at byte 168, and from byte 176 packets on 16-byte boundaries, each ready for
// VU1's low-detail terrain program (engine/vu1/terrain_programs.h):
//   +0   packet length in quadwords (a VIF no-op word), 0, 0, UNPACK V4-32 of 1 + m quadwords to 64
//   +16  strip count m, 0, 0, 0
//   +32  m strip tags: low 15 bits of the first word the strip's vertex count, bit 15 the last strip
//   +32 + 16 m   0, 0, 0, UNPACK V4-8 (unsigned) of the packet's vertices to 128
//   +48 + 16 m   the vertices of all strips in tag order, 4 bytes each (x, yLow, z, yHi in grid cells)
//   last quadword  MSCNT, 0, 0, 0
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/mem/format_check.h"

namespace lowdetail {

inline constexpr uint32_t kCountAt = 168;
inline constexpr uint32_t kFirstPacketAt = 176;
inline constexpr uint32_t kMaxPacketVerts = 255;
inline constexpr uint32_t kMaxPackets = 64;

// A block for the 56 x 56 samples (row-major, row along z) kept every `step` cells (step divides 55),
// one strip per band of rows.
std::vector<uint8_t> Build(const uint16_t* samples, int step);

// Passes when the block has 1 to kMaxPackets packets, they lie inside `length` bytes and every count is in
// range; prints nothing.
FormatCheck Check(const void* block, size_t length);

// Calls fn(x, z, sample) for every vertex of every strip of a checked block, in order.
template <typename Fn>
void ForEachVertex(const void* block, Fn&& fn);

uint32_t PacketCount(const void* block);
// The packet `k` of a checked block and its length in quadwords.
const uint8_t* Packet(const void* block, uint32_t k, uint32_t* quadwords);

}  // namespace lowdetail

template <typename Fn>
void lowdetail::ForEachVertex(const void* block, Fn&& fn) {
    const uint32_t n = PacketCount(block);
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t qw = 0;
        const uint8_t* p = Packet(block, k, &qw);
        uint32_t m = 0;
        __builtin_memcpy(&m, p + 16, 4);
        const uint8_t* v = p + 48 + 16 * m;
        for (uint32_t s = 0; s < m; ++s) {
            uint32_t tag = 0;
            __builtin_memcpy(&tag, p + 32 + 16 * s, 4);
            const uint32_t count = tag & 0x7FFF;
            for (uint32_t i = 0; i < count; ++i, v += 4)
                fn(v[0], v[2], static_cast<uint16_t>(v[1] | (v[3] << 8)));
        }
    }
}
