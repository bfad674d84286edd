#include "kinetic/collide/primitive.h"

#include <cmath>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

Primitive::Primitive(CDType type, RigidBody* body, const Transform& bodyToLocal, float mass)
    : Collidable(type, body), m_bodyToLocalTransform(bodyToLocal), m_mass(mass) {
    boxesChanged();
    recomputeLocalTransforms();
}

Primitive::~Primitive() {
    boxesChanged();
    notifyDependants(MSG_DEATH);
}

RigidBody* Primitive::getBody() const {
    return static_cast<RigidBody*>(m_entity);
}

bool Primitive::getMassProperties(Vector3& centreOfMass, Matrix3& inertia, float& volume) {
    if (!m_massPropertiesCalculated) {
        if (!computeMassProperties()) return false;
        m_massPropertiesCalculated = 1;
    }
    centreOfMass = m_centreOfMass;
    inertia = m_unitInertia * m_mass;
    volume = m_volume;
    return true;
}

void Primitive::setBodyToLocalTransform(const Transform& t) {
    m_bodyToLocalTransform = t;
    recomputeLocalTransforms();
    if (getBody()) getBody()->computeMassProperties();
}

void Primitive::recomputeLocalTransforms() {
    m_localToWorldTransform = getBody() ? &getBody()->m_transformation : nullptr;
    m_localToBodyTransform = m_bodyToLocalTransform.getInverse();
    m_timestamp = -1.0f;
}

void Primitive::recomputeWorldTransforms() const {
    const RigidBody* b = getBody();
    if (!b) {
        m_bodyToWorldTransform = m_bodyToLocalTransform;
        m_worldToBodyTransform = m_localToBodyTransform;
        return;
    }
    if (m_worldSerialNumber == b->m_serialNumber) return;
    m_worldSerialNumber = b->m_serialNumber;
    m_bodyToWorldTransform = b->m_transformation * m_bodyToLocalTransform;
    m_worldToBodyTransform = m_localToBodyTransform * b->m_transformation.getInverse();
}

void Primitive::translateWithinLocalSpace(const Vector3& offset) {
    m_bodyToLocalTransform.setTranslation(m_bodyToLocalTransform.getTranslation() + offset);
    m_localToBodyTransform = m_bodyToLocalTransform.getInverse();
    m_centre += offset;
}

void Primitive::setParentBody(RigidBody* body) {
    boxesChanged();
    m_entity = body;
    m_localToWorldTransform = body ? &body->m_transformation : nullptr;
    if (body && body->m_serialNumber != m_worldSerialNumber) recomputeWorldTransforms();
}

void Primitive::recomputeBoundingVolumes() {
    if (m_type == CD_IMPLICIT) return;  // a plane's box is set once
    const RigidBody* b = getBody();
    if (!b) return;
    const Vector3 c = b->m_transformation.getTransformedPos(m_centre);
    if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z)) {
        // The body has blown up numerically: keep the old box and take the body out of play.
        m_entity->setActive(false, true);
        return;
    }
    boxesChanged();
    const Vector3 h = (m_AABB.m_max - m_AABB.m_min) * 0.5f;
    m_AABB.m_min = c - h;
    m_AABB.m_max = c + h;
}

void Primitive::copyMassProperties(const Primitive* source) {
    m_massPropertiesCalculated = source->m_massPropertiesCalculated;
    if (!m_massPropertiesCalculated) return;
    m_unitInertia = source->m_unitInertia;
    m_centreOfMass = source->m_centreOfMass;
    m_volume = source->m_volume;
    m_mass = source->m_mass;
}

void Primitive::setCentreFromBox() {
    const Vector3 mid = (m_AABB.m_min + m_AABB.m_max) * 0.5f;
    const RigidBody* b = getBody();
    m_centre = b ? b->m_transformation.getInverse().getTransformedPos(mid) : mid;
}

void Primitive::copyCollisionSettings(const Primitive* source) {
    m_userInfo = source->m_userInfo;
    m_isPhantom = source->m_isPhantom;
    m_collisionGroups = source->m_collisionGroups;
}

}  // namespace Kinetic
