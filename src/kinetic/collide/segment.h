// A segment query: start point, unit direction and length (valid parameters 0..m_length).
#pragma once

#include "kinetic/math/vector3.h"

namespace Kinetic {

class Segment {
public:
    Segment() = default;
    Segment(const Vector3& start, const Vector3& direction, float length)
        : m_start(start), m_direction(direction), m_length(length) {}

    Vector3 m_start;
    Vector3 m_direction;
    float m_length = 0.0f;
};

}  // namespace Kinetic
