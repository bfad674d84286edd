// The bike's physical set-up record: every value of it reaches the bodies, components and lean
// constraint the construction builds, and the bike owns what it builds.
#include <gtest/gtest.h>

#include "bike/components/bands.h"
#include "bike/components/bike_aerodynamics.h"
#include "bike/components/bike_brake.h"
#include "bike/components/bike_engine.h"
#include "bike/components/bike_steering.h"
#include "bike/components/bike_suspension.h"
#include "bike/components/bike_transmission.h"
#include "bike/kinetic_bike.h"
#include "bike_world.h"
#include "game/core/global_options.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

namespace {

void ExpectVector(const Kinetic::Vector3& got, const Kinetic::Vector3& want, const char* what) {
    EXPECT_FLOAT_EQ(got.x, want.x) << what;
    EXPECT_FLOAT_EQ(got.y, want.y) << what;
    EXPECT_FLOAT_EQ(got.z, want.z) << what;
}

TEST(BikePhysicsSetup, EveryValueReachesTheBuiltBike) {
    const TrackType savedTrack = gameOptions.trackType;
    gameOptions.trackType = TRACKTYPE_OUTDOOR;
    {
        biketest::LoneBikes lone;
        KineticBike* b = lone.Build(0);
        ASSERT_NE(b, nullptr);
        const BikePhysicsSetup& s = KineticBike::physicsSetup;

        // Bodies.
        // Shifting the centre of mass keeps the drawn bike where it was: the display offset follows.
        ExpectVector(b->chassis->m_local_to_display_translation, s.chassisDisplayOffset + s.centreOfMassShift,
                     "display offset");
        EXPECT_EQ(b->chassis->m_friction, s.chassisFriction);
        EXPECT_EQ(b->crashBike->m_mass, s.crashBodyMass);
        EXPECT_EQ(b->crashBike->m_volume, s.crashBodyVolume);
        EXPECT_EQ(b->crashBike->m_restitution, s.crashBodyRestitution);
        EXPECT_EQ(b->frontWheel->m_mass, s.wheelBodyMass);
        EXPECT_EQ(b->backWheel->m_mass, s.wheelBodyMass);
        EXPECT_EQ(b->vehicle->m_chassisRigidBody, b->chassis.get());

        // Components, front then back wheel.
        for (size_t w = 0; w < 2; ++w) {
            EXPECT_EQ(b->m_wheels->m_wheelsRadius[w], s.wheelRadius[w]) << w;
            EXPECT_EQ(b->m_wheels->m_wheelsFriction[w], s.wheelFriction[w]) << w;
            const auto* brake = static_cast<const Kinetic::CBikeBrake*>(b->m_brakes);
            EXPECT_EQ(brake->m_wheelsMaxBrakingTorque[w], s.maxBrakingTorque[w]) << w;
            EXPECT_EQ(brake->m_wheelsIsConnectedToHandbrake[w], s.wheelOnHandbrake[w]) << w;
            const auto* susp = static_cast<const Kinetic::CBikeSuspension*>(b->m_suspension);
            EXPECT_EQ(susp->m_wheelsStrength[w], s.suspensionStrength[w]) << w;
            EXPECT_EQ(susp->m_wheelsDampingCompression[w], s.dampingCompression[w]) << w;
            EXPECT_EQ(susp->m_wheelsDampingRelaxation[w], s.dampingRelaxation[w]) << w;
        }
        const auto* steering = static_cast<const Kinetic::CBikeSteering*>(b->m_steering);
        EXPECT_EQ(steering->m_maxSteeringAngle, s.maxSteeringAngle);
        const auto* engine = static_cast<const Kinetic::CBikeEngine*>(b->m_engine);
        EXPECT_EQ(engine->m_minRPM, s.minRPM);
        EXPECT_EQ(engine->m_optRPM, s.optRPM);
        EXPECT_EQ(engine->m_maxRPM, s.maxRPM);
        EXPECT_EQ(engine->m_torque, s.engineTorque);
        EXPECT_EQ(engine->m_resistanceFactorAtOptRPM, s.resistanceFactorAtOptRPM);
        // The engine owns the bands the bike keeps links to; the riding torque replaced two points.
        EXPECT_EQ(engine->powerBand.get(), b->bikePowerBand);
        EXPECT_EQ(engine->speedBand.get(), b->bikeSpeedBand);
        for (const BikePhysicsSetup::BandPoint& p : s.ridingPowerBand)
            EXPECT_EQ(b->bikePowerBand->getTorque(p.rpm), static_cast<float>(p.torque)) << p.rpm;
        EXPECT_EQ(b->bikePowerBand->getTorque(s.powerBand[3].rpm), static_cast<float>(s.powerBand[3].torque));
        const auto* transmission = static_cast<const Kinetic::CBikeTransmission*>(b->m_transmission);
        EXPECT_EQ(transmission->m_primaryTransmissionRatio, s.primaryTransmissionRatio);
        ASSERT_EQ(transmission->m_gearsRatio.size(), 4u);
        for (size_t g = 0; g < 4; ++g) EXPECT_EQ(transmission->m_gearsRatio[g], s.gearRatio[g]) << g;
        EXPECT_EQ(transmission->minRPM, s.ridingMinRPM);
        EXPECT_EQ(transmission->maxRPM, s.ridingMaxRPM);
        EXPECT_EQ(transmission->wheelRPMScale, s.wheelRPMScale);
        const auto* aero = static_cast<const Kinetic::CBikeAerodynamics*>(b->m_aerodynamics);
        EXPECT_EQ(aero->m_airDensity, s.airDensity);
        EXPECT_EQ(aero->m_frontalArea, s.frontalArea);

        // The lean constraint ends its set-up at the riding time constant and strength.
        EXPECT_EQ(b->constraint->m_tau, s.leanTau);
        EXPECT_EQ(b->constraint->m_strength, s.leanStrength);
    }
    gameOptions.trackType = savedTrack;
}

}  // namespace
