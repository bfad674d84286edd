#include "game/files/collision_data.h"

#include <cmath>
#include <cstring>

#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

namespace collisiondata {

namespace {

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

int CheckBlock(const void* block, size_t length, Part* parts, int maxParts) {
    const auto* bytes = static_cast<const uint8_t*>(block);
    if (!block || length < kHeaderBytes) {
        x_printf("%scollision data: block missing or shorter than its header\n", x_FileOf(block));
        return -1;
    }
    if (reinterpret_cast<uintptr_t>(block) % 4 != 0) {
        x_printf("%scollision data: block not word-aligned\n", x_FileOf(block));
        return -1;
    }
    const uint32_t count = U32(bytes);
    if (count > kMaxParts) {
        x_printf("%scollision data: %u parts is not a sane count\n", x_FileOf(block), count);
        return -1;
    }
    uint64_t at = kHeaderBytes;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + kPartHeaderBytes > length) {
            x_printf("%scollision data: part %u starts past the end (%zu bytes)\n", x_FileOf(block), i,
                     length);
            return -1;
        }
        const uint32_t v = U32(bytes + at), t = U32(bytes + at + 4);
        if (v > kMaxVertices || t > kMaxTriangles) {
            x_printf("%scollision data: part %u has %u vertices and %u triangles\n", x_FileOf(block), i, v,
                     t);
            return -1;
        }
        const uint64_t end = at + kPartHeaderBytes + uint64_t(kVertexBytes) * v + TriangleBytes(t);
        if (end > length) {
            x_printf("%scollision data: part %u runs past the end (%zu bytes)\n", x_FileOf(block), i, length);
            return -1;
        }
        const uint8_t* tri = bytes + at + kPartHeaderBytes + uint64_t(kVertexBytes) * v;
        for (uint32_t k = 0; k < 3u * t; ++k) {
            uint16_t index;
            std::memcpy(&index, tri + 2u * k, 2);
            if (index >= v) {
                x_printf("%scollision data: part %u triangle %u names vertex %u of %u\n", x_FileOf(block), i,
                         k / 3, index, v);
                return -1;
            }
        }
        if (parts && static_cast<int>(i) < maxParts) {
            parts[i].offset = static_cast<uint32_t>(at);
            parts[i].vertices = v;
            parts[i].triangles = t;
            parts[i].vertexData = reinterpret_cast<const float*>(bytes + at + kPartHeaderBytes);
            parts[i].triangleData = reinterpret_cast<const uint16_t*>(tri);
        }
        // The last part's trailing padding may be cut off by the sub-file's end.
        at += PartBytes(v, t);
    }
    return static_cast<int>(count);
}

float BlockRadius(const void* block, size_t length) {
    if (CheckBlock(block, length) <= 0) return 0.0f;
    const auto* bytes = static_cast<const uint8_t*>(block);
    const uint32_t count = U32(bytes);
    uint64_t at = kHeaderBytes;
    float best = 0.0f;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t v = U32(bytes + at), t = U32(bytes + at + 4);
        for (uint32_t k = 0; k < v; ++k) {
            float xyz[3];
            std::memcpy(xyz, bytes + at + kPartHeaderBytes + uint64_t(kVertexBytes) * k, 12);
            const float d = std::sqrt(xyz[0] * xyz[0] + xyz[1] * xyz[1] + xyz[2] * xyz[2]);
            if (d > best) best = d;
        }
        at += PartBytes(v, t);
    }
    return 100.0f * best;
}

}  // namespace collisiondata
