// The stunt and preload modules, and the bike control's buttons.
#include <gtest/gtest.h>

#include <vector>

#include "../../bike/bike_world.h"
#include "game/ai/ai_bike_control.h"
#include "game/ai/ai_modules.h"
#include "world/terrain_type.h"

namespace {

CAIPreCalc InAir(int numFrames = 2) {
    CAIPreCalc pre;
    pre.bikeInfo.bikeVel = qzVector3d(0, 0, 2000);
    pre.aboveGround = 500.0f;
    pre.numFrames = numFrames;
    return pre;
}

// The directions the module orders, one a step, until it yields (priority 0).
std::vector<int> Play(CAIStuntDM& m, CAIPreCalc pre) {
    std::vector<int> dirs;
    for (int step = 0; step < 40; ++step) {
        CAIControlPacket o;
        if (m.createOrders(o, pre) == 0.0f) break;
        EXPECT_TRUE(o.aiFlags & AI_STUNT);
        dirs.push_back(o.stuntInfo);
    }
    return dirs;
}

}  // namespace

TEST(AIStuntModule, PlaysPlannedDirectionsForItsAirTime) {
    struct Case {
        int airTime;
        uint32_t flags;
        std::vector<stuntDir> list;
        std::vector<int> played;
    };
    const Case cases[] = {
        // Kind B, stride 2: 10 -> 6 -> 2 -> -2, then over.
        {10, 0, {DIR_NEUTRAL, DIR_UP, DIR_LEFT, DIR_DOWN, DIR_RIGHT}, {DIR_NEUTRAL, DIR_UP, DIR_LEFT}},
        // A repeated direction is let go for a step in between.
        {40, 0, {DIR_NEUTRAL, DIR_UP, DIR_UP}, {DIR_NEUTRAL, DIR_UP, DIR_NEUTRAL, DIR_UP, DIR_NUM_DIRS}},
        // Held to the end: the last direction repeats.
        {20, 0x4, {DIR_NEUTRAL, DIR_DOWN}, {DIR_NEUTRAL, DIR_DOWN, DIR_DOWN, DIR_DOWN, DIR_DOWN}},
        // No path found: only the end mark, even when told to hold.
        {20, 0x4, {}, {DIR_NUM_DIRS}},
    };
    for (const Case& c : cases) {
        CAIStuntDM m;
        m.airTime = c.airTime;
        m.stuntFlags = c.flags;
        size_t i = 0;
        for (stuntDir d : c.list) m.stuntInstructions[i++] = d;
        m.stuntInstructions[i] = DIR_NUM_DIRS;
        EXPECT_EQ(Play(m, InAir()), c.played) << c.airTime;
    }
}

TEST(AIStuntModule, PlansOnlyAfterAPreloadOrDoubleAndWheeliesOnTheGround) {
    CAIStuntDM stale;  // last preload and double long ago: no stunt on this jump
    stale.caughtALoad = stale.caughtADouble = 40;
    CAIPreCalc air = InAir();
    air.preFlags = 0x2;
    EXPECT_TRUE(Play(stale, air).empty());
    EXPECT_EQ(stale.airTime, -1);

    CAIStuntDM fresh;  // just off a double: a plan is made (whatever stunt it draws)
    fresh.caughtADouble = 5;
    air.ticksToLand = 400;
    Play(fresh, air);
    EXPECT_GE(fresh.airTime, 0);
    EXPECT_LT(unsigned(fresh.airType), unsigned(STUNT_NUM_STUNTS));

    CAIStuntDM ground;
    CAIPreCalc pre;
    int wheelies = 0;
    for (int step = 0; step < 60 * 3600; ++step) {
        CAIControlPacket o;
        EXPECT_EQ(ground.createOrders(o, pre), 0.0f);
        wheelies += (o.aiFlags & AI_WHEELIE) != 0;
    }
    EXPECT_GT(wheelies, 0);
    EXPECT_LE(wheelies, 60 * 179);
}

TEST(AIPreLoadModule, HardRidersPreloadForFourCallsPerPatch) {
    CAIPreLoadDM m;
    CAIPreCalc pre;
    pre.difficulty = 3;
    pre.bikeInfo.bikeVel = qzVector3d(0, 0, 2000);
    std::vector<float> got;
    for (int patch = 0; patch < 2; ++patch) {
        pre.terrTypeStorage = aiPreLoad;
        for (int k = 0; k < 6; ++k) {
            CAIControlPacket o;
            got.push_back(m.createOrders(o, pre));
            EXPECT_TRUE(o.aiFlags & AI_PRELOAD);
        }
        pre.terrTypeStorage = hardpack;
        CAIControlPacket o;
        EXPECT_EQ(m.createOrders(o, pre), 0.0f);
    }
    const std::vector<float> once = {3, 3, 3, 3, 0, 0};
    std::vector<float> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(got, twice);
}

TEST(AIBikeControl, SteeringThrottleAndBrakeFollowTheOrder) {
    biketest::LoneBikes lone;
    auto* bike = new KineticBike();
    GetModel()->objects.push_back(bike);
    const int id = int(GetModel()->objects.size()) - 1;
    bike->forwardDir = qzVector3d(0, 0, 1);
    bike->linearVelocity = qzVector3d(0, 0, 10);

    struct Case {
        qzVector3d move;
        int speed;
        uint32_t held;  // steering and throttle buttons
        uint8_t throttle;
    };
    const Case cases[] = {
        {{0, 0, 1}, 80, AIB_ACCEL, 80},               // straight ahead: no steering
        {{0, 0, -1}, 80, AIB_ACCEL | AIB_RIGHT, 80},  // behind, in the dead band: turn right
        {{1, 0, 1}, 100, AIB_ACCEL | AIB_RIGHT, 100},
        {{-1, 0, 1}, 400, AIB_ACCEL | AIB_LEFT, 255},  // a speed beyond a byte is full throttle
    };
    for (const Case& c : cases) {
        CAIBikeControl hands;
        CAIControlPacket o;
        o.moveVec = c.move;
        o.speed = c.speed;
        hands.UseTheControls(o, id, true, 1);  // the alternate line: steer at once
        EXPECT_EQ(hands.buttonFlags & (AIB_LEFT | AIB_RIGHT | AIB_ACCEL), c.held) << c.move.x;
        EXPECT_EQ(hands.analogControl[4], c.throttle) << c.move.x;
    }

    CAIBikeControl hands;
    CAIControlPacket o;
    o.moveVec = qzVector3d(0, 0, 1);
    auto step = [&](int speed) {
        o.speed = speed;
        hands.UseTheControls(o, id, false, 1);
    };
    for (int k = 0; k < 12; ++k) step(100);
    ASSERT_EQ(hands.lastSpeed, 100);
    step(98);
    EXPECT_EQ(hands.buttonFlags & (AIB_BRAKE | AIB_ACCEL), AIB_BRAKE);
    EXPECT_EQ(hands.lastSpeed, 98);
    for (int k = 0; k < 11; ++k) step(100);
    EXPECT_EQ(hands.lastSpeed, 98);
    step(100);
    EXPECT_EQ(hands.lastSpeed, 100);

    o.aiFlags = AI_STUNT;  // the first stunt step lets go of everything and holds the buttons
    o.stuntI2 = STUNT_TYPE_BOTH;
    step(100);
    EXPECT_EQ(hands.buttonFlags, AIB_STUNT_MODE | AIB_STUNT_A | AIB_STUNT_B);
    EXPECT_EQ(hands.controlFlags, 0x20u | 0x80u);
}
