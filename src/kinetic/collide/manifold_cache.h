// Per-pair contact manifold of a convex mesh or plane against a plane, a height field or mesh triangles.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/contact_point.h"

namespace Kinetic {

struct ManifoldCache {
    std::vector<ContactPoint> m_points;
    uint8_t m_newLine = 0;
    float m_mergeRadiusSqrd = 0.0f;
};

}  // namespace Kinetic
