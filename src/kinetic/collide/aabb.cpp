#include "kinetic/collide/aabb.h"

namespace Kinetic {

void AABB::transformBy(const Transform& t) {
    const Vector3 lo = m_min, hi = m_max;
    m_min = Vector3(FLT_MAX, FLT_MAX, FLT_MAX);
    m_max = Vector3(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    for (int c = 0; c < 8; ++c) {
        Vector3 corner((c & 1) ? lo.x : hi.x, (c & 2) ? lo.y : hi.y, (c & 4) ? lo.z : hi.z);
        Vector3 p = t.getTransformedPos(corner);
        m_min.minimizeWith(p);
        m_max.maximizeWith(p);
    }
}

}  // namespace Kinetic
