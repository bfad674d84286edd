// Line-triangle intersection.
#pragma once

#include "kinetic/math/vector3.h"

namespace Kinetic {

class TriangleUtil {
public:
    // Hit at origin + t.direction with barycentric weights u (x1) and v (x2); t is not limited in sign.
    // With cull, back-facing and near-parallel triangles give no hit.
    static bool rayIntersect(float& t, float& u, float& v, const Vector3& origin, const Vector3& direction,
                             const Vector3& x0, const Vector3& x1, const Vector3& x2, bool cull);
    // d of the triangle's plane n.x = d, n = normalise((c - b) x (a - b)) (zero for a zero-area triangle).
    static float calcPlaneConstant(const Vector3& a, const Vector3& b, const Vector3& c);
};

}  // namespace Kinetic
