// Per-pair state of the convex-convex test: the simplex GJK left behind (vertex references of each shape
// and its size) and the contact points kept from pass to pass.
#pragma once

#include <vector>

#include "kinetic/collide/contact_point.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

struct GJKCache {
    const Vector3* m_verticesA[4] = {nullptr, nullptr, nullptr, nullptr};
    const Vector3* m_verticesB[4] = {nullptr, nullptr, nullptr, nullptr};
    int m_size = 0;
    std::vector<ContactPoint> m_points;
};

}  // namespace Kinetic
