// A segment query: start and end, length, unit direction and the box around the two ends. Whoever changes
// an end keeps the other fields consistent; nothing here normalises the direction by itself.
#pragma once

#include "kinetic/collide/aabb.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Segment {
public:
    Segment() = default;
    Segment(const Vector3& start, const Vector3& direction, float length) {
        m_start = start;
        m_direction = direction;
        m_length = length;
        m_end = start + direction * length;
        updateAABB();
    }
    // From two points: length their distance, direction the normalised difference.
    static Segment between(const Vector3& start, const Vector3& end) {
        Segment s;
        s.m_start = start;
        s.m_end = end;
        const Vector3 d = end - start;
        s.m_length = d.length();
        s.m_direction = d.getNormalized();
        s.updateAABB();
        return s;
    }
    // The same segment in another frame: both ends transformed, direction rotated, length kept.
    Segment transformed(const Transform& t) const {
        Segment s;
        s.m_start = t.getTransformedPos(m_start);
        s.m_end = t.getTransformedPos(m_end);
        s.m_length = m_length;
        s.m_direction = t.getRotatedDir(m_direction);
        s.updateAABB();
        return s;
    }
    void updateAABB() {
        m_AABB = AABB();
        m_AABB.include(m_start);
        m_AABB.include(m_end);
    }

    Vector3 m_start;
    Vector3 m_end;
    float m_length = 0.0f;
    Vector3 m_direction;
    AABB m_AABB;
};

}  // namespace Kinetic
