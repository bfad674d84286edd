#include "kinetic/collide/segment_intersection.h"

#include <cfloat>
#include <cmath>

namespace Kinetic {

bool AABBSegmentIntersectionTest(const Segment& segment, const AABB& box) {
    if (!box.overlaps(segment.m_AABB)) return false;
    float entry = -FLT_MAX, exit = FLT_MAX;
    const float start[3] = {segment.m_start.x, segment.m_start.y, segment.m_start.z};
    const float dir[3] = {segment.m_direction.x, segment.m_direction.y, segment.m_direction.z};
    const float lo[3] = {box.m_min.x, box.m_min.y, box.m_min.z};
    const float hi[3] = {box.m_max.x, box.m_max.y, box.m_max.z};
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(dir[i]) < 1e-4f) {
            if (start[i] < lo[i] || start[i] > hi[i]) return false;
            continue;
        }
        const float k = 1.0f / dir[i];
        const float tA = k * 0.5f * (lo[i] - start[i]);
        const float tB = k * 0.5f * (hi[i] - start[i]);
        const float nearT = dir[i] > 0.0f ? tA : tB;
        const float farT = dir[i] > 0.0f ? tB : tA;
        if (nearT > segment.m_length || farT < 0.0f) return false;
        if (nearT > entry) entry = nearT;
        if (farT < exit) exit = farT;
    }
    return entry <= exit;
}

bool pointInsideTriangle(const Vector3& p, const Vector3* vertices, const TriangleIndices& t) {
    const Vector3& a = vertices[t.m_verts[0]];
    const Vector3& b = vertices[t.m_verts[1]];
    const Vector3& c = vertices[t.m_verts[2]];
    Vector3 n = (c - b).cross(a - b);
    n.normalize();
    if ((a - p).cross(b - p).dot(n) < 0.0f) return false;
    if ((b - p).cross(c - p).dot(n) < 0.0f) return false;
    if ((c - p).cross(a - p).dot(n) < 0.0f) return false;
    return true;
}

}  // namespace Kinetic
