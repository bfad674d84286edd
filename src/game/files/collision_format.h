// Builds collision data blocks (layout in game/files/collision_data.h) from simple meshes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct CollisionPart {
    std::vector<std::array<float, 3>> vertices;      // metres, in the owner's frame
    std::vector<std::array<uint16_t, 3>> triangles;  // vertex indices
};

// The block image; empty when a part names a vertex it does not have or has more than 65536 vertices.
std::vector<uint8_t> WriteCollisionBlock(const std::vector<CollisionPart>& parts);

// A closed box from (x0, y0, z0) to (x1, y1, z1): 8 vertices, 12 triangles wound outwards.
CollisionPart CollisionBox(float x0, float y0, float z0, float x1, float y1, float z1);
