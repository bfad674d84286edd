#include "kinetic/collide/height_field.h"

#include <cmath>

namespace Kinetic {

bool HeightField::intersectSegment(const Segment& segment, SimpleHit& hit) const {
    const Vector3& s = segment.m_start;
    const Vector3& e = segment.m_end;
    const Vector3& u = segment.m_direction;
    if (std::fabs(u.y) > 0.99f) {
        // Near-vertical: the surface is taken as flat under the start point.
        float h = 0.0f;
        Vector3 n = hit.m_normal;
        getHeightAndNormalAt(s.x, s.z, h, n);
        const float d = u.y > 0.0f ? h - s.y : s.y - h;
        if (!(d >= 0.0f && d <= segment.m_length)) return false;
        hit.m_distance = d;
        hit.m_normal = n;
        return true;
    }
    const float h0 = getHeightAt(s.x, s.z);
    const float h1 = getHeightAt(e.x, e.z);
    if ((h0 < s.y) == (h1 < e.y)) return false;
    // Crossing with the straight line between the two ground heights.
    const float denom = (h1 - h0) - (e.y - s.y);
    if (denom == 0.0f) return false;
    const float t = (s.y - h0) / denom;
    const float d = t * segment.m_length;
    const Vector3 p = s + u * d;
    float h = 0.0f;
    Vector3 n = hit.m_normal;
    getHeightAndNormalAt(p.x, p.z, h, n);
    hit.m_distance = d;
    hit.m_normal = n;
    return true;
}

}  // namespace Kinetic
