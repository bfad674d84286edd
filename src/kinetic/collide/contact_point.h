// One contact: unit normal from the second object to the first, world position, signed distance
// (negative: penetration) and the closest points on each object.
#pragma once

#include "kinetic/math/vector3.h"

namespace Kinetic {

struct ContactPoint {
    Vector3 m_normal;
    Vector3 m_position;
    float m_distance = 0.0f;
    Vector3 m_pointA;
    Vector3 m_pointB;
};

}  // namespace Kinetic
