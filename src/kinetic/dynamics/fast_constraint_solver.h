// The constraint solver the game uses: a local constraint system solved every step while its group of
// bodies is awake; the bodies sleep and wake together through its group deactivator.
#pragma once

#include <memory>
#include <vector>

#include "kinetic/dynamics/constraint_solver.h"

namespace Kinetic {

class GroupDeactivator;
class kn_Local_Constraint_System;

class FastConstraintSolver : public ConstraintSolver {
public:
    struct Impl {
        std::unique_ptr<kn_Local_Constraint_System> m_system;
        // Also a step action of the subspace once the solver has run (the subspace does not own it).
        std::unique_ptr<GroupDeactivator> m_deactivator;
        bool m_deactivatorAdded = false;
    };

    FastConstraintSolver();
    ~FastConstraintSolver() override;

    void setDeactivationThreshold(float t);
    void apply(Subspace& subspace, float t) override;
    void addConstraint(Constraint* c) override;
    void removeConstraint(Constraint* c) override;
    int getNumConstraints() const override { return static_cast<int>(m_constraints.size()); }
    Constraint* getConstraint(int i) const override { return m_constraints[static_cast<size_t>(i)]; }

    int getNumReferences() const override { return getNumConstraints(); }
    ReferenceObject* getReference(int i) const override;
    int onNotify(ReferenceObject* sender, int id, Message message) override;

    std::unique_ptr<Impl> m_impl;
    std::vector<Constraint*> m_constraints;  // not owned
};

}  // namespace Kinetic
