// The decision maker, its modules and the bike control, on facts written by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "../../bike/bike_world.h"
#include "race/ai/ai_bike_control.h"
#include "race/ai/ai_modules.h"
#include "world/spline_manager.h"

namespace {

// A bike at the origin riding along +z at `speed` (velocity x 100), `height` above the ground.
CAIPreCalc Riding(float speed = 1000.0f, float height = 0.0f) {
    CAIPreCalc pre;
    pre.bikeInfo.bikeFor = qzVector3d(0, 0, 1);
    pre.bikeInfo.bikeVel = qzVector3d(0, 0, speed);
    pre.aboveGround = height;
    return pre;
}
qzVector3d Normalised(const qzVector3d& v) {
    return v * (1.0f / std::sqrt(v * v));
}
void AddOther(CAIPreCalc& pre, qzVector3d pos, qzVector3d vel) {
    pre.otherBikes[pre.otherBikeCount].bikePos = pos;
    pre.otherBikes[pre.otherBikeCount++].bikeVel = vel;
}
struct SplineScale {  // A = 500, B = 250
    SplineScale() { CSplineManager::getSplineManager()->gameScale = 100.0f; }
    ~SplineScale() { CSplineManager::cleanUp(); }
};
struct Fixed : CAIDecisionModule {  // writes its id as speed and flag bit, returns a fixed priority
    Fixed(float p, int id, int* calls = nullptr) : priority(p), id(id), calls(calls) {}
    float createOrders(CAIControlPacket& o, CAIPreCalc&) override {
        if (calls) ++*calls;
        o.speed = id;
        o.aiFlags |= 1u << id;
        return priority;
    }
    float priority;
    int id;
    int* calls;
};

}  // namespace

TEST(AIDecisionMaker, HighestPriorityWinsEarlierOnTiesNinthModuleIgnored) {
    struct Case {
        float p[3];
        int winner;  // -1: none
    };
    for (const Case c : {Case{{1, 1, 0.5f}, 0}, Case{{0.5f, 2, 2}, 1}, Case{{-1, -2, -1}, -1}}) {
        CAIDecisionMaker dm;
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(dm.loadModule(std::make_unique<Fixed>(c.p[i], i)));
        CAIPreCalc pre = Riding();
        CAIControlPacket order;
        dm.runModules(order, pre);
        // The candidate is shared: the winner carries the bits of every module before it.
        EXPECT_EQ(order.aiFlags, c.winner < 0 ? 0u : (2u << c.winner) - 1u);
        EXPECT_EQ(order.speed, std::max(c.winner, 0));
    }
    CAIDecisionMaker dm;  // a ninth module is not taken (and is deleted, not left to leak)
    int ninthCalls = 0;
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(dm.loadModule(std::make_unique<Fixed>(float(i), i)));
    EXPECT_FALSE(dm.loadModule(std::make_unique<Fixed>(100.0f, 8, &ninthCalls)));
    EXPECT_EQ(dm.numModules, 8);
    CAIPreCalc pre = Riding();
    CAIControlPacket order;
    dm.runModules(order, pre);
    EXPECT_TRUE(ninthCalls == 0 && order.speed == 7);
}

TEST(AIDecisionMaker, DifficultyAndCatchUpMoveSpeedCrashScaleAndNextDifficulty) {
    // difficulty, chase target's lead in laps, speed in, speed out, crash scale, next difficulty
    using Row = std::tuple<int, float, int, int, float, int>;
    for (const auto& [d, r, in, out, scale, next] :
         {Row{2, 0.1f, 100, 115, 1.5f, 3}, Row{1, -0.1f, 100, 80, 0.5f, 1}, Row{3, 0.1f, 90, 95, 1.0f, 3},
          Row{3, -0.03f, 100, 96, 0.97f, 3}, Row{2, 0.0f, 100, 100, 1.0f, 2},
          Row{3, 1.0f, 100, 120, 5.0f, 3}}) {
        KineticBike bike;
        CAIDecisionMaker dm;
        dm.difficulty = dm.useDifficulty = int16_t(d);
        CAIPreCalc pre = Riding();
        pre.pBike = &bike;
        pre.difficulty = d;
        CAIControlPacket order;
        order.speed = in;
        dm.adjustSpeed(order, pre, r);
        EXPECT_TRUE(order.speed == out && std::fabs(bike.crash.cpuCrashScale - scale) < 1e-5f &&
                    dm.useDifficulty == next)
            << d << " " << r << ": " << order.speed << " " << bike.crash.cpuCrashScale << " "
            << dm.useDifficulty;
    }
}

TEST(AISteeringModules, SplinePriorityFollowsHowFarTheLineLiesBeside) {
    SplineScale scale;
    // far point (x, z), priority range, tolerance, far off the line
    using Row = std::tuple<float, float, float, float, float, bool>;
    for (const auto& [x, z, lo, hi, tolerance, offLine] :
         {Row{0, 2500, 0, 1e-6f, 0.2f, false}, Row{200, 2500, 1e-4f, 0.01f, 0.2f, false},
          Row{200, -2500, 1.9f, 2, 0.2f, false}, Row{400, 2500, 1.5f, 1.7f, 0.041f, false},
          Row{900, 2500, 3.5f, 3.7f, 0.0001f, true}}) {
        CAIPreCalc pre = Riding();
        pre.splineData.forwardFarPos = qzVector3d(x, 0, z);
        pre.splineData.NearVel = pre.splineData.AtVel = qzVector3d(0, 0, 100);
        CAIControlPacket o;
        const float p = CAISplineDM().createOrders(o, pre);
        EXPECT_TRUE(p >= lo && p <= hi && std::fabs(o.tolerance - tolerance) < 1e-4f &&
                    ((o.aiFlags & AI_OFF_LINE) != 0) == offLine)
            << x << " " << z << ": " << p << " " << o.tolerance;
    }
    // Power slides: never at difficulty 1, else at most once in 61 steps (the bike breaks away after).
    for (int difficulty = 1; difficulty <= 3; ++difficulty) {
        CAISplineDM m;
        int requests = 0, last = -100;
        for (int step = 0, breaking = 0; step < 300; ++step) {
            CAIPreCalc pre = Riding();
            pre.difficulty = difficulty;
            pre.preFlags = breaking ? 0x4 : 0;
            // The line turns across the bike; its far point lies on the bike (no length to divide by).
            pre.splineData.NearVel = pre.splineData.AtVel = qzVector3d(100, 0, 0);
            CAIControlPacket o;
            ASSERT_TRUE(std::isfinite(m.createOrders(o, pre)));
            if (!(breaking = (o.aiFlags & AI_POWERSLIDE) != 0)) continue;
            EXPECT_GE(step - last, 61);
            last = step, ++requests;
        }
        EXPECT_EQ(requests, difficulty == 1 ? 0 : 4);
    }
}

// A gate still to take that the bike would circle at its speed (ridden past, or too sharp a turn) asks
// the hands to brake; a gate ahead, a slow enough bike or a gate already taken does not.
TEST(AISteeringModules, AGateInsideTheTurningCircleAsksToBrake) {
    SplineScale scale;
    // gate point (x, z) from the bike riding +z, speed (x 100), gate still to take, brake
    using Row = std::tuple<float, float, float, bool, bool>;
    for (const auto& [x, z, speed, toTake, brake] :
         {Row{0, 2000, 2500, true, false},      // dead ahead
          Row{300, 2000, 2500, true, false},    // a little beside: turn radius 68 m
          Row{2000, 300, 2200, true, true},     // beside: radius 10 m, 22 m/s needs 32 m
          Row{2000, 300, 1000, true, false},    // 10 m/s turns in 6.7 m
          Row{500, -2000, 2200, true, true},    // behind
          Row{500, -2000, 2200, false, false},  // behind but already taken
          Row{500, -2000, 500, true, false}}) {
        CAIPreCalc pre = Riding(speed);
        pre.gateToTake = toTake ? 1 : 0;
        pre.splineData.forwardFarPos = pre.splineData.forwardNearPos = qzVector3d(x, 0, z);
        pre.splineData.NearVel = pre.splineData.AtVel = Normalised(qzVector3d(x, 0, z)) * 80.0f;
        CAIControlPacket o;
        CAISplineDM().createOrders(o, pre);
        EXPECT_EQ((o.aiFlags & AI_TURN_BACK) != 0, brake) << x << " " << z << " at " << speed;
    }
}

TEST(AISteeringModules, AvoidSwervesFromThreatsAndBlockWaitsInItsSpeedWindow) {
    CAIAvoidDM avoid;
    CAIPreCalc pre = Riding();
    AddOther(pre, qzVector3d(0, 0, -5000), qzVector3d(0, 0, 1000));
    CAIControlPacket o;
    o.speed = 77;
    EXPECT_EQ(avoid.createOrders(o, pre), -1.0f);
    EXPECT_EQ(o.speed, 77);
    AddOther(pre, qzVector3d(-100, 0, 100), qzVector3d(0, 0, 1000));
    EXPECT_GT(avoid.createOrders(o, pre), 2.0f);
    EXPECT_TRUE(o.moveVec.x > 0.9f && (o.aiFlags & AI_ALT_LINE));
    AddOther(pre, qzVector3d(100, 0, 100), qzVector3d(0, 0, 1000));  // threats on both sides
    EXPECT_EQ(avoid.createOrders(o, pre), 6.0f);
    EXPECT_TRUE(o.speed == 50 && o.moveVec.z == 1.0f);
    CAIPreCalc same = Riding();  // a bike on top of the own one, crossing
    AddOther(same, qzVector3d(0, 0, 0), qzVector3d(1000, 0, 10));
    EXPECT_TRUE(std::isfinite(avoid.createOrders(o, same)) && std::isfinite(o.moveVec.x));

    for (const float other : {1800.0f, 1999.0f, 2100.0f, 1400.0f, 1500.0f}) {
        CAIPreCalc behind = Riding(2000.0f);
        AddOther(behind, qzVector3d(50, 0, -500), qzVector3d(0, 0, other));
        const float p = CAIBlockDM().createOrders(o, behind);
        EXPECT_NEAR(p, other > 1500.0f && other < 2000.0f ? 0.004f * (other - 1500.0f) : 0.0f, 1e-4f)
            << other;
    }
}

TEST(AIStuntModules, StuntPlaybackPlanningWheeliesAndPreload) {
    struct Case {
        int airTime;
        uint32_t flags;
        std::vector<stuntDir> list;
        std::vector<int> played;
    };
    const Case cases[] = {
        {10, 0, {DIR_NEUTRAL, DIR_UP, DIR_LEFT, DIR_DOWN}, {DIR_NEUTRAL, DIR_UP, DIR_LEFT}},  // 10, 6, 2, -2
        {40, 0, {DIR_NEUTRAL, DIR_UP, DIR_UP}, {DIR_NEUTRAL, DIR_UP, DIR_NEUTRAL, DIR_UP, DIR_NUM_DIRS}},
        {20, 0x4, {DIR_NEUTRAL, DIR_DOWN}, {DIR_NEUTRAL, DIR_DOWN, DIR_DOWN, DIR_DOWN, DIR_DOWN}},
        {20, 0x4, {}, {DIR_NUM_DIRS}},  // no path found: nothing to hold
    };
    auto play = [](CAIStuntDM& m, CAIPreCalc pre) {
        std::vector<int> dirs;
        for (CAIControlPacket o; m.createOrders(o, pre) > 0.0f && dirs.size() < 40; o = {})
            dirs.push_back(o.stuntInfo);
        return dirs;
    };
    CAIPreCalc air = Riding(2000.0f, 500.0f);
    air.numFrames = 2;
    for (const Case& c : cases) {
        CAIStuntDM m;
        m.airTime = c.airTime, m.stuntFlags = c.flags;
        std::copy(c.list.begin(), c.list.end(), m.stuntInstructions);
        m.stuntInstructions[c.list.size()] = DIR_NUM_DIRS;
        EXPECT_EQ(play(m, air), c.played) << c.airTime;
    }
    CAIStuntDM stale;  // preload and take-off mark long behind: no stunt on this jump
    stale.caughtALoad = stale.caughtADouble = 40;
    air.preFlags = 0x2;
    EXPECT_TRUE(play(stale, air).empty());
    EXPECT_EQ(stale.airTime, -1);

    CAIPreLoadDM preload;  // difficulty 3: wins four calls on each patch
    CAIPreCalc pre = Riding(2000.0f);
    pre.difficulty = 3;
    std::vector<float> got;
    for (int k = 0; k < 12; ++k) {
        pre.terrTypeStorage = k == 6 ? hardpack : aiPreLoad;
        CAIControlPacket o;
        got.push_back(preload.createOrders(o, pre));
    }
    EXPECT_EQ(got, (std::vector<float>{3, 3, 3, 3, 0, 0, 0, 3, 3, 3, 3, 0}));
}

TEST(AIBikeControl, SteeringThrottleBrakeAndStuntButtonsFollowTheOrder) {
    biketest::LoneBikes lone;
    GetModel()->objects.push_back(new CModelObject());
    auto* bike = new KineticBike();
    GetModel()->objects.push_back(bike);
    const int id = int(GetModel()->objects.size()) - 1;
    bike->frame.forwardDir = qzVector3d(0, 0, 1);
    bike->linearVelocity = qzVector3d(0, 0, 10);
    // ordered direction and speed, steering and throttle buttons held, throttle byte
    using Row = std::tuple<qzVector3d, int, uint32_t, int>;
    for (const auto& [move, speed, held, throttle] :
         {Row{{0, 0, 1}, 80, AIB_ACCEL, 80}, Row{{0, 0, -1}, 80, AIB_ACCEL | AIB_RIGHT, 80},  // behind: right
          Row{{1, 0, 1}, 100, AIB_ACCEL | AIB_RIGHT, 100}, Row{{-1, 0, 1}, 400, AIB_ACCEL | AIB_LEFT, 255}}) {
        CAIBikeControl hands;
        CAIControlPacket o;
        o.moveVec = move, o.speed = speed;
        hands.UseTheControls(o, id, true, 1);  // the alternate line: steer at once
        EXPECT_EQ(hands.buttonFlags & (AIB_LEFT | AIB_RIGHT | AIB_ACCEL), held) << speed;
        EXPECT_EQ(hands.analogControl[4], throttle) << speed;
    }
    CAIBikeControl hands;
    CAIControlPacket o;
    o.moveVec = qzVector3d(0, 0, 1);
    auto step = [&](int speed, int times = 1) {
        for (o.speed = speed; times-- > 0;) hands.UseTheControls(o, id, false, 1);
    };
    step(100, 12);
    ASSERT_EQ(hands.lastSpeed, 100);
    step(98);
    EXPECT_EQ(hands.buttonFlags & (AIB_BRAKE | AIB_ACCEL), AIB_BRAKE);
    step(100, 11);
    EXPECT_EQ(hands.lastSpeed, 98);
    step(100);
    EXPECT_EQ(hands.lastSpeed, 100);
    // Turning back to a gate: the brake stays on for as long as the order asks, not a single tap, and the
    // throttle takes the ordered speed again at once when it stops asking.
    o.aiFlags = AI_TURN_BACK;
    for (int k = 0; k < 20; ++k) {
        step(60);
        ASSERT_EQ(hands.buttonFlags & (AIB_BRAKE | AIB_ACCEL), AIB_BRAKE) << k;
    }
    o.aiFlags = 0;
    step(60);
    EXPECT_EQ(hands.buttonFlags & (AIB_BRAKE | AIB_ACCEL), AIB_ACCEL);
    EXPECT_EQ(hands.analogControl[4], 60);
    o.aiFlags = AI_STUNT, o.stuntI2 = STUNT_TYPE_BOTH;  // first stunt step: let go, hold both buttons
    step(100);
    EXPECT_EQ(hands.buttonFlags, AIB_STUNT_MODE | AIB_STUNT_A | AIB_STUNT_B);
    EXPECT_EQ(hands.controlFlags, 0x20u | 0x80u);

    // Facts of a step: an id naming no bike gives zeros; at most seven other bikes are taken.
    for (int k = 0; k < 9; ++k) CAIBikeIter::getInstance()->addBike(bike);
    CAIPreCalc pre;
    pre.setBike(0);  // the model's first object is no bike
    EXPECT_TRUE(pre.pBike == nullptr && pre.bikeInfo.bikeVel.z == 0.0f);
    EXPECT_EQ(pre.otherBikeCount, CAIPreCalc::kMaxOtherBikes);
    delete CAIBikeIter::theBikeIter;
}
