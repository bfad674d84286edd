// Two-axle wheel friction on the constraint layer: side friction of both axles solved jointly as a 2 x 2
// system, forward friction per axle, both clipped by each axle's friction circle; the wheel-spin state
// (forward slip velocity), deferred forward impulse and skid measure persist per axle.
#pragma once

#include "kinetic/dynamics/kn_types.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class RigidBody;

struct kn_Axis_Friction_Params {
    Vector3 m_contactPointWS;
    Vector3 m_constraintNormalWS;
    Vector3 m_forwardDirWS;
    float m_frictionCoefficient = 0.0f;
    float m_viscosityFrictionCoefficient = 0.0f;
    float m_wheelDownForce = 0.0f;
    float m_forwardForce = 0.0f;
    float m_rotationInertia = 0.0f;
    bool m_wheelFixed = false;
};

struct kn_Vehicle_Friction_Params {
    kn_Axis_Friction_Params m_axis[2];
    RigidBody* m_chassis = nullptr;
    RigidBody* m_ground = nullptr;
    unsigned m_upAxisIndex = 2;
    unsigned m_forwardAxisIndex = 1;
    unsigned m_rightAxisIndex = 0;
    float m_torquePitchFactor = 0.0f;
    float m_torqueRollFactor = 0.0f;
    float m_torqueYawFactor = 0.0f;
    float m_frictionEqualizer = 0.0f;
    float m_extraAngularImpulseFactor = 0.0f;
    float m_fastYawSteeringAngle = 0.0f;
    float m_extraTorqueFactor = 0.0f;
};

struct kn_Axis_Friction_Status {
    float m_forward_impulse = 0.0f;
    float m_forward_slip_velocity = 0.0f;
    float m_skid_energy_density = 0.0f;
    float m_side_force = 0.0f;
};

struct kn_Vehicle_Friction_Status {
    float m_fast_yaw = 0.0f;
    float m_wheel_base = 1000000.0f;
    kn_Axis_Friction_Status m_axis[2];
};

struct kn_Vehicle_Friction_Axis_Tmp {
    kn_VMQ_Storage<1> m_chassis_forward;
    kn_VMQ_Storage<1> m_ground_forward;
    kn_Vector3 m_local_arm;
    float m_forward_velocity = 0.0f;
    float m_side_velocity = 0.0f;
    float m_normal_force = 0.0f;
    float m_forward_impulse = 0.0f;
    float m_side_impulse = 0.0f;
    float m_residual_forward_impulse = 0.0f;
    float m_skid_value = 0.0f;
};

class kn_Vehicle_Friction_Solver {
public:
    void apply_vehicle_friction(const kn_PSI_Info& psi, const kn_Vehicle_Friction_Params& p,
                                kn_Vehicle_Friction_Status& s);
    // True when the axle slides (a locked axle always does).
    bool calc_force(const kn_Vehicle_Friction_Params& p, const kn_Axis_Friction_Params& a,
                    kn_Vehicle_Friction_Axis_Tmp& t, kn_Axis_Friction_Status& s, float sideImpulse);

    kn_Vehicle_Friction_Axis_Tmp m_axis[2];
    kn_VMQ_Storage<2> m_chassis_side;
    kn_VMQ_Storage<2> m_ground_side;
    float m_side_matrix[8] = {};
    float m_side_inverse[8] = {};
    const kn_PSI_Info* m_psi = nullptr;
    bool m_reSolved = false;  // the sequential re-solve ran (for inspection)
};

}  // namespace Kinetic
