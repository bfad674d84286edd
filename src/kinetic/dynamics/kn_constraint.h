// A constraint of the layer: a rigid-body effector that registers with a local constraint system (which
// then owns it) and is solved in that system's passes over its own part of the storage buffer.
#pragma once

#include "kinetic/dynamics/kn_effector.h"

namespace Kinetic {

class kn_Local_Constraint_System;

class kn_Constraint : public kn_Rigid_Body_Binary_EF {
public:
    kn_Constraint(kn_Local_Constraint_System* system, kn_Entity* entity0, kn_Entity* entity1,
                  int storageSize);
    // Leaves the system.
    ~kn_Constraint() override;

    virtual int get_vmq_storage_size() const = 0;
    // Both return the storage bytes used.
    virtual int setup_and_step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor,
                                          float dampFactor) = 0;
    virtual int step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor, float dampFactor) = 0;
    virtual void init_constraint(const void* blueprint) = 0;

    kn_Local_Constraint_System* m_system;
};

}  // namespace Kinetic
