#include "kinetic/dynamics/constraint.h"

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

Constraint::Constraint(RigidBody* a, RigidBody* b, ConstraintType type) : m_type(type), m_bodies{a, b} {
    for (RigidBody* body : m_bodies)
        if (body) body->addDependant(this, 0);
}

Constraint::~Constraint() {
    destroyReferences();
    notifyDependants(MSG_DEATH);
}

int Constraint::getNumReferences() const {
    return (m_bodies[0] ? 1 : 0) + (m_bodies[1] ? 1 : 0);
}

ReferenceObject* Constraint::getReference(int i) const {
    if (i == 0 && m_bodies[0]) return m_bodies[0];
    return m_bodies[1];
}

int Constraint::onNotify(ReferenceObject* sender, int id, Message message) {
    (void)sender;
    (void)id;
    if (message != MSG_DEATH) return 0;
    for (RigidBody* b : m_bodies)
        if (b) b->removeAllDependancy(this);
    destroyReferences();
    notifyDependants(MSG_DEATH);
    m_bodies[0] = m_bodies[1] = nullptr;
    return 0;
}

void Constraint::applyChanges() {
    if (m_internal_constraint) internalInit(nullptr);
}

}  // namespace Kinetic
