// The tail of the handling step, the frame's speed limits, nitro and standstill clamp, the air crash
// limits, the wrong-way sign and the rider's sway, on a bike held in a chosen situation (no world).
#include <gtest/gtest.h>

#include <cmath>

#include "bike/components/bike_brake.h"
#include "bike/components/bike_driver_input.h"
#include "bike/components/bike_engine.h"
#include "bike_world.h"
#include "kinetic/vehicle/wheels_component.h"

namespace {

constexpr uint32_t bit(int b) {
    return 1u << b;
}

class TailTest : public ::testing::Test {
protected:
    void SetUp() override {
        bike_->bikeAttributes.topSpeed = 2;
        bike_->setAttributes();
        bike_->getBaseVectors();
        Touch(true, true);
        bike_->handling.onGround = bike_->handling.nearGround = true;
    }
    void Touch(bool front, bool back) {
        bike_->ground.wheelInfo[0].m_isInContact = front;
        bike_->ground.wheelInfo[1].m_isInContact = back;
    }
    Kinetic::CBikeEngine* Engine() const { return static_cast<Kinetic::CBikeEngine*>(bike_->m_engine); }
    float Forward() const {
        const qzVector3d& f = bike_->frame.fForwardDir;
        return bike_->chassis->m_linearVelocity.dot(Kinetic::Vector3(f.x, f.y, f.z));
    }
    // The chassis force along a model direction.
    float ForceAlong(const qzVector3d& d) const {
        return bike_->chassis->m_forceAccum.dot(Kinetic::Vector3(d.x, d.y, d.z));
    }

    biketest::LoneBikes lone_;
    KineticBike* bike_ = lone_.Build();
};

TEST_F(TailTest, TurnCountersRunSignedAndRestartOnADirectionChange) {
    for (auto [flag, counter] : {std::pair<int, int>{BIKE_LEFT_TURN, -1},
                                 {BIKE_LEFT_TURN, -2},
                                 {BIKE_RIGHT_TURN, 1},
                                 {BIKE_POWERSLIDE_RIGHT, 2},
                                 {-1, 0}}) {
        bike_->status.flags = flag < 0 ? 0u : bit(flag);
        bike_->tailCountersFrictionLean();
        EXPECT_EQ(bike_->ride.turnCounter, counter) << flag;
    }
}

TEST_F(TailTest, SlideExitBoostFiresOnlyInItsWindow) {
    // The counter of the left accelerating slide before the frame, and whether the boost fires.
    for (auto [counter, fires] : {std::pair{-5, false}, {-6, true}, {-44, true}, {-45, false}}) {
        Engine()->setEngineBoost(1.0f);
        bike_->ride.bikeState = 1;
        bike_->input.bikePacket = bit(BIKEACTION_ACCEL);
        bike_->ride.powerSlideAccelBoostEligible = 1;
        bike_->ride.powerSlideAccelBoostVelocityMag = 20.0f;
        bike_->frame.linearVelocityMag = 10.0f;
        bike_->handling.exitBoostAllowed = true;
        bike_->ride.bikeStateCounter[5] = counter;
        bike_->ride.bikeStateCounter[6] = bike_->ride.bikeStateCounter[7] = 0;
        bike_->tailCountersFrictionLean();
        EXPECT_FLOAT_EQ(Engine()->engineBoost, fires ? 4.5f : 1.0f) << counter;
        EXPECT_EQ(bike_->ride.bikeStateCounter[7], fires ? -1001 : -1) << counter;
    }
}

TEST_F(TailTest, FrictionFadesWithTheTerrainPitchUnderEachWheel) {
    for (auto [pitch, share] : {std::pair{0.0f, 1.0f}, {25.0f, 1.0f}, {57.5f, 0.5f}, {90.0f, 0.0f}}) {
        bike_->ground.terrainPitch[0] = pitch;
        bike_->ground.terrainPitch[1] = 0.0f;
        for (int i = 0; i < 300; ++i) {
            bike_->handling.frictionTarget[0] = bike_->handling.frictionTarget[1] = 4.0f;
            bike_->tailCountersFrictionLean();
        }
        EXPECT_NEAR(bike_->m_wheels->m_wheelsFriction[0], 4.0f * share, 1e-3f) << pitch;
        EXPECT_NEAR(bike_->m_wheels->m_wheelsFriction[1], 4.0f, 1e-3f) << pitch;
    }
}

TEST_F(TailTest, LeanIsHeldWithinSeventyDegreesOfTheTerrainRollAndOnlyWhileRolling) {
    // clang-format off
    struct Case { float magnitude, terrainRoll, speed, settles; };
    for (const Case& c : {Case{80.0f, 0.0f, 5.0f, 70.0f}, Case{60.0f, 0.0f, 5.0f, 60.0f + 0.2f * 0.0f},
                          Case{80.0f, 20.0f, 5.0f, 80.0f + 0.2f * 20.0f}, Case{80.0f, 0.0f, 0.9f, 0.0f}}) {
        // clang-format on
        bike_->lean.leanRot = 0.0f;
        bike_->lean.leanFilter.lo0 = bike_->lean.leanFilter.lo1 = 0.0f;
        bike_->ground.terrainRoll = c.terrainRoll;
        bike_->frame.linearVelocityMag = c.speed;
        bike_->lean.leanPercent = 1.0f;
        for (int i = 0; i < 300; ++i) {
            bike_->handling.leanSign = 1.0f;
            bike_->handling.leanMagnitude = c.magnitude;
            bike_->tailCountersFrictionLean();
        }
        EXPECT_NEAR(bike_->lean.leanRot, c.settles, 1e-2f) << c.magnitude << " " << c.speed;
    }
}

TEST_F(TailTest, BrakeTorqueGrowsDownhillAfterTwoSecondsOfBraking) {
    auto* brake = static_cast<Kinetic::CBikeBrake*>(bike_->m_brakes);
    // clang-format off
    struct Case { float pitch; int frame; float torque; };  // frame of braking, from 1
    for (const Case& c : {Case{-45.0f, 120, 8000.0f}, Case{-45.0f, 121, 14000.0f}, Case{-63.0f, 121, 16000.0f},
                          Case{-30.0f, 121, 11600.0f}, Case{45.0f, 121, 8000.0f}}) {
        // clang-format on
        bike_->ground.terrainPitchAvg = c.pitch;
        bike_->crash.movingForward = 1;
        bike_->ride.brakeAppliedCounter = 0;
        for (int i = 0; i < c.frame; ++i) {
            bike_->handling.brakeStep = 0.01f;
            bike_->tailDriveAndForces();
        }
        for (float t : brake->m_wheelsMaxBrakingTorque)
            EXPECT_NEAR(t, c.torque, 0.01f) << c.pitch << " " << c.frame;
    }
}

TEST_F(TailTest, ASidewaysSlideIsPushedBackAndDown) {
    // clang-format off
    struct Case { uint32_t state; float sideways, push, down; };  // sideways: m/s along rightDir
    for (const Case& c : {Case{0, 10.0f, 150000.0f, 100000.0f}, Case{1, -10.0f, 150000.0f, 100000.0f},
                          Case{3, 10.0f, 75000.0f, 0.0f}, Case{5, 10.0f, 75000.0f, 0.0f}, Case{0, 9.0f, 0.0f, 0.0f}}) {
        // clang-format on
        bike_->ride.bikeState = c.state;
        bike_->linearVelocity = bike_->frame.rightDir * c.sideways;
        bike_->frame.linearVelocityMag = std::fabs(c.sideways);
        bike_->chassis->m_forceAccum = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
        bike_->handling.groundHoldForce = 0.0f;
        bike_->tailDriveAndForces();
        const float against = c.sideways > 0.0f ? -1.0f : 1.0f;
        EXPECT_NEAR(ForceAlong(bike_->frame.fRightDir) * against, c.push, 1.0f)
            << c.state << " " << c.sideways;
        EXPECT_NEAR(-ForceAlong(bike_->frame.fUpDir), c.down, 1.0f) << c.state << " " << c.sideways;
    }
}

TEST_F(TailTest, AcceleratorStaysShutForTwentyOneFramesAfterACollision) {
    for (uint32_t counter : {0u, 20u, 21u, 40u}) {
        bike_->crash.collidedCounter = counter;
        bike_->handling.throttleStep = 0.01f;
        bike_->tailDriveAndForces();
        const float accel = bike_->m_input->m_acceleratorPedalInput;
        EXPECT_EQ(accel == 0.0f, counter < 21) << counter;
        EXPECT_TRUE(accel == 0.0f || accel >= 0.1f) << counter;
    }
}

TEST_F(TailTest, AirCrashLimitsWidenWithTheRoll) {
    // clang-format off
    struct Case { float roll, pitch; bool crash; };
    for (const Case& c : {Case{0, 109.5f, false}, Case{0, 110.5f, true}, Case{0, -99.5f, false}, Case{0, -100.5f, true},
                          Case{60, 149.5f, false}, Case{60, 150.5f, true}, Case{-75, -129.5f, false},
                          Case{-75, -130.5f, true}}) {
        // clang-format on
        bike_->ground.bikeRoll = c.roll;
        bike_->ground.bikePitch = c.pitch;
        EXPECT_EQ(bike_->airAttitudeExceeded(), c.crash) << c.roll << " " << c.pitch;
    }
}

TEST_F(TailTest, WrongWayShowsForAHumanFacingBackOrFarFromTheLine) {
    // clang-format off
    struct Case { bool cpu; float facing, distance; uint8_t flash; };  // facing: track direction along forward; distance: world units from the track point
    for (const Case& c : {Case{false, 1.0f, 1000.0f, 0}, Case{false, 1.0f, 2100.0f, 1}, Case{false, -1.0f, 100.0f, 1},
                          Case{false, -0.5f, 100.0f, 0}, Case{true, -1.0f, 3000.0f, 0}}) {
        // clang-format on
        bike_->isCPU = c.cpu;
        bike_->laps.flashWrong = 0;
        const qzVector3d dir = bike_->frame.forwardDir * c.facing;
        const qzVector3d point = bike_->position + bike_->frame.rightDir * c.distance;
        bike_->maybeFlashWrongWay(dir, point);
        EXPECT_EQ(bike_->laps.flashWrong, c.flash) << c.cpu << " " << c.facing << " " << c.distance;
        EXPECT_EQ(bike_->laps.trackToHudWrongWay, c.flash ? 1u : (c.facing > 0.0f ? 4u : 0u));
        bike_->laps.trackToHudWrongWay = 0;
    }
    bike_->isCPU = 0;
}

TEST_F(TailTest, NitroRampsUpOnTheGroundOnlyThenRampsDownToTheClassLimit) {
    const float massInv = bike_->chassis->m_massInv;
    bike_->ride.nitrosAvailable = 1;
    bike_->input.bikePacket = bit(BIKEACTION_NITRO);
    for (int frame = 0; frame < 20; ++frame) {
        const bool ground = frame < 10;
        Touch(ground, false);
        const float before = Forward();
        bike_->nitroBoost();
        bike_->input.bikePacket = 0;
        const float want = ground ? 2000.0f * std::fmin(static_cast<float>(frame) / 15.0f, 1.0f) : 0.0f;
        EXPECT_NEAR((Forward() - before) / massInv, want, 0.5f) << frame;
    }
    EXPECT_EQ(bike_->ride.nitroCounter, 20) << "the counter runs on in the air";
    EXPECT_EQ(bike_->ride.nitrosAvailable, 0);
    // The ramp-down brakes until the speed is under the class's top speed in m/s.
    const float top = bike_->attributes.maximumSpeed / 2.16f;
    bike_->ride.nitroState = RAMP_DOWN_NITRO;
    for (float speed : {top + 5.0f, top + 0.1f, top - 0.1f}) {
        bike_->frame.linearVelocityMag = speed;
        bike_->nitroBoost();
        EXPECT_EQ(bike_->ride.nitroState, speed > top ? RAMP_DOWN_NITRO : NO_NITRO) << speed;
    }
}

TEST_F(TailTest, ThrottleWheelieLastsFewerFramesTheFasterTheBike) {
    for (auto [speed, limit] : {std::pair{5.6f, 105}, {27.8f, 48}, {40.0f, 48}}) {
        bike_->ride.throttleWheelieCounter = 0;
        bike_->ride.throttleWheelieOffCounter = 3;
        bike_->ride.throttleUpActive = 0;
        bike_->crash.movingForward = 1;
        bike_->frame.linearVelocityMag = speed;
        bike_->input.bikePacket = bit(BIKEACTION_ACCEL);
        int frames = 0;
        for (int i = 0; i < 200; ++i) {
            bike_->status.flags = 0;
            bike_->getWheelieCondition();
            frames += bike_->ride.throttleWheelie;
        }
        EXPECT_EQ(frames, limit - 1) << speed;
    }
    // Released for fewer than three frames: no pop.
    bike_->input.bikePacket = 0;
    bike_->getWheelieCondition();
    bike_->input.bikePacket = bit(BIKEACTION_ACCEL);
    bike_->getWheelieCondition();
    EXPECT_FALSE(bike_->ride.throttleWheelie);
}

// The rider's sway is held inside its box: x within 2 either side, y from -18 (sinking on a landing) to
// 5, z from 0 (thrown back by the throttle) to 10 (forward under braking). A load held for half a
// second drives the offset to the limit on its axis and no further, the others stay inside theirs, and
// the clamp leaves the sway's velocity alone; with the load gone the offset springs back to rest.
TEST(RiderSway, OffsetStopsAtItsLimitsAndSpringsBack) {
    const qzVector3d right(0.0f, 0.0f, -1.0f), up(0.0f, -1.0f, 0.0f), forward(1.0f, 0.0f, 0.0f);
    const float lo[3] = {-2.0f, -18.0f, 0.0f}, hi[3] = {2.0f, 5.0f, 10.0f};
    auto axis = [](const qzVector3d& v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; };
    // clang-format off
    struct Case { const char* name; qzVector3d change; int axis; float limit; };
    const Case cases[] = {
        {"hard braking", forward * -5.0f, 2, 10.0f},  {"accelerating", forward * 5.0f, 2, 0.0f},
        {"landing", up * 5.0f, 1, -18.0f},            {"thrown up", up * -5.0f, 1, 5.0f},
        {"turning left", right * 5.0f, 0, -2.0f},     {"turning right", right * -5.0f, 0, 2.0f},
    };
    // clang-format on
    for (const Case& c : cases) {
        KineticBike b;
        b.frame.rightDir = right;
        b.frame.upDir = up;
        b.frame.forwardDir = forward;
        b.riderMotion.riderCurrentPos = b.riderMotion.riderDelta =
            qzVector3d(0.5f, -0.5f, 0.5f);  // off rest on every axis
        for (int f = 0; f < 30; ++f) {
            b.frame.lastLinearVelocity = b.linearVelocity;
            b.linearVelocity = b.linearVelocity + c.change;
            b.riderDisplacement();
            for (int k = 0; k < 3; ++k) {
                ASSERT_GE(axis(b.riderMotion.riderDelta, k), lo[k])
                    << c.name << " frame " << f << " axis " << k;
                ASSERT_LE(axis(b.riderMotion.riderDelta, k), hi[k])
                    << c.name << " frame " << f << " axis " << k;
            }
        }
        EXPECT_EQ(axis(b.riderMotion.riderDelta, c.axis), c.limit) << c.name;
        // Still pushing out past the limit: the clamp held the offset, not the velocity.
        EXPECT_GT(axis(b.riderMotion.riderVelocity, c.axis) * (c.limit == 0.0f ? -1.0f : c.limit), 0.0f)
            << c.name;
        const qzVector3d seat = b.position + up * 95.0f + forward * 55.0f;
        const qzVector3d off = b.riderMotion.riderPos - seat;
        EXPECT_NEAR(off * (c.axis == 0 ? right : c.axis == 1 ? up : forward), c.limit, 1e-4f) << c.name;

        for (int f = 0; f < 300; ++f) {
            b.frame.lastLinearVelocity = b.linearVelocity;
            b.riderDisplacement();
        }
        EXPECT_LT(std::sqrt(b.riderMotion.riderDelta * b.riderMotion.riderDelta), 0.05f) << c.name;
    }
}

}  // namespace
