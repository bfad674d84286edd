#include "kinetic/collide/spherical_primitive.h"

namespace Kinetic {

SphericalPrimitive::SphericalPrimitive(RigidBody* body, float radius, const Transform& bodyToLocal,
                                       float mass)
    : CXImplicitPrimitive(body, bodyToLocal, mass), m_radius(radius) {
    m_AABB = AABB(Vector3(-radius, -radius, -radius), Vector3(radius, radius, radius));
}

void SphericalPrimitive::precomputeCDinfo(float tolerance) {
    boxesChanged();
    const Vector3 w = getBodyToWorldTransform().getTranslation();
    // A sphere pads by a quarter of the tolerance where a mesh pads by half.
    const float h = m_radius + tolerance / 4.0f;
    m_AABB = AABB(w - Vector3(h, h, h), w + Vector3(h, h, h));
    setCentreFromBox();
}

bool SphericalPrimitive::insideBody(const Vector3& p) const {
    return m_localToBodyTransform.getTransformedPos(p).lengthSqrd() < m_radius * m_radius;
}

AABB SphericalPrimitive::computeLocalAABB() const {
    const Vector3 t = m_bodyToLocalTransform.getTranslation();
    const Vector3 r(m_radius, m_radius, m_radius);
    return AABB(t - r, t + r);
}

Primitive* SphericalPrimitive::clone(RigidBody* body) const {
    auto* p = new SphericalPrimitive(body, m_radius, m_bodyToLocalTransform, m_mass);
    p->copyMassProperties(this);
    p->copyCollisionSettings(this);
    return p;
}

bool SphericalPrimitive::computeMassProperties() {
    const float r = m_radius;
    m_volume = 4.1887903f * r * r * r;
    const float d = (12.566371f * r * r * r) * (2.0f * r * r) / 15.0f / m_volume;
    m_unitInertia = Matrix3(d, 0, 0, 0, d, 0, 0, 0, d);
    m_centreOfMass = m_bodyToLocalTransform.getTranslation();
    return true;
}

Vector3 SphericalPrimitive::getSupportingVertex(const Vector3& direction) const {
    Vector3 d = direction;
    d.normalize();
    return getBodyToWorldTransform().getTranslation() + d * m_radius;
}

}  // namespace Kinetic
