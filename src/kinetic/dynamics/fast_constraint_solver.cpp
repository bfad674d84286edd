#include "kinetic/dynamics/fast_constraint_solver.h"

#include <algorithm>

#include "kinetic/dynamics/constraint.h"
#include "kinetic/dynamics/group_deactivator.h"
#include "kinetic/dynamics/kn_local_constraint_system.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

FastConstraintSolver::FastConstraintSolver() : m_impl(std::make_unique<Impl>()) {
    m_impl->m_system = std::make_unique<kn_Local_Constraint_System>();
    m_impl->m_deactivator = std::make_unique<GroupDeactivator>();
    m_impl->m_deactivator->setDeactivationThreshold(10.0f);
    m_lastRefresh = -1.0f;
}

FastConstraintSolver::~FastConstraintSolver() {
    // The system deletes the working constraints: constraints that outlive the solver must forget theirs
    // rather than keep a dangling pointer.
    for (Constraint* c : m_constraints) c->internalDeInit();
    m_impl->m_system.reset();
    m_impl->m_deactivator.reset();
    m_impl.reset();
    destroyReferences();
    m_constraints.clear();
    notifyDependants(MSG_DEATH);
}

void FastConstraintSolver::setDeactivationThreshold(float t) {
    m_impl->m_deactivator->setDeactivationThreshold(t);
}

void FastConstraintSolver::addConstraint(Constraint* c) {
    m_constraints.push_back(c);
    c->internalInit(m_impl->m_system.get());
    c->addDependant(this, 0);
    for (RigidBody* b : c->m_bodies) {
        if (!b || b->isFixed()) continue;
        m_impl->m_deactivator->addRigidBody(b);
        b->setNeverDeactivate(true);
    }
}

void FastConstraintSolver::removeConstraint(Constraint* c) {
    auto it = std::find(m_constraints.begin(), m_constraints.end(), c);
    if (it == m_constraints.end()) return;
    m_constraints.erase(it);
    c->removeAllDependancy(this);
    c->internalDeInit();
    for (RigidBody* b : c->m_bodies)
        if (b && !b->isFixed()) b->setNeverDeactivate(false);
}

void FastConstraintSolver::apply(Subspace& subspace, float t) {
    (void)t;
    if (!m_impl->m_deactivatorAdded) {
        subspace.addStepAction(m_impl->m_deactivator.get());
        m_impl->m_deactivatorAdded = true;
    }
    if (!m_impl->m_deactivator->isActive()) return;
    kn_PSI_Info psi;
    psi.m_first = 0;
    psi.m_delta_time = subspace.m_deltaT;
    psi.m_inv_delta_time = 1.0f / subspace.m_deltaT;
    psi.m_start_time = subspace.m_lastTime;
    psi.m_end_time = subspace.m_lastTime + subspace.m_deltaT;
    m_impl->m_system->apply_effector_PSI(psi);
}

ReferenceObject* FastConstraintSolver::getReference(int i) const {
    if (i < 0 || i >= getNumConstraints()) return nullptr;
    return m_constraints[static_cast<size_t>(i)];
}

int FastConstraintSolver::onNotify(ReferenceObject* sender, int id, Message message) {
    (void)id;
    if (message != MSG_DEATH) return 0;
    removeConstraint(static_cast<Constraint*>(static_cast<KineticObject*>(sender)));
    if (m_constraints.empty()) {
        destroyReferences();
        notifyDependants(MSG_DEATH);
    }
    return 0;
}

}  // namespace Kinetic
