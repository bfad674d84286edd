#include "kinetic/dynamics/naive_resolver.h"

#include <utility>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

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
        std::swap(a->m_angularVelocity, b->m_angularVelocity);
    }
}

void NaiveResolver::resolve(std::vector<CollisionDetails>& group) {
    for (const CollisionDetails& c : group) resolveSingleContact(c);
}

}  // namespace Kinetic
