// One triangle of a mesh: three 16-bit vertex indices, packed at 6-byte steps in arrays.
#pragma once

#include <cstdint>

namespace Kinetic {

struct TriangleIndices {
    uint16_t m_verts[3];
};
static_assert(sizeof(TriangleIndices) == 6, "triangle arrays are packed at 6-byte steps");

}  // namespace Kinetic
