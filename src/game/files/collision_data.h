// Collision data blocks: the meshes of a collidable thing, one sub-file of a master file used in place.
//
//   0    u32 P       number of parts
//   4    12 bytes    not read
//   16   P parts, each starting on a 16-byte boundary of the block:
//          0   u32 V             vertex count
//          4   u32 T             triangle count
//          8   8 bytes           not read
//          16  V x 16 bytes      vertices: x, y, z floats (metres, owner's frame) and a word not read
//          16 + 16V              T x 3 u16 vertex indices, padded to a whole 4-byte word
//          then padding to the next 16-byte boundary
//
// Shared by the reader (the collision mesh builder) and the disc writer. Little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/mem/format_check.h"

namespace collisiondata {

inline constexpr uint32_t kHeaderBytes = 16;
inline constexpr uint32_t kPartHeaderBytes = 16;
inline constexpr uint32_t kVertexBytes = 16;
inline constexpr uint32_t kTriangleBytes = 6;
// Far beyond any real mesh; keeps every size computation inside 32 bits.
inline constexpr uint32_t kMaxParts = 4096;
inline constexpr uint32_t kMaxVertices = 65536;  // indices are 16-bit
inline constexpr uint32_t kMaxTriangles = 1u << 20;

// Bytes of a part's triangle records with their word padding: 4 * floor((3T + 1) / 2).
inline uint32_t TriangleBytes(uint32_t triangles) {
    return 4u * ((3u * triangles + 1u) / 2u);
}
// Bytes from a part's start to the next part's.
inline uint32_t PartBytes(uint32_t vertices, uint32_t triangles) {
    const uint32_t end = kPartHeaderBytes + kVertexBytes * vertices + TriangleBytes(triangles);
    return (end + 15u) & ~15u;
}

struct Part {
    uint32_t offset;  // from the block start
    uint32_t vertices;
    uint32_t triangles;
    const float* vertexData;       // V records of four floats (x, y, z, unused)
    const uint16_t* triangleData;  // 3T indices
};

// Checks a block of `length` bytes: the part count, every part's counts and extent, and every triangle
// index against its part's vertex count. On a fault, one log line naming it (the reason after the
// block's disc file). `partCount` receives the number of parts (-1 on a fault) and `parts` (room for
// `maxParts`) the parts found, when given.
FormatCheck CheckBlock(const void* block, size_t length, int* partCount = nullptr, Part* parts = nullptr,
                       int maxParts = 0);

// 100 x the largest distance of any vertex from the origin (world units): the radius of a checked block.
float BlockRadius(const void* block, size_t length);

}  // namespace collisiondata
