// One accepted segment hit: distance from the segment's start, surface normal, the primitive hit and the
// friction of the surface.
#pragma once

#include "kinetic/math/vector3.h"

namespace Kinetic {

class Primitive;

class SimpleHit {
public:
    float m_distance = 0.0f;
    Vector3 m_normal{0.0f, 0.0f, 0.0f};
    const Primitive* m_primitive = nullptr;
    float m_friction = -1.0f;
};

}  // namespace Kinetic
