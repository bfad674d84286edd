// Writes skinned geometry blocks (engine/hal/geometry_skinned.h, engine/vu1/skinned_programs.h): a
// skeleton, then per material strip groups of at most 12 bones each, in strips of at most 16 triangles;
// for VU0 blocks each strip also carries its VU0 input block. The sample rider and bike are one box per
// bone, bound rigidly to it, on the animation writer's skeletons.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/anim/skeleton.h"
#include "engine/hal/geometry_format.h"

struct SkinVertex {
    GeoVertex v;         // bind-pose position in model space, texture, normal or colour
    uint16_t boneA = 0;  // skeleton indices
    uint16_t boneB = 0;
    float weightA = 1.0f;  // weight of bone a; bone b gets the rest
};

struct SkinMaterial {
    std::vector<SkinVertex> triangles;  // three vertices a triangle
    BitmapImage texture;
    int32_t materialId = 0;
};

struct SkinMesh {
    bool vu0 = false;    // deformed on VU0 (lit) instead of on VU1
    bool preLit = true;  // VU1 blocks only
    float scale = 1.0f;
    std::vector<_bone> skeleton;  // 1..40 bones, parents first
    std::vector<SkinMaterial> materials;
};

// The block image; empty when the mesh cannot be written (no or too many bones, a bone index outside the
// skeleton, an empty material or a count not a multiple of 3, a triangle naming more bones than fit a
// group, a texture the table cannot hold).
std::vector<uint8_t> WriteSkinnedGeometry(const SkinMesh& mesh);
