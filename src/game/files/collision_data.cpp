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

FormatCheck CheckBlock(const void* block, size_t length, int* partCount, Part* parts, int maxParts) {
    if (partCount) *partCount = -1;
    const auto* bytes = static_cast<const uint8_t*>(block);
    if (!block || length < kHeaderBytes)
        return x_RefuseInFile(block, "collision data: block missing or shorter than its header");
    if (reinterpret_cast<uintptr_t>(block) % 4 != 0)
        return x_RefuseInFile(block, "collision data: block not word-aligned");
    const uint32_t count = U32(bytes);
    if (count > kMaxParts)
        return x_RefuseInFile(block, "collision data: %u parts is not a sane count", count);
    uint64_t at = kHeaderBytes;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + kPartHeaderBytes > length)
            return x_RefuseInFile(block, "collision data: part %u starts past the end (%zu bytes)", i,
                                  length);
        const uint32_t v = U32(bytes + at), t = U32(bytes + at + 4);
        if (v > kMaxVertices || t > kMaxTriangles)
            return x_RefuseInFile(block, "collision data: part %u has %u vertices and %u triangles", i, v, t);
        const uint64_t end = at + kPartHeaderBytes + uint64_t(kVertexBytes) * v + TriangleBytes(t);
        if (end > length)
            return x_RefuseInFile(block, "collision data: part %u runs past the end (%zu bytes)", i, length);
        const uint8_t* tri = bytes + at + kPartHeaderBytes + uint64_t(kVertexBytes) * v;
        for (uint32_t k = 0; k < 3u * t; ++k) {
            uint16_t index;
            std::memcpy(&index, tri + 2u * k, 2);
            if (index >= v)
                return x_RefuseInFile(block, "collision data: part %u triangle %u names vertex %u of %u", i,
                                      k / 3, index, v);
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
    if (partCount) *partCount = static_cast<int>(count);
    return FormatCheck::Pass();
}

float BlockRadius(const void* block, size_t length) {
    int parts = 0;
    if (!CheckBlock(block, length, &parts).ok || parts == 0) return 0.0f;
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
