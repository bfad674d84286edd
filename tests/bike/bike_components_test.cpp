// The bike's power and speed bands and its seven own vehicle components with the bike's numbers, each
// driven through a vehicle that only carries components.
#include <gtest/gtest.h>

#include <memory>

#include "bike/components/bands.h"
#include "bike/components/bike_aerodynamics.h"
#include "bike/components/bike_brake.h"
#include "bike/components/bike_driver_input.h"
#include "bike/components/bike_engine.h"
#include "bike/components/bike_steering.h"
#include "bike/components/bike_suspension.h"
#include "bike/components/bike_transmission.h"
#include "kinetic/vehicle/chassis_component.h"
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

CPowerBands* bikePowerCurve() {
    auto* p = new CPowerBands();
    for (auto [rpm, torque] : {std::pair{0u, 0u}, {1000u, 3000u}, {9000u, 3000u}, {10000u, 0u}})
        p->setTorque(rpm, torque);
    return p;
}

CSpeedBands* bikeSpeedBand() {
    auto* s = new CSpeedBands();
    const float boost[14] = {3.0f, 1.8f, 1.6f, 1.4f, 1.2f, 1.0f, 0.8f, 0.5f, 0.2f, 0, 0, 0, 0, 0};
    for (unsigned i = 0; i < 14; ++i) s->setBoost(10 * i, boost[i]);
    return s;
}

// The bike as its construction builds it: z-up chassis (forward +y) of mass 1500 at the origin, at rest.
struct Bike {
    explicit Bike(CSpeedBands* speed = bikeSpeedBand()) {
        // clang-format off
        knKineticVehicleBP bp;
        knDefaultChassisBP cbp;
        cbp.m_mass = 1500.0f;
        knDefaultWheelsBP wbp(2);
        wbp.m_wheelsAxle = {0, 1}; wbp.m_wheelsRadius = {0.36f, 0.36f}; wbp.m_wheelsMass = {10.0f, 10.0f};
        knDefaultSteeringBP sbp(2);
        sbp.m_maxSteeringAngle = 0.5235988f; sbp.m_maxSpeedFullSteeringAngle = 20000.0f; sbp.m_wheelsDoesSteer = {true, false};
        knDefaultEngineBP ebp;
        ebp.m_optRPM = 6500.0f; ebp.m_maxRPM = 8000.0f; ebp.m_torque = 1500.0f;
        ebp.m_resistanceFactorAtMinRPM = 0.2f; ebp.m_resistanceFactorAtOptRPM = 0.45f; ebp.m_resistanceFactorAtMaxRPM = 0.65f;
        knDefaultTransmissionBP tbp(2, 4);
        tbp.m_downshiftRPM = 3500.0f; tbp.m_upshiftRPM = 6550.0f; tbp.m_primaryTransmissionRatio = 2.4f; tbp.m_reverseGearRatio = 3.5f;
        tbp.m_gearsRatio = {2.0f, 1.5f, 1.0f, 0.75f}; tbp.m_wheelsTorqueRatio = {0.0f, 0.5f};
        knDefaultBrakeBP bbp(2);
        bbp.m_wheelsMaxBrakingTorque = {8000.0f, 8000.0f}; bbp.m_wheelsMinPedalInputToBlock = {0.9f, 0.9f};
        bbp.m_wheelsMinTimeToBlock = {10.5f, 10.5f}; bbp.m_wheelsIsConnectedToHandbrake = {true, false};
        knDefaultSuspensionBP spbp(2);
        for (int i = 0; i < 2; ++i) {
            spbp.m_wheelsHardpointCS[i] = Vector3(0.0f, i == 0 ? 0.84f : -0.84f, 0.14f); spbp.m_wheelsDirectionCS[i] = Vector3(0, 0, -1);
            spbp.m_wheelsLength[i] = 0.4f; spbp.m_wheelsStrength[i] = 120.0f;
            spbp.m_wheelsDampingCompression[i] = 30.0f; spbp.m_wheelsDampingRelaxation[i] = 25.0f;
        }
        knDefaultAerodynamicsBP abp;
        abp.m_airDensity = 0.15f; abp.m_frontalArea = 4.0f; abp.m_dragCoefficient = 0.55f;
        abp.m_extraGravity = Vector3(0, 99, 0);  // not taken over
        // clang-format on
        bp.m_chassis = new DefaultChassis(cbp);
        bp.m_wheels = new DefaultWheels(wbp);
        bp.m_driverInput = input = new CBikeDriverInput();
        bp.m_steering = steering = new CBikeSteering(sbp);
        bp.m_engine = engine = new CBikeEngine(ebp, std::unique_ptr<CPowerBands>(bikePowerCurve()),
                                               std::unique_ptr<CSpeedBands>(speed));
        bp.m_transmission = transmission = new CBikeTransmission(tbp);
        bp.m_brake = brake = new CBikeBrake(bbp);
        bp.m_suspension = suspension = new CBikeSuspension(spbp);
        bp.m_aerodynamics = aero = new CBikeAerodynamics(abp);
        vehicle = std::make_unique<Carrier>(bp);
        transmission->setWheelRPMScale(40.0f);
        vehicle->m_timeInfo.m_deltaTime = 1.0f / 60.0f;
        vehicle->m_timeInfo.m_deltaTimeInv = 60.0f;
    }
    BodyInfo& chassis() { return vehicle->m_chassis->m_chassisInfo; }
    WheelInfo& wheel(int i) { return vehicle->m_wheels->m_wheelsInfo[static_cast<size_t>(i)]; }
    void setForwardSpeed(float s) { chassis().m_linVelWS = Vector3(0, s, 0); }
    // One vehicle step of the drivetrain: engine, then transmission.
    void drive() {
        engine->updateComponent();
        transmission->updateComponent();
        vehicle->m_timeInfo.m_currentTime += vehicle->m_timeInfo.m_deltaTime;
    }

    std::unique_ptr<Carrier> vehicle;
    CBikeDriverInput* input;
    CBikeSteering* steering;
    CBikeEngine* engine;
    CBikeTransmission* transmission;
    CBikeBrake* brake;
    CBikeSuspension* suspension;
    CBikeAerodynamics* aero;
};

TEST(BikeBands, PowerCurveBracketsAndInterpolates) {
    std::unique_ptr<CPowerBands> curve(bikePowerCurve());
    for (auto [rpm, torque] : {std::pair{500u, 1500.0f},
                               {5000u, 3000.0f},
                               {9500u, 1500.0f},
                               {12000u, 0.0f},
                               {1000u, 3000.0f},
                               {0u, 0.0f}})
        EXPECT_FLOAT_EQ(curve->getTorque(rpm), torque) << rpm;

    CPowerBands one;
    one.setTorque(2000, 800);
    for (unsigned rpm : {0u, 2000u, 9000u}) EXPECT_FLOAT_EQ(one.getTorque(rpm), 800.0f) << rpm;
    EXPECT_FLOAT_EQ(CPowerBands().getTorque(1000), 0.0f);
}

TEST(BikeBands, SpeedBandAndTurboWindows) {
    std::unique_ptr<CSpeedBands> band(bikeSpeedBand());
    for (auto [key, boost] : {std::pair{0u, 3.0f}, {15u, 1.7f}, {50u, 1.0f}, {200u, 0.0f}})
        EXPECT_FLOAT_EQ(band->getBoost(key), boost) << key;

    // A flat band of 1 shows the turbo factor alone; the first window containing the key decides.
    CSpeedBands turbo;
    turbo.setBoost(0, 1.0f);
    turbo.setTurbo(0, 40, 2.0f);
    turbo.setTurbo(0, 40, 9.0f);
    turbo.setTurbo(40, 55, 1.0f);
    EXPECT_EQ(turbo.turboBands[2].optVel, 47u);
    for (auto [key, boost] :
         {std::pair{10u, 2.0f}, {20u, 3.0f}, {30u, 2.0f}, {0u, 1.0f}, {40u, 1.0f}, {47u, 2.0f}})
        EXPECT_FLOAT_EQ(turbo.getBoost(key), boost) << key;
    turbo.speedBands.clear();
    EXPECT_FLOAT_EQ(turbo.getBoost(20), 0.0f);
}

TEST(BikeEngine, ClutchSlipRaisesTheRPMAndTorqueIsLimitedThenBoostedUpToSix) {
    Bike slipping;
    for (auto [box, engine] :
         {std::pair{400.0f, 3000.0f}, {750.0f, 2000.0f}, {1000.0f, 1000.0f}, {5000.0f, 5000.0f}}) {
        slipping.transmission->m_transmissionRPM = box;
        slipping.engine->updateComponent();
        EXPECT_FLOAT_EQ(slipping.engine->m_engineRPM, engine) << box;
    }
    // Key of speed 10 m/s is int(21.6) = 21: band boost 1.6 - 0.02 = 1.58.
    // clang-format off
    struct Case { float pedal, rpm, speed, engineBoost, power; float torque; };
    const Case cases[] = {
        {1.0f, 6500, 10, 1.0f, 3000, (3000.0f - 675.0f) * 1.58f},  // full throttle at the optimum
        {1.0f, 6500, 0, 2.5f, 4175, 3000.0f * 6.0f},               // 3500 net cut to 3000; 3 x 2.5 cut to 6
        {0.0f, 8000, 10, 4.0f, 0, -975.0f * 4.0f},                 // engine braking is not limited
        {0.5f, 3500, 10, 1.0f, 3000, (1500.0f - 1500.0f * (0.45f - 0.75f / 5.5f)) * 1.58f},
    };
    // clang-format on
    for (const Case& c : cases) {
        Bike bike;
        bike.input->m_acceleratorPedalInput = c.pedal;
        bike.engine->setEngineBoost(c.engineBoost);
        bike.engine->setVelocity(c.speed);
        bike.engine->powerBand->setTorque(static_cast<unsigned>(c.rpm), static_cast<unsigned>(c.power));
        bike.transmission->m_transmissionRPM = c.rpm;
        bike.engine->updateComponent();
        EXPECT_NEAR(bike.engine->m_engineTorque, c.torque, 0.5f) << c.rpm << " pedal " << c.pedal;
    }
    Bike bike;
    bike.engine->disableEngineBoost();
    bike.engine->scaleEngineBoost(3.0f);
    EXPECT_FLOAT_EQ(bike.engine->engineBoost, 1.0f);
    bike.engine->enableEngineBoost();
    bike.engine->scaleEngineBoost(3.0f);
    EXPECT_FLOAT_EQ(bike.engine->engineBoost, 3.0f);
}

TEST(BikeTransmission, ClosedThrottleFallsAndChangesDownOneGearAStep) {
    Bike bike;
    bike.transmission->m_currentGear = 3;
    bike.transmission->m_transmissionRPM = 2120.0f;
    const float rpm[3] = {2070.0f, 2020.0f, 2000.0f};
    const uint32_t gear[3] = {2, 1, 0};
    for (int i = 0; i < 3; ++i) {
        bike.drive();
        EXPECT_FLOAT_EQ(bike.transmission->m_transmissionRPM, rpm[i]) << i;
        EXPECT_EQ(bike.transmission->m_currentGear, gear[i]) << i;
    }
}

TEST(BikeTransmission, TorqueSharedToTheBackWheelAndCutForAStepAfterAChange) {
    Bike bike;
    bike.input->m_acceleratorPedalInput = 1.0f;
    bike.setForwardSpeed(5.0f);
    bike.engine->m_engineTorque = 100.0f;
    bike.transmission->updateComponent();
    EXPECT_FLOAT_EQ(bike.transmission->m_mainTransmittedTorque, 100.0f * 2.0f * 2.4f);
    EXPECT_FLOAT_EQ(bike.transmission->m_wheelsTransmittedTorque[0], 0.0f);
    EXPECT_FLOAT_EQ(bike.transmission->m_wheelsTransmittedTorque[1], 240.0f);
    // A change up, then one step without torque, then the new gear's ratio.
    bike.setForwardSpeed(8.0f);
    const float main[3] = {480.0f, 0.0f, 100.0f * 1.5f * 2.4f};
    for (int i = 0; i < 3; ++i) {
        bike.vehicle->m_timeInfo.m_currentTime += 1.0f / 60.0f;
        bike.transmission->updateComponent();
        EXPECT_FLOAT_EQ(bike.transmission->m_mainTransmittedTorque, main[i]) << i;
    }
    // Reversing only from the first gear, and then no gear changes.
    bike.input->m_tryingToReverse = true;
    bike.transmission->updateComponent();
    EXPECT_FALSE(bike.transmission->m_isReversing);
    bike.transmission->m_currentGear = 0;
    bike.transmission->m_delayed = false;
    bike.transmission->updateComponent();
    EXPECT_TRUE(bike.transmission->m_isReversing);
    EXPECT_FLOAT_EQ(bike.transmission->m_mainTransmittedTorque, 100.0f * -3.5f * 2.4f);
    EXPECT_EQ(bike.transmission->m_currentGear, 0u);
}

TEST(BikeBrake, StopsTheSpinWithinTheStepUpToThePedal) {
    // Stopping torque of a wheel spinning at w: -w x 10 / 0.36 x 60.
    // clang-format off
    struct Case { float pedal, spin, handbrake; float torque; };
    const Case cases[] = {
        {0.0f, 30.0f, 0, 0.0f}, {1.0f, 0.3f, 0, -0.3f * 10.0f / 0.36f * 60.0f}, {1.0f, 30.0f, 0, -8000.0f},
        {0.5f, -30.0f, 0, 4000.0f}, {0.0f, 0.0f, 1, 0.0f},
    };
    // clang-format on
    for (const Case& c : cases) {
        Bike bike;
        bike.input->m_brakePedalInput = c.pedal;
        bike.input->m_handbrakeOn = c.handbrake != 0;
        for (int i = 0; i < 2; ++i) bike.wheel(i).m_spinVelocity = c.spin;
        bike.brake->updateComponent();
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(bike.brake->m_wheelsBrakingTorque[static_cast<size_t>(i)], c.torque, 0.01f)
                << c.pedal << " " << c.spin;
        EXPECT_EQ(bike.brake->m_wheelsIsFixed[0], c.handbrake != 0);
        EXPECT_FALSE(bike.brake->m_wheelsIsFixed[1]);
    }
}

TEST(BikeSteering, PercentPerWheelAndOnlyTheFrontSteers) {
    Bike bike;
    bike.input->m_steeringWheelInput = 1.0f;
    bike.steering->setSteeringAnglePercent(0, 0.5f);
    bike.steering->setSteeringAnglePercent(1, 0.5f);
    bike.steering->updateComponent();
    EXPECT_NEAR(bike.steering->m_wheelsSteeringAngle[0], 0.2618f, 1e-4f);
    EXPECT_FLOAT_EQ(bike.steering->m_wheelsSteeringAngle[1], 0.0f);
    EXPECT_NEAR(bike.steering->m_mainSteeringAngle, 0.5235988f, 1e-6f);
}

TEST(BikeSuspension, ClampsLengthContactFactorAndForce) {
    // Front hardpoint at (0, 0.84, 0.14), direction -z, rest length 0.4; chassis at rest, mass 1500.
    // clang-format off
    struct Case { float wheelZ; Vector3 normal; float wheelVz; float length, force; };  // wheel centre height; contact normal; wheel's vertical speed
    const Case cases[] = {
        {0.14f - 0.3f, Vector3(0, 0, 1), 0.0f, 0.3f, 120.0f * 0.1f * 1500.0f},         // plain spring
        {0.14f - 3.0f, Vector3(0, 0, 1), 0.0f, 0.8f, -48.0f * 1500.0f},                // hanging: 0.8
        {0.14f + 3.0f, Vector3(0, 0, 1), 0.0f, -0.8f, 144.0f * 1500.0f},               // pushed through
        {0.14f - 0.3f, Vector3(1, 0, 0), 0.0f, 0.3f, 120.0f * 0.1f / 0.1f * 1500.0f},  // factor 0.1
        {0.14f - 0.1f, Vector3(1, 0, 0), 0.0f, 0.1f, 250.0f * 1500.0f},                // 360 cut to 250
        {0.14f - 0.3f, Vector3(0, 0, 1), 2.0f, 0.3f, (12.0f + 25.0f * 0.2f) * 1500.0f},
        {0.14f - 0.3f, Vector3(0, 0, 1), -2.0f, 0.3f, (12.0f - 30.0f * 0.2f) * 1500.0f},
    };
    // clang-format on
    for (const Case& c : cases) {
        Bike bike;
        bike.wheel(0).m_transform.setTranslation(Vector3(0, 0.84f, c.wheelZ));
        bike.wheel(0).m_contactNormalWS = c.normal;
        bike.wheel(0).m_linVelWS = Vector3(0, 0, c.wheelVz);
        bike.suspension->updateComponent();
        EXPECT_NEAR(bike.suspension->suspensionCurrentLength[0], c.length, 1e-5f) << c.wheelZ;
        EXPECT_FLOAT_EQ(bike.suspension->getSuspensionRestLength(0), 0.4f);
        EXPECT_NEAR(bike.suspension->m_wheelsSuspensionForce[0], c.force, 1.0f) << c.wheelZ;
    }
    Bike off;
    off.suspension->m_wheelsSuspensionForce = {5.0f, 5.0f};
    off.suspension->suspensionCurrentLength = {0.25f, 0.25f};
    off.suspension->suspensionOn = false;
    off.suspension->updateComponent();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(off.suspension->m_wheelsSuspensionForce[static_cast<size_t>(i)], 0.0f);
        EXPECT_EQ(off.suspension->suspensionCurrentLength[static_cast<size_t>(i)], 0.25f);
    }
}

TEST(BikeAerodynamics, DragAlongForwardOnlyAndExtraGravity) {
    // clang-format off
    struct Case { Vector3 velocity, extraGravity, force; };
    for (const Case& c : {Case{Vector3(0, -10, 0), Vector3(0, 0, 0), Vector3(0, 16.5f, 0)}, Case{Vector3(0, 10, 0), Vector3(0, 0, 0), Vector3(0, -16.5f, 0)},
                          Case{Vector3(10, 0, 7), Vector3(0, 0, 0), Vector3(0, 0, 0)}, Case{Vector3(0, 0, 0), Vector3(0, 20, 0), Vector3(0, 30000, 0)}}) {
        // clang-format on
        Bike bike;
        bike.chassis().m_linVelWS = c.velocity;
        bike.aero->m_extraGravity = c.extraGravity;
        bike.aero->updateComponent();
        const Vector3 d = bike.aero->m_totalForceWS - c.force;
        EXPECT_LT(d.length(), 2e-3f) << c.force.y;
    }
}

}  // namespace
