// The two-axle wheel friction on its own: a chassis body on two axles 0.75 ahead and behind its centre,
// ground frame with forward +z, side +x, up -y.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "../collide/test_shapes.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/raycast_friction_solver.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

struct Rig {
    Rig() : chassis(sphereBody(0.5f, 100.0f, Vector3(0, 0, 0))), solver(2u) {
        chassis->setInertia(Matrix3(100, 0, 0, 0, 100, 0, 0, 0, 100));
        RaycastFrictionSolverParams& p = solver.m_params;
        p.m_chassis = chassis.get();
        p.m_upAxisIndex = 1;  // the chassis frame is the world frame here: y up-down, z forward, x right
        p.m_forwardAxisIndex = 2;
        p.m_rightAxisIndex = 0;
        for (int a = 0; a < 2; ++a) {
            RaycastFrictionSolverAxleParams& ap = p.m_axleParams[a];
            ap.m_contactPointWS = Vector3(0.0f, 0.5f, a == 0 ? 0.75f : -0.75f);
            ap.m_constraintNormalWS = Vector3(1, 0, 0);
            ap.m_forwardDirWS = Vector3(0, 0, 1);
            ap.m_frictionCoefficient = 0.8f;
            ap.m_viscosityFrictionCoefficient = 0.0f;
            ap.m_wheelDownForce = 755.0f;
            ap.m_rotationInertia = 3.0f;
        }
    }
    RaycastFrictionSolverAxleParams& axle(int a) { return solver.m_params.m_axleParams[a]; }
    const kn_Axis_Friction_Status& status(int a) const { return solver.m_implementation->m_status.m_axis[a]; }
    std::unique_ptr<RigidBody> chassis;
    RaycastFrictionSolver solver;
};

const float kDt = 1.0f / 60.0f;

}  // namespace

TEST(RaycastFrictionTest, AtRestNothingHappensAndSlipDecaysToNoLessThanAFifth) {
    Rig r;
    r.solver.m_implementation->m_status.m_axis[1].m_forward_slip_velocity = 0.0f;
    r.solver.solveRaycastFriction(kDt);
    for (int a = 0; a < 2; ++a) {
        EXPECT_EQ(r.status(a).m_forward_impulse, 0.0f);
        EXPECT_EQ(r.solver.getSideForce(a), 0.0f);
        EXPECT_EQ(r.solver.getSkidEnergyDensity(a), 0.0f);
    }
    EXPECT_EQ(r.chassis->m_linearVelocity.lengthSqrd(), 0.0f);
    // A left-over slip decays by 1 - 2 dt before the solve, then returns to 0 once the axle grips.
    r.solver.m_implementation->m_status.m_axis[0].m_forward_slip_velocity = 0.5f;
    r.axle(0).m_wheelDownForce = 0.0f;  // no grip yet: the decay shows alone
    r.axle(1).m_wheelDownForce = 0.0f;
    r.solver.solveRaycastFriction(kDt);
    EXPECT_NEAR(r.solver.getForwardSlipVelocity(0), 0.5f * (1.0f - 2.0f * kDt), 1e-6f);
    // The decay is never below a fifth: 1 - 2 x 0.5 = 0 would stop it at once.
    r.solver.solveRaycastFriction(0.5f);
    EXPECT_NEAR(r.solver.getForwardSlipVelocity(0), 0.2f * 0.5f * (1.0f - 2.0f * kDt), 1e-6f);
}

TEST(RaycastFrictionTest, AirborneAxlesGetNoYawAndPutTheWholeDriveIntoSpin) {
    Rig r;
    r.axle(0).m_wheelDownForce = r.axle(1).m_wheelDownForce = 0.0f;
    r.solver.m_params.m_fastYawSteeringAngle = 0.3f;
    r.solver.m_params.m_extraTorqueFactor = 10.0f;
    r.axle(1).m_forwardForce = 600.0f;
    r.solver.solveRaycastFriction(kDt);
    EXPECT_EQ(r.chassis->m_angularVelocity.lengthSqrd(), 0.0f);
    EXPECT_EQ(r.status(1).m_forward_impulse, 0.0f);
    EXPECT_NEAR(r.solver.getForwardSlipVelocity(1), 600.0f * kDt / 3.0f, 1e-5f);
    // On the ground the same steering turns the chassis about its up axis by angle x factor x dt.
    Rig g;
    g.solver.m_params.m_fastYawSteeringAngle = 0.3f;
    g.solver.m_params.m_extraTorqueFactor = 10.0f;
    g.solver.solveRaycastFriction(kDt);
    EXPECT_NEAR(g.chassis->m_angularVelocity.y, 0.3f * 10.0f * kDt, 1e-6f);
}

TEST(RaycastFrictionTest, SideSlipIsStoppedJointlyWithinTheCircle) {
    Rig r;
    // Contacts level with the centre and the full yaw arm: the impulses are applied through the same arms
    // they were solved for (a lower contact would add a roll the scaled arms leave out).
    r.solver.m_params.m_torqueYawFactor = 1.0f;
    r.axle(0).m_contactPointWS.y = r.axle(1).m_contactPointWS.y = 0.0f;
    r.chassis->m_linearVelocity = Vector3(0.05f, 0, 0);  // a small sideways drift
    r.solver.solveRaycastFriction(kDt);
    EXPECT_NEAR(r.chassis->m_linearVelocity.x, 0.0f, 1e-5f);
    EXPECT_NEAR(r.chassis->m_angularVelocity.y, 0.0f, 1e-5f);
    // The two axles share the 5 units of impulse equally; the side force is impulse over dt.
    EXPECT_NEAR(r.solver.getSideForce(0), -2.5f / kDt, 1e-2f);
    EXPECT_NEAR(r.solver.getSideForce(1), -2.5f / kDt, 1e-2f);
}

TEST(RaycastFrictionTest, SingularSideMatrixGivesZeroNotGarbage) {
    Rig r;
    r.chassis->setPinned(true);  // all rows empty: the 2 x 2 matrix is zero
    r.axle(1).m_forwardForce = 100.0f;
    r.solver.solveRaycastFriction(kDt);
    for (int a = 0; a < 2; ++a) {
        EXPECT_EQ(r.solver.getSideForce(a), 0.0f);
        EXPECT_TRUE(std::isfinite(r.solver.getSkidEnergyDensity(a)));
        EXPECT_TRUE(std::isfinite(r.solver.getForwardSlipVelocity(a)));
    }
    EXPECT_EQ(r.chassis->m_linearVelocity.lengthSqrd(), 0.0f);
}

TEST(RaycastFrictionDeathTest, OnlyTwoAxles) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH({ RaycastFrictionSolver s(3u); }, "exactly two axles");
}

TEST(RaycastFrictionTest, EqualizerSharesTheLoadByTheLeverRule) {
    // Axles 1.0 ahead and 0.5 behind the centre: the static shares of 1510 are 1510 x 0.5 / 1.5 in front
    // and 1510 x 1.0 / 1.5 behind. Locked axles sliding at 5 take mu N dt each.
    Rig r;
    r.solver.m_params.m_frictionEqualizer = 1.0f;
    r.axle(0).m_contactPointWS.z = 1.0f;
    r.axle(1).m_contactPointWS.z = -0.5f;
    r.axle(0).m_wheelFixed = r.axle(1).m_wheelFixed = true;
    r.chassis->m_linearVelocity = Vector3(0, 0, 5);
    r.solver.solveRaycastFriction(kDt);
    EXPECT_NEAR(r.status(0).m_forward_impulse, -0.8f * 1510.0f * 0.5f / 1.5f * kDt, 1e-3f);
    EXPECT_NEAR(r.status(1).m_forward_impulse, -0.8f * 1510.0f * 1.0f / 1.5f * kDt, 1e-3f);
    EXPECT_FLOAT_EQ(r.solver.m_implementation->m_status.m_wheel_base, 1.5f);
    // Both axles at one place: no wheel base to divide by, the measured forces stand.
    Rig same;
    same.solver.m_params.m_frictionEqualizer = 1.0f;
    same.axle(0).m_contactPointWS.z = same.axle(1).m_contactPointWS.z = 0.0f;
    same.axle(0).m_wheelFixed = same.axle(1).m_wheelFixed = true;
    same.axle(1).m_wheelDownForce = 100.0f;
    same.chassis->m_linearVelocity = Vector3(0, 0, 5);
    same.solver.solveRaycastFriction(kDt);
    EXPECT_NEAR(same.status(0).m_forward_impulse, -0.8f * 755.0f * kDt, 1e-3f);
    EXPECT_NEAR(same.status(1).m_forward_impulse, -0.8f * 100.0f * kDt, 1e-3f);
}
