// Drives a body's roll towards an angle: one angular row about the body's dir0 axis, whose error is how
// far the body's dir1 axis leans out of the plane perpendicular to up, against sin(roll angle).
#pragma once

#include "kinetic/dynamics/kn_constraint.h"

namespace Kinetic {

struct kn_Bike_Roll_BP {
    float m_tau = 1.0f;
    float m_strength = 1.0f;
    kn_Vector3 m_dir0;
    kn_Vector3 m_dir1;
    kn_Vector3 m_up;
};

class kn_Bike_Roll_Constraint : public kn_Constraint {
public:
    static constexpr int kStorageSize = 224;

    kn_Bike_Roll_Constraint(kn_Local_Constraint_System* system, const kn_Bike_Roll_BP& bp, RigidBody* body);

    int get_vmq_storage_size() const override { return kStorageSize; }
    int setup_and_step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor,
                                  float dampFactor) override;
    int step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor, float dampFactor) override;
    // Copies the blueprint and resets the roll angle to 0.
    void init_constraint(const void* blueprint) override;
    // Setup and one step on storage of its own.
    void apply_effector_PSI(kn_PSI_Info& psi, kn_Array<kn_Entity*>* entities) override;
    void set_roll_angle(float angle) { m_roll_angle = angle; }
    float get_roll_angle() const { return m_roll_angle; }

    float m_tau;
    float m_roll_angle = 0.0f;
    float m_strength;
    kn_Vector3 m_dir0;
    kn_Vector3 m_dir1;
    kn_Vector3 m_up;
};

}  // namespace Kinetic
