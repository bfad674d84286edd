// The default engine, transmission, steering, brake, suspension and aerodynamics components, each
// driven through a vehicle that only carries components.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/default_aerodynamics.h"
#include "kinetic/vehicle/default_brake.h"
#include "kinetic/vehicle/default_engine.h"
#include "kinetic/vehicle/default_steering.h"
#include "kinetic/vehicle/default_suspension.h"
#include "kinetic/vehicle/default_transmission.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

using namespace Kinetic;

namespace {

class Carrier : public KineticVehicle {
public:
    explicit Carrier(const knKineticVehicleBP& bp) : KineticVehicle(bp) {}
    void updateBodiesInfo() override {}
    void doSimulationStep() override {}
};

// Two wheels of radius 0.5 (the blueprint default), z-up chassis (forward +y) at rest.
struct Bench {
    explicit Bench(const knDefaultEngineBP& ebp = knDefaultEngineBP()) {
        knKineticVehicleBP bp;
        knDefaultWheelsBP wbp(2);
        wbp.m_wheelsAxle = {0, 1};
        knDefaultTransmissionBP tbp(2, 3);
        tbp.m_gearsRatio = {3.0f, 2.0f, 1.0f};
        tbp.m_wheelsTorqueRatio = {0.0f, 1.0f};
        tbp.m_primaryTransmissionRatio = 2.0f;
        tbp.m_upshiftRPM = 3000.0f;
        tbp.m_downshiftRPM = 1000.0f;
        knDefaultSteeringBP sbp(2);
        sbp.m_maxSteeringAngle = 0.4f;
        sbp.m_maxSpeedFullSteeringAngle = 10.0f;
        sbp.m_wheelsDoesSteer = {true, false};
        knDefaultBrakeBP bbp(2);
        bbp.m_wheelsMaxBrakingTorque = {100.0f, 200.0f};
        bbp.m_wheelsMinPedalInputToBlock = {0.9f, 1.1f};
        bbp.m_wheelsMinTimeToBlock = {0.05f, 0.0f};
        bbp.m_wheelsIsConnectedToHandbrake = {false, true};
        knDefaultSuspensionBP spbp(2);
        for (int i = 0; i < 2; ++i) {
            spbp.m_wheelsDirectionCS[i] = Vector3(0, 0, -1);
            spbp.m_wheelsLength[i] = 0.5f;
            spbp.m_wheelsStrength[i] = 1000.0f;
            spbp.m_wheelsDampingCompression[i] = 100.0f;
            spbp.m_wheelsDampingRelaxation[i] = 50.0f;
        }
        knDefaultAerodynamicsBP abp;
        abp.m_airDensity = 1.2f;
        abp.m_frontalArea = 0.5f;
        abp.m_dragCoefficient = 0.8f;
        abp.m_extraGravity = Vector3(0, 0, -1);
        bp.m_chassis = new DefaultChassis(knDefaultChassisBP());
        bp.m_wheels = new DefaultWheels(wbp);
        bp.m_driverInput = input = new DriverInputComponent();
        bp.m_steering = new DefaultSteering(sbp);
        bp.m_engine = engine = new DefaultEngine(ebp);
        bp.m_transmission = transmission = new DefaultTransmission(tbp);
        bp.m_brake = brake = new DefaultBrake(bbp);
        bp.m_suspension = suspension = new DefaultSuspension(spbp);
        bp.m_aerodynamics = aero = new DefaultAerodynamics(abp);
        vehicle = std::make_unique<Carrier>(bp);
        vehicle->m_timeInfo.m_deltaTime = 0.01f;
    }
    void setSpeed(float v) { vehicle->m_chassis->m_chassisInfo.m_linVelWS = Vector3(0, v, 0); }

    std::unique_ptr<Carrier> vehicle;
    DriverInputComponent* input;
    DefaultEngine* engine;
    DefaultTransmission* transmission;
    DefaultBrake* brake;
    DefaultSuspension* suspension;
    DefaultAerodynamics* aero;
};

const float kWheelRPMPerSpeed = 60.0f / (2.0f * 3.14159265f * 0.5f);  // radius 0.5

}  // namespace

TEST(DefaultComponentsTest, EngineTorqueFollowsItsShapeAndStopsPastTheMaximum) {
    knDefaultEngineBP e;
    e.m_torque = 100.0f;
    e.m_torqueFactorAtMinRPM = 0.5f;
    e.m_torqueFactorAtMaxRPM = 0.6f;
    Bench b(e);
    b.input->m_acceleratorPedalInput = 0.5f;
    b.transmission->m_transmissionRPM = 2500.0f;  // halfway from 1000 to 4000: factor 0.75
    b.engine->updateComponent();
    EXPECT_FLOAT_EQ(b.engine->m_engineRPM, 2500.0f);
    EXPECT_FLOAT_EQ(b.engine->m_engineTorque, 0.5f * 0.75f * 100.0f);
    b.transmission->m_transmissionRPM = 5000.0f;  // halfway from 4000 to 6000: 0.8
    b.engine->updateComponent();
    EXPECT_FLOAT_EQ(b.engine->m_engineTorque, 0.5f * 0.8f * 100.0f);
    b.transmission->m_transmissionRPM = 200.0f;  // below the range: held at the minimum
    b.engine->updateComponent();
    EXPECT_FLOAT_EQ(b.engine->m_engineRPM, 1000.0f);
    b.transmission->m_transmissionRPM = 6500.0f;
    b.engine->updateComponent();
    EXPECT_EQ(b.engine->m_engineTorque, 0.0f);
}

TEST(DefaultComponentsTest, TransmissionShiftsAndSharesTheTorque) {
    Bench b;
    b.engine->m_engineTorque = 10.0f;
    b.setSpeed(2.0f);  // wheel RPM 38.2; first gear x primary 6: 229
    b.transmission->updateComponent();
    EXPECT_EQ(b.transmission->m_currentGear, 0u);
    EXPECT_NEAR(b.transmission->m_transmissionRPM, 2.0f * kWheelRPMPerSpeed * 6.0f, 0.05f);
    EXPECT_FLOAT_EQ(b.transmission->m_wheelsTransmittedTorque[0], 0.0f);
    EXPECT_FLOAT_EQ(b.transmission->m_wheelsTransmittedTorque[1], 60.0f);
    b.setSpeed(30.0f);  // 573 x 6 = 3438 > 3000: up to second
    b.transmission->updateComponent();
    EXPECT_EQ(b.transmission->m_currentGear, 1u);
    EXPECT_FLOAT_EQ(b.transmission->m_mainTransmittedTorque, 40.0f);
    b.setSpeed(5.0f);  // 95.5 x 4 = 382 < 1000: back to first
    b.transmission->updateComponent();
    EXPECT_EQ(b.transmission->m_currentGear, 0u);
}

TEST(DefaultComponentsTest, SteeringScalesDownAboveItsFullAngleSpeed) {
    Bench b;
    b.input->m_steeringWheelInput = -0.5f;
    b.setSpeed(5.0f);
    b.vehicle->m_steering->updateComponent();
    EXPECT_FLOAT_EQ(b.vehicle->m_steering->m_mainSteeringAngle, -0.2f);
    EXPECT_FLOAT_EQ(b.vehicle->m_steering->m_wheelsSteeringAngle[0], -0.2f);
    EXPECT_EQ(b.vehicle->m_steering->m_wheelsSteeringAngle[1], 0.0f);
    b.setSpeed(20.0f);
    b.vehicle->m_steering->updateComponent();
    EXPECT_FLOAT_EQ(b.vehicle->m_steering->m_mainSteeringAngle, -0.1f);
}

TEST(DefaultComponentsTest, BrakesOpposeTheRollingAndLockAfterTheirTime) {
    Bench b;
    b.setSpeed(4.0f);  // rolling at 8 rad/s: full torque, backwards
    b.input->m_brakePedalInput = 0.5f;
    b.brake->updateComponent();
    EXPECT_FLOAT_EQ(b.brake->m_wheelsBrakingTorque[0], -50.0f);
    EXPECT_FLOAT_EQ(b.brake->m_wheelsBrakingTorque[1], -100.0f);
    EXPECT_FALSE(b.brake->m_wheelsIsFixed[0]);
    b.setSpeed(0.1f);  // 0.2 rad/s: a fifth
    b.brake->updateComponent();
    EXPECT_FLOAT_EQ(b.brake->m_wheelsBrakingTorque[1], -20.0f);
    b.input->m_brakePedalInput = 1.0f;  // at or above 0.9 for 0.05 s locks the front wheel
    for (int i = 0; i < 4; ++i) b.brake->updateComponent();
    EXPECT_FALSE(b.brake->m_wheelsIsFixed[0]);  // 0.04 s
    b.brake->updateComponent();
    b.brake->updateComponent();  // past 0.05 s
    EXPECT_TRUE(b.brake->m_wheelsIsFixed[0]);
    EXPECT_FALSE(b.brake->m_wheelsIsFixed[1]);
    b.input->m_handbrakeOn = true;
    b.brake->updateComponent();
    EXPECT_TRUE(b.brake->m_wheelsIsFixed[1]);
}

TEST(DefaultComponentsTest, SuspensionSpringAndDampersPushButNeverPull) {
    Bench b;
    WheelInfo& w = b.vehicle->m_wheels->m_wheelsInfo[0];
    w.m_isInContact = true;
    w.m_contactNormalWS = Vector3(0, 0, 1);
    w.m_contactPointWS = Vector3(0, 0, -0.8f);  // length 0.8 - 0.5 = 0.3: compressed by 0.2
    b.suspension->updateComponent();
    EXPECT_NEAR(b.suspension->m_wheelsSuspensionForce[0], 200.0f, 1e-3f);
    b.vehicle->m_chassis->m_chassisInfo.m_linVelWS = Vector3(0, 0, -1);  // closing at 1: compression damping
    b.suspension->updateComponent();
    EXPECT_NEAR(b.suspension->m_wheelsSuspensionForce[0], 300.0f, 1e-3f);
    b.vehicle->m_chassis->m_chassisInfo.m_linVelWS = Vector3(0, 0, 2);  // opening at 2: relaxation damping
    b.suspension->updateComponent();
    EXPECT_NEAR(b.suspension->m_wheelsSuspensionForce[0], 100.0f, 1e-3f);
    b.vehicle->m_chassis->m_chassisInfo.m_linVelWS = Vector3(0, 0, 10);
    b.suspension->updateComponent();
    EXPECT_EQ(b.suspension->m_wheelsSuspensionForce[0], 0.0f);
    EXPECT_EQ(b.suspension->m_wheelsSuspensionForce[1], 0.0f);  // not in contact
}

TEST(DefaultComponentsTest, AerodynamicsDragAndExtraGravity) {
    Bench b;
    b.vehicle->m_chassis->m_chassisInfo.m_mass = 100.0f;
    b.setSpeed(10.0f);
    b.aero->updateComponent();
    EXPECT_NEAR(b.aero->m_totalForceWS.y, -0.5f * 1.2f * 0.5f * 0.8f * 100.0f, 1e-3f);
    EXPECT_NEAR(b.aero->m_totalForceWS.z, -100.0f, 1e-4f);
}
