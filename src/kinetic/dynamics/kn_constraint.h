// The constraint layer's effector chain, reduced to what its constraints need: an effector with its
// default operations, and a constraint that registers with a local constraint system and acts on up to
// two bodies.
#pragma once

#include "kinetic/dynamics/kn_types.h"

namespace Kinetic {

class RigidBody;
class kn_Local_Constraint_System;

class kn_Effector {
public:
    virtual ~kn_Effector() = default;
    virtual int get_effector_priority() const { return 1; }
    virtual float get_minimum_simulation_frequency() const { return 255.0f; }
    virtual void apply_effector_PSI(kn_PSI_Info& psi) = 0;
    virtual void reset_effector_time(float t) { (void)t; }
};

class kn_Constraint : public kn_Effector {
public:
    // Registers with the system, which then owns it.
    kn_Constraint(kn_Local_Constraint_System* system, RigidBody* entity0, RigidBody* entity1,
                  int storageSize);
    // Leaves the system.
    ~kn_Constraint() override;

    virtual int get_vmq_storage_size() const = 0;
    // Both return the storage bytes used.
    virtual int setup_and_step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor,
                                          float dampFactor) = 0;
    virtual int step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor, float dampFactor) = 0;
    virtual void init_constraint(const void* blueprint) = 0;

    RigidBody* m_entity[2];
    kn_Local_Constraint_System* m_system;
};

}  // namespace Kinetic
