#include "kinetic/collide/planar_primitive.h"

#include <cfloat>

namespace Kinetic {

PlanarPrimitive::PlanarPrimitive(RigidBody* body, const Vector3& normal, float distance)
    : Primitive(CD_IMPLICIT, body, Transform_Identity, 0.0f), m_normal(normal), m_distance(distance) {
    m_normal.normalize();
}

void PlanarPrimitive::precomputeCDinfo(float tolerance) {
    boxesChanged();
    const Vector3 n = getBodyToWorldTransform().getRotatedDir(m_normal);
    const float s = m_normal.dot(getWorldToBodyTransform().getTransformedPos(Vector3_Zero)) - m_distance;
    const Vector3 f = n * -s;
    m_AABB = AABB(Vector3(-FLT_MAX, -FLT_MAX, -FLT_MAX), Vector3(FLT_MAX, FLT_MAX, FLT_MAX));
    // Only a plane facing exactly along an axis bounds the box, on that axis.
    const float h = tolerance / 2.0f;
    if (n.x == 0 && n.y == 0 && n.z == 1) m_AABB.m_max.z = f.z + h;
    if (n.x == 0 && n.y == 1 && n.z == 0) m_AABB.m_max.y = f.y + h;
    if (n.x == 1 && n.y == 0 && n.z == 0) m_AABB.m_max.x = f.x + h;
    if (n.x == 0 && n.y == 0 && n.z == -1) m_AABB.m_min.z = f.z - h;
    if (n.x == 0 && n.y == -1 && n.z == 0) m_AABB.m_min.y = f.y - h;
    if (n.x == -1 && n.y == 0 && n.z == 0) m_AABB.m_min.x = f.x - h;
}

AABB PlanarPrimitive::computeLocalAABB() const {
    AABB box(Vector3(-FLT_MAX, -FLT_MAX, -FLT_MAX), Vector3(FLT_MAX, FLT_MAX, FLT_MAX));
    if (m_normal.x == 1 && m_normal.y == 0 && m_normal.z == 0) {
        box.m_min.x = -FLT_MIN;
        box.m_max.x = FLT_MIN;
    } else if (m_normal.x == 0 && m_normal.y == 1 && m_normal.z == 0) {
        box.m_min.y = -FLT_MIN;
        box.m_max.y = FLT_MIN;
    } else if (m_normal.x == 0 && m_normal.y == 0 && m_normal.z == 1) {
        box.m_min.z = -FLT_MIN;
        box.m_max.z = FLT_MIN;
    }
    return box;
}

Primitive* PlanarPrimitive::clone(RigidBody* body) const {
    auto* p = new PlanarPrimitive(body, m_normal, m_distance);
    p->copyCollisionSettings(this);
    return p;
}

}  // namespace Kinetic
