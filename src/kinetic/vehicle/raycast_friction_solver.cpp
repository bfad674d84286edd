#include "kinetic/vehicle/raycast_friction_solver.h"

#include <algorithm>
#include <string>

#include "kinetic/collide/error.h"

namespace Kinetic {

RaycastFrictionSolver::RaycastFrictionSolver(const unsigned int& numAxles) {
    if (numAxles != 2)
        g_pGlobalErrorHandler->fatal(
            "RaycastFrictionSolver: a raycast vehicle needs exactly two axles, not " +
                std::to_string(numAxles),
            1);
    m_params.m_numAxles = numAxles;
    m_params.m_axleParams = new RaycastFrictionSolverAxleParams[numAxles];
    m_implementation = new Implementation();
}

RaycastFrictionSolver::~RaycastFrictionSolver() {
    delete[] m_params.m_axleParams;
    delete m_implementation;
}

void RaycastFrictionSolver::solveRaycastFriction(const float& dt) {
    kn_Vehicle_Friction_Params& p = m_implementation->m_params;
    for (int a = 0; a < 2; ++a) {
        const RaycastFrictionSolverAxleParams& s = m_params.m_axleParams[a];
        kn_Axis_Friction_Params& d = p.m_axis[a];
        d.m_contactPointWS = s.m_contactPointWS;
        d.m_constraintNormalWS = s.m_constraintNormalWS;
        d.m_forwardDirWS = s.m_forwardDirWS;
        d.m_frictionCoefficient = s.m_frictionCoefficient;
        d.m_viscosityFrictionCoefficient = s.m_viscosityFrictionCoefficient;
        d.m_wheelDownForce = s.m_wheelDownForce;
        d.m_forwardForce = s.m_forwardForce;
        d.m_rotationInertia = s.m_rotationInertia;
        d.m_wheelFixed = s.m_wheelFixed;
    }
    p.m_chassis = m_params.m_chassis;
    p.m_ground = m_params.m_ground;
    p.m_upAxisIndex = m_params.m_upAxisIndex;
    p.m_forwardAxisIndex = m_params.m_forwardAxisIndex;
    p.m_rightAxisIndex = m_params.m_rightAxisIndex;
    p.m_torquePitchFactor = m_params.m_torquePitchFactor;
    p.m_torqueRollFactor = m_params.m_torqueRollFactor;
    p.m_torqueYawFactor = m_params.m_torqueYawFactor;
    p.m_frictionEqualizer = m_params.m_frictionEqualizer;
    p.m_extraAngularImpulseFactor = m_params.m_extraAngularImpulseFactor;
    p.m_fastYawSteeringAngle = m_params.m_fastYawSteeringAngle;
    p.m_extraTorqueFactor = m_params.m_extraTorqueFactor;
    // Wheel spin decays towards the ground speed, never faster than to a fifth per step.
    const float k = std::max(1.0f - 2.0f * dt, 0.2f);
    for (kn_Axis_Friction_Status& s : m_implementation->m_status.m_axis) s.m_forward_slip_velocity *= k;
    kn_PSI_Info psi;
    psi.m_first = 0;
    psi.m_delta_time = dt;
    psi.m_inv_delta_time = 1.0f / dt;
    psi.m_start_time = 0.0f;
    psi.m_end_time = dt;
    kn_Vehicle_Friction_Solver solver;
    solver.apply_vehicle_friction(psi, p, m_implementation->m_status);
    m_implementation->m_lastReSolved = solver.m_reSolved;
}

float RaycastFrictionSolver::getForwardSlipVelocity(const unsigned int& axle) const {
    return m_implementation->m_status.m_axis[axle].m_forward_slip_velocity;
}

float RaycastFrictionSolver::getSkidEnergyDensity(const unsigned int& axle) const {
    return m_implementation->m_status.m_axis[axle].m_skid_energy_density;
}

float RaycastFrictionSolver::getSideForce(const unsigned int& axle) const {
    return m_implementation->m_status.m_axis[axle].m_side_force;
}

}  // namespace Kinetic
