// The vehicle framework's own rules: blueprint defaults, component order, oddly hit wheels, and the
// refusal of vehicles the wheel friction cannot handle.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../collide/test_shapes.h"
#include "kinetic/collide/intersection_solver.h"
#include "kinetic/dynamics/fast_subspace.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/aerodynamics_component.h"
#include "kinetic/vehicle/brake_component.h"
#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/default_transmission.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/engine_component.h"
#include "kinetic/vehicle/kinetic_vehicle_action.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "kinetic/vehicle/steering_component.h"
#include "kinetic/vehicle/suspension_component.h"
#include "kinetic/vehicle/transmission_component.h"
#include "kinetic/vehicle/wheels_component.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

std::vector<std::string> g_log;

template <typename Base>
struct Logged : Base {
    template <typename... A>
    explicit Logged(std::string n, A&&... a) : Base(std::forward<A>(a)...), name(std::move(n)) {}
    void updateComponent() override { g_log.push_back(name); }
    std::string name;
};

struct LoggedVehicle : RaycastVehicle {
    explicit LoggedVehicle(const knRaycastVehicleBP& bp) : RaycastVehicle(bp) {}
    void updateBodiesInfo() override {
        g_log.push_back("updateBodiesInfo");
        RaycastVehicle::updateBodiesInfo();
    }
    void doSimulationStep() override {
        g_log.push_back("doSimulationStep");
        RaycastVehicle::doSimulationStep();
    }
};

struct LoggedWheels : WheelsComponent {
    explicit LoggedWheels(const knWheelsComponentBP& bp) : WheelsComponent(bp) {}
    void updateComponent() override { g_log.push_back("wheels"); }
    void postUpdateWheels() override { g_log.push_back("postUpdateWheels"); }
};

// The framework's components with all defaults except what a two-wheel vehicle needs: axles 0 and 1,
// hardpoints 0.75 ahead and behind, casting along +y (down) 0.5 + radius 0.5.
struct Parts {
    explicit Parts(unsigned wheels = 2, unsigned axles = 2) : wbp(wheels), sbp(wheels) {
        for (unsigned i = 0; i < wheels; ++i) {
            wbp.m_wheelsAxle[i] = i % axles;
            sbp.m_wheelsHardpointCS[i] = Vector3(0.0f, 0.0f, i == 0 ? 0.75f : -0.75f);
            sbp.m_wheelsDirectionCS[i] = Vector3(0.0f, 1.0f, 0.0f);
            sbp.m_wheelsLength[i] = 0.5f;
        }
    }
    knRaycastVehicleBP blueprint(RigidBody* chassis, IntersectionSolver* solver, bool logged = false) {
        knRaycastVehicleBP bp(0);
        const unsigned n = wbp.m_numWheels;
        if (logged) {
            bp.m_chassis = new Logged<DefaultChassis>("chassis", cbp);
            bp.m_wheels = new LoggedWheels(wbp);
            bp.m_driverInput = new Logged<DriverInputComponent>("driverInput");
            bp.m_steering = new Logged<SteeringComponent>("steering", knSteeringComponentBP(n));
            bp.m_engine = new Logged<EngineComponent>("engine");
            bp.m_transmission =
                new Logged<TransmissionComponent>("transmission", knTransmissionComponentBP(n, 1));
            bp.m_brake = new Logged<BrakeComponent>("brake", knBrakeComponentBP(n));
            bp.m_suspension = new Logged<SuspensionComponent>("suspension", sbp);
            bp.m_aerodynamics = new Logged<AerodynamicsComponent>("aerodynamics");
        } else {
            bp.m_chassis = new DefaultChassis(cbp);
            bp.m_wheels = new DefaultWheels(wbp);
            bp.m_driverInput = new DriverInputComponent();
            bp.m_steering = new SteeringComponent(knSteeringComponentBP(n));
            bp.m_engine = new EngineComponent();
            bp.m_transmission = new TransmissionComponent(knTransmissionComponentBP(n, 1));
            bp.m_brake = new BrakeComponent(knBrakeComponentBP(n));
            bp.m_suspension = new SuspensionComponent(sbp);
            bp.m_aerodynamics = new AerodynamicsComponent();
        }
        bp.m_chassisRigidBody = chassis;
        bp.m_intersectionSolver = solver;
        return bp;
    }
    knDefaultChassisBP cbp;
    knDefaultWheelsBP wbp;
    knSuspensionComponentBP sbp;
};

// A chassis body: a unit sphere (the framework reads only its state).
std::unique_ptr<RigidBody> chassisAt(const Vector3& p) {
    return std::unique_ptr<RigidBody>(sphereBody(0.5f, 1.0f, p));
}

void step(KineticVehicle& v, float dt = 1.0f / 60.0f) {
    FastSubspace space;
    space.m_lastTime = 1.0f;
    KineticVehicleAction action(&v);
    action.apply(space, 1.0f + dt);
}

}  // namespace

TEST(VehicleFrameworkTest, BlueprintDefaultsFillShortArraysAndTheChassis) {
    // Arrays replaced by shorter ones: the missing wheels take the defaults.
    knWheelsComponentBP shortBP(3);
    shortBP.m_wheelsRadius = {0.4f};
    shortBP.m_wheelsMass = {};
    const WheelsComponent shortWheels(shortBP);
    EXPECT_EQ(shortWheels.m_wheelsRadius.size(), 3u);
    EXPECT_EQ(shortWheels.m_wheelsRadius[0], 0.4f);
    EXPECT_EQ(shortWheels.m_wheelsRadius[2], 0.5f);
    EXPECT_EQ(shortWheels.m_wheelsInfo[2].m_mass, 3.0f);
    EXPECT_FLOAT_EQ(knDefaultTransmissionBP(4, 3).m_wheelsTorqueRatio[3], 0.25f);  // shared evenly
    // Every default: the chassis gets mass 1000 and inertia 1000 about each axis.
    auto chassis = chassisAt(Vector3(0, 0, 0));
    IntersectionSolver solver;
    Parts parts;
    RaycastVehicle v(parts.blueprint(chassis.get(), &solver));
    EXPECT_EQ(chassis->m_mass, 1000.0f);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chassis->m_inertia(i, i), 1000.0f);
    EXPECT_EQ(chassis->m_inertia(0, 1), 0.0f);
    EXPECT_EQ(chassis->m_neverDeactivate, 1);
    EXPECT_EQ(v.m_wheels->m_numAxles, 2u);
    EXPECT_EQ(v.m_frictionSolver.m_params.m_upAxisIndex, 2u);  // z up, y forward, x right
    EXPECT_EQ(v.m_frictionSolver.m_params.m_forwardAxisIndex, 1u);
}

TEST(VehicleFrameworkTest, ComponentsRunInTheirFixedOrderBetweenTheVehiclesOwnSteps) {
    auto chassis = chassisAt(Vector3(0, 0, 0));
    IntersectionSolver solver;
    Parts parts;
    LoggedVehicle v(parts.blueprint(chassis.get(), &solver, true));
    g_log.clear();
    step(v);
    const std::vector<std::string> expected = {
        "updateBodiesInfo", "chassis", "wheels",     "driverInput",  "steering",         "engine",
        "transmission",     "brake",   "suspension", "aerodynamics", "doSimulationStep", "postUpdateWheels"};
    EXPECT_EQ(g_log, expected);
    EXPECT_NEAR(v.m_timeInfo.m_deltaTime, 1.0f / 60.0f, 1e-6f);
    EXPECT_FLOAT_EQ(v.m_timeInfo.m_currentTime, 1.0f + 1.0f / 60.0f);
}

TEST(VehicleFrameworkTest, HitNormalsFaceTheChassisAndGrazingHitsStopTheWheel) {
    Parts parts;
    IntersectionSolver solver;
    // A floor plane at y = 0 whose stored normal points down, along the cast: it is flipped.
    std::unique_ptr<RigidBody> floor(planeBody(Vector3(0, 1, 0), 0.0f));
    floor->setFixed();
    floor->getPrimitives()[0]->precomputeCDinfo(0.0f);  // its box, as the detector would set it
    solver.addRigidBody(floor.get());
    auto chassis = chassisAt(Vector3(0, -0.8f, 0));
    chassis->m_linearVelocity = Vector3(0, 0, 5);
    RaycastVehicle v(parts.blueprint(chassis.get(), &solver));
    step(v);
    const WheelInfo& w = v.m_wheels->m_wheelsInfo[0];
    ASSERT_TRUE(w.m_isInContact);
    EXPECT_FLOAT_EQ(w.m_contactNormalWS.y, -1.0f);
    EXPECT_NEAR(w.m_contactPointWS.y, 0.0f, 1e-6f);
    EXPECT_NEAR(w.m_transform.getTranslation().y, -0.5f, 1e-6f);
    EXPECT_FLOAT_EQ(w.m_linVelWS.z, 5.0f);  // slides along the ground plane with the chassis
    EXPECT_EQ(w.m_contactFriction, floor->m_friction);
    // A steep plane, |u . n| = 0.05 <= 0.1: the wheel's velocity is taken as zero.
    IntersectionSolver steep;
    Vector3 n(1.0f, -0.05f, 0.0f);
    n.normalize();
    std::unique_ptr<RigidBody> wall(planeBody(n, n.dot(Vector3(0.0f, 0.0f, 0.0f))));
    wall->setFixed();
    wall->getPrimitives()[0]->precomputeCDinfo(0.0f);
    steep.addRigidBody(wall.get());
    // The hardpoints at x = 0.025, where the cast meets the plane half way down.
    auto c2 = chassisAt(Vector3(0.025f, -0.5f, 0));
    c2->m_linearVelocity = Vector3(0, 0, 5);
    Parts p2;
    RaycastVehicle v2(p2.blueprint(c2.get(), &steep));
    step(v2);
    const WheelInfo& g = v2.m_wheels->m_wheelsInfo[0];
    ASSERT_TRUE(g.m_isInContact);
    EXPECT_EQ(g.m_linVelWS.lengthSqrd(), 0.0f);
}

// Vehicles the two-axle friction cannot carry, or whose components disagree, are refused with a fatal
// error instead of being read out of bounds.
TEST(VehicleFrameworkDeathTest, OtherThanTwoAxlesAndMismatchedComponentsAreRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    IntersectionSolver solver;
    EXPECT_DEATH(
        {
            auto chassis = chassisAt(Vector3(0, 0, 0));
            Parts p(3, 3);
            RaycastVehicle v(p.blueprint(chassis.get(), &solver));
        },
        "exactly two axles");
    EXPECT_DEATH(
        {
            auto chassis = chassisAt(Vector3(0, 0, 0));
            Parts p(1, 1);
            RaycastVehicle v(p.blueprint(chassis.get(), &solver));
        },
        "exactly two axles");
    EXPECT_DEATH(
        {
            auto chassis = chassisAt(Vector3(0, 0, 0));
            Parts p;
            knRaycastVehicleBP bp = p.blueprint(chassis.get(), &solver);
            delete bp.m_steering;
            bp.m_steering = new SteeringComponent(knSteeringComponentBP(3));
            RaycastVehicle v(bp);
        },
        "disagree on the wheel count");
    EXPECT_DEATH(
        {
            auto chassis = chassisAt(Vector3(0, 0, 0));
            Parts p;
            p.wbp.m_wheelsRadius[0] = 0.0f;
            RaycastVehicle v(p.blueprint(chassis.get(), &solver));
        },
        "no radius");
}
