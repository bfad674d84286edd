#include "kinetic/dynamics/simple_friction_rr_resolver.h"

#include <cmath>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

void SimpleFrictionRRResolver::resolve(std::vector<CollisionDetails>& group) {
    m_matrices.resize(group.size());
    m_inverseMatrices.resize(group.size());
    for (size_t i = 0; i < group.size(); ++i) {
        const CollisionDetails& c = group[i];
        const RigidBody* a = bodyOf(c.m_objectA);
        const RigidBody* b = bodyOf(c.m_objectB);
        const Vector3& p = c.m_contact.m_position;
        Matrix3 k = Matrix3_Zero;
        // Fixed and pinned bodies take no impulse, so they add nothing.
        if (!isExcluded(a)) k = k + a->getCollisionMatrix(p);
        if (!isExcluded(b)) k = k + b->getCollisionMatrix(p);
        m_matrices[i] = k;
        m_inverseMatrices[i] = k.isExactlyZero() ? Matrix3_Zero : k.getInverse();
    }
    FrictionlessRRResolver::resolve(group);
}

Vector3 SimpleFrictionRRResolver::resolveSingleContact(const CollisionDetails& contact,
                                                       const ResolverDetails& details) {
    const RigidBody* a = bodyOf(contact.m_objectA);
    const RigidBody* b = bodyOf(contact.m_objectB);
    const size_t i = static_cast<size_t>(contact.m_group);
    const float d = m_normalDenominator[i];
    if (!(d > 1e-12f)) return Vector3_Zero;
    const Matrix3& m = m_inverseMatrices[i];
    const Vector3& n = contact.m_contact.m_normal;
    const Vector3& u = details.relativeVelocity;
    const float vn = details.normalVelocity;
    const float e = details.lateIteration ? 0.0f : a->m_restitution * b->m_restitution;
    const float mu = std::sqrt(a->m_friction * b->m_friction);
    const Vector3 jn = n * (-vn / d);
    const Vector3 p0 = m * (-u);
    const Vector3 p = jn * (1.0f + e) + (p0 - jn);
    const float pn = p.dot(n);
    // Inside the cone: the contact sticks and bounces along the normal, which never adds energy.
    if ((p - n * pn).length() <= mu * pn) return p;
    const Vector3 t0 = p0 - n * p0.dot(n);
    const float denom = t0.length() - mu * n.dot(p0 - jn);
    // A zero denominator leaves only the normal part.
    if (std::fabs(denom) < 1e-12f) return jn * (1.0f + e);
    const float alpha = mu * (1.0f + e) * (-vn / d) / denom;
    // Scaled down to the cone, the sticking impulse can still push too hard (alpha above 1, or a
    // coupling between normal and tangent): no more than the frictionless bounce's energy comes back.
    return keepEnergy(m_matrices[i], u, jn * (1.0f + e) + (p0 - jn) * alpha, jn * (1.0f + e));
}

}  // namespace Kinetic
