#include "kinetic/dynamics/frictionless_rr_resolver.h"

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

// n . ((Iw^-1 (r x n)) x r) of one body.
float angularTerm(const RigidBody* b, const Vector3& p, const Vector3& n) {
    if (!b) return 0.0f;
    const Vector3 r = p - b->m_position;
    return n.dot((b->m_worldInertiaInv * r.cross(n)).cross(r));
}

}  // namespace

void FrictionlessRRResolver::resolve(std::vector<CollisionDetails>& group) {
    m_normalDenominator.resize(group.size());
    for (size_t i = 0; i < group.size(); ++i) {
        const CollisionDetails& c = group[i];
        const RigidBody* a = bodyOf(c.m_objectA);
        const RigidBody* b = bodyOf(c.m_objectB);
        const Vector3& p = c.m_contact.m_position;
        const Vector3& n = c.m_contact.m_normal;
        m_normalDenominator[i] = (a ? a->m_massInv : 0.0f) + (b ? b->m_massInv : 0.0f) +
                                 angularTerm(a, p, n) + angularTerm(b, p, n);
    }
    PointRRResolver::resolve(group);
}

Vector3 FrictionlessRRResolver::resolveSingleContact(const CollisionDetails& contact,
                                                     const ResolverDetails& details) {
    const RigidBody* a = bodyOf(contact.m_objectA);
    const RigidBody* b = bodyOf(contact.m_objectB);
    const float d = m_normalDenominator[static_cast<size_t>(contact.m_group)];
    // Two bodies that cannot move have no effective mass: no impulse rather than a division by zero.
    if (!(d > 1e-12f)) return Vector3_Zero;
    const float e = details.lateIteration ? 0.01f : a->m_restitution * b->m_restitution;
    return contact.m_contact.m_normal * (-(1.0f + e) * details.normalVelocity / d);
}

}  // namespace Kinetic
