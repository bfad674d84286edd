// A constraint between one or two bodies, as the game sees it. The working part lives in a local
// constraint system once the constraint is added to a solver.
#pragma once

#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class RigidBody;
class kn_Constraint;
class kn_Local_Constraint_System;

enum ConstraintType {
    KN_CONSTRAINT_ERROR = 0,
    KN_CONSTRAINT_POINTTOPOINT = 1,
    KN_CONSTRAINT_HINGE = 2,
    KN_CONSTRAINT_STIFFSPRING = 3,
    KN_CONSTRAINT_PRISMATIC = 4,
    KN_CONSTRAINT_CARWHEEL = 5,
    KN_CONSTRAINT_LIMITEDPOINTTOPOINT = 6,
    KN_CONSTRAINT_RAGDOLL = 7,
    KN_CONSTRAINT_ANGULAR1D = 8,
    KN_CONSTRAINT_LAST = 9,
};

class Constraint : public KineticObject {
public:
    Constraint(RigidBody* a, RigidBody* b, ConstraintType type);
    ~Constraint() override;

    int getNumReferences() const override;
    ReferenceObject* getReference(int i) const override;
    int onNotify(ReferenceObject* sender, int id, Message message) override;

    // Builds (or re-initialises) the working constraint in the system; null re-initialises in place.
    virtual void internalInit(kn_Local_Constraint_System* system) = 0;
    // Forgets the working constraint (the system still owns it).
    virtual void internalDeInit() { m_internal_constraint = nullptr; }
    // Re-initialises the working constraint from the current fields.
    void applyChanges();

    kn_Constraint* m_internal_constraint = nullptr;
    ConstraintType m_type;
    RigidBody* m_bodies[2];
    float m_tau = 1.0f;
    float m_strength = 1.0f;
};

}  // namespace Kinetic
