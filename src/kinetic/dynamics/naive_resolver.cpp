#include "kinetic/dynamics/naive_resolver.h"

#include <cmath>
#include <utility>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

// Twice the rotational energy of spin w (a body that cannot turn has none).
float spinEnergy(const RigidBody* b, const Vector3& w) {
    if (b->m_worldInertiaInv.isExactlyZero()) return 0.0f;
    return w.dot(b->m_worldInertiaInv.getInverse() * w);
}

}  // namespace

void resolveSingleContact(const CollisionDetails& contact) {
    RigidBody* a = bodyOf(contact.m_objectA);
    RigidBody* b = bodyOf(contact.m_objectB);
    if (!a || !b) return;
    const bool fa = a->isFixed(), fb = b->isFixed();
    if (fa && fb) return;
    if (fa) {
        b->m_linearVelocity = -b->m_linearVelocity;
        b->m_angularVelocity = -b->m_angularVelocity;
    } else if (fb) {
        a->m_linearVelocity = -a->m_linearVelocity;
        a->m_angularVelocity = -a->m_angularVelocity;
    } else {
        a->m_linearVelocity = -a->m_linearVelocity;
        b->m_linearVelocity = -b->m_linearVelocity;
        // Swapped spins of bodies that turn unlike each other carry a different energy: never more.
        const float before = spinEnergy(a, a->m_angularVelocity) + spinEnergy(b, b->m_angularVelocity);
        std::swap(a->m_angularVelocity, b->m_angularVelocity);
        const float after = spinEnergy(a, a->m_angularVelocity) + spinEnergy(b, b->m_angularVelocity);
        if (after > before) {
            const float k = std::sqrt(before / after);
            a->m_angularVelocity = a->m_angularVelocity * k;
            b->m_angularVelocity = b->m_angularVelocity * k;
        }
    }
}

void NaiveResolver::resolve(std::vector<CollisionDetails>& group) {
    for (const CollisionDetails& c : group) resolveSingleContact(c);
}

}  // namespace Kinetic
