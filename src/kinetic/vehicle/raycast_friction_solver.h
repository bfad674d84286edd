// The vehicle's front end to the two-axle wheel friction: per-axle parameters the vehicle fills each
// step, the per-axle results it reads back, and the persistent friction status.
#pragma once

#include "kinetic/math/vector3.h"
#include "kinetic/vehicle/kn_vehicle_friction_solver.h"

namespace Kinetic {

class RigidBody;

struct RaycastFrictionSolverAxleParams {
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

struct RaycastFrictionSolverParams {
    float m_fastYawSteeringAngle = 0.0f;
    RaycastFrictionSolverAxleParams* m_axleParams = nullptr;  // owned, m_numAxles records
    unsigned m_numAxles = 0;
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
    float m_extraTorqueFactor = 0.0f;
};

class RaycastFrictionSolver {
public:
    // The solver works on exactly two axles; any other count is a fatal error (it would read or write
    // past its two-axle storage).
    explicit RaycastFrictionSolver(const unsigned int& numAxles);
    ~RaycastFrictionSolver();
    RaycastFrictionSolver(const RaycastFrictionSolver&) = delete;
    RaycastFrictionSolver& operator=(const RaycastFrictionSolver&) = delete;

    void solveRaycastFriction(const float& dt);
    float getForwardSlipVelocity(const unsigned int& axle) const;
    float getSkidEnergyDensity(const unsigned int& axle) const;
    float getSideForce(const unsigned int& axle) const;

    struct Implementation {
        kn_Vehicle_Friction_Params m_params;
        kn_Vehicle_Friction_Status m_status;
        bool m_lastReSolved = false;
    };

    RaycastFrictionSolverParams m_params;
    Implementation* m_implementation;
};

}  // namespace Kinetic
