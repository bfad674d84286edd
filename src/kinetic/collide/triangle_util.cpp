#include "kinetic/collide/triangle_util.h"

namespace Kinetic {

bool TriangleUtil::rayIntersect(float& t, float& u, float& v, const Vector3& origin, const Vector3& direction,
                                const Vector3& x0, const Vector3& x1, const Vector3& x2, bool cull) {
    const Vector3 e1 = x1 - x0;
    const Vector3 e2 = x2 - x0;
    const Vector3 p = direction.cross(e2);
    const float det = e1.dot(p);
    if (cull) {
        if (det < 0.0001f) return false;
    } else if (det > -0.0001f && det < 0.0001f) {
        return false;
    }
    const Vector3 s = origin - x0;
    const Vector3 q = s.cross(e1);
    const float inv = 1.0f / det;
    if (cull) {
        u = s.dot(p);
        if (u < 0.0f || u > det) return false;
        v = direction.dot(q);
        if (v < 0.0f || u + v > det) return false;
        t = e2.dot(q) * inv;
        u *= inv;
        v *= inv;
        return true;
    }
    u = s.dot(p) * inv;
    if (u < 0.0f || u > 1.0f) return false;
    v = direction.dot(q) * inv;
    if (v < 0.0f || u + v > 1.0f) return false;
    t = e2.dot(q) * inv;
    return true;
}

}  // namespace Kinetic

namespace Kinetic {

float TriangleUtil::calcPlaneConstant(const Vector3& a, const Vector3& b, const Vector3& c) {
    Vector3 n = (c - b).cross(a - b);
    n.normalize();
    return n.dot(a);
}

}  // namespace Kinetic
