// Axis-aligned box. An empty box has its minimum at +FLT_MAX and its maximum at -FLT_MAX, so that it grows
// by componentwise min/max; overlap is closed (touching boxes overlap).
#pragma once

#include <cfloat>

#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class AABB {
public:
    AABB() : m_min(FLT_MAX, FLT_MAX, FLT_MAX), m_max(-FLT_MAX, -FLT_MAX, -FLT_MAX) {}
    AABB(const Vector3& min, const Vector3& max) : m_min(min), m_max(max) {}

    // Replaces the box by the axis-aligned box around its image under t.
    void transformBy(const Transform& t);
    void include(const Vector3& p) {
        m_min.minimizeWith(p);
        m_max.maximizeWith(p);
    }
    bool overlaps(const AABB& o) const {
        return m_min.x <= o.m_max.x && m_max.x >= o.m_min.x && m_min.y <= o.m_max.y && m_max.y >= o.m_min.y &&
               m_min.z <= o.m_max.z && m_max.z >= o.m_min.z;
    }

    Vector3 m_min;
    Vector3 m_max;
};

}  // namespace Kinetic
