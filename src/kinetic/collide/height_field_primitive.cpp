#include "kinetic/collide/height_field_primitive.h"

namespace Kinetic {

HeightFieldPrimitive::HeightFieldPrimitive(RigidBody* body, HeightField* field)
    : Primitive(CD_HEIGHTFIELD, body, Transform_Identity, 0.0f), m_heightfield(field) {}

void HeightFieldPrimitive::precomputeCDinfo(float tolerance) {
    boxesChanged();
    AABB box(Vector3_Zero, m_heightfield->m_size);
    box.transformBy(getBodyToWorldTransform());
    const Vector3 g(tolerance / 2.0f, tolerance / 2.0f, tolerance / 2.0f);
    m_AABB = AABB(box.m_min - g, box.m_max + g);
    setCentreFromBox();
}

AABB HeightFieldPrimitive::computeLocalAABB() const {
    const Vector3 t = m_bodyToLocalTransform.getTranslation();
    return AABB(t, t + m_heightfield->m_size);
}

Primitive* HeightFieldPrimitive::clone(RigidBody* body) const {
    auto* p = new HeightFieldPrimitive(body, m_heightfield);
    p->copyCollisionSettings(this);
    return p;
}

}  // namespace Kinetic
