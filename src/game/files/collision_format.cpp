#include "game/files/collision_format.h"

#include <cstring>

#include "game/files/collision_data.h"

namespace {

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    std::memcpy(out.data() + at, &v, 4);
}

}  // namespace

std::vector<uint8_t> WriteCollisionBlock(const std::vector<CollisionPart>& parts) {
    using namespace collisiondata;
    if (parts.size() > kMaxParts) return {};
    size_t total = kHeaderBytes;
    for (const CollisionPart& p : parts) {
        if (p.vertices.size() > kMaxVertices || p.triangles.size() > kMaxTriangles) return {};
        for (const auto& t : p.triangles)
            for (uint16_t i : t)
                if (i >= p.vertices.size()) return {};
        total +=
            PartBytes(static_cast<uint32_t>(p.vertices.size()), static_cast<uint32_t>(p.triangles.size()));
    }
    std::vector<uint8_t> out(total, 0);
    PutU32(out, 0, static_cast<uint32_t>(parts.size()));
    size_t at = kHeaderBytes;
    for (const CollisionPart& p : parts) {
        const auto v = static_cast<uint32_t>(p.vertices.size());
        const auto t = static_cast<uint32_t>(p.triangles.size());
        PutU32(out, at, v);
        PutU32(out, at + 4, t);
        size_t w = at + kPartHeaderBytes;
        for (const auto& vertex : p.vertices) {
            std::memcpy(out.data() + w, vertex.data(), 12);
            w += kVertexBytes;
        }
        for (const auto& tri : p.triangles) {
            std::memcpy(out.data() + w, tri.data(), 6);
            w += kTriangleBytes;
        }
        at += PartBytes(v, t);
    }
    return out;
}

CollisionPart CollisionBox(float x0, float y0, float z0, float x1, float y1, float z1) {
    CollisionPart p;
    p.vertices = {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0},
                  {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};
    // Two triangles a face, counter-clockwise seen from outside.
    p.triangles = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                   {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}};
    return p;
}
