// The decision maker, its modules and the bike control, on facts written by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../bike/bike_world.h"
#include "game/ai/ai_bike_control.h"
#include "game/ai/ai_modules.h"
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
        for (int i = 0; i < 3; ++i) dm.loadModule(new Fixed(c.p[i], i));
        CAIPreCalc pre = Riding();
        CAIControlPacket order;
        dm.runModules(order, pre);
        // The candidate is shared: the winner carries the bits of every module before it.
        EXPECT_EQ(order.aiFlags, c.winner < 0 ? 0u : (2u << c.winner) - 1u);
        EXPECT_EQ(order.speed, std::max(c.winner, 0));
    }
    CAIDecisionMaker dm;  // a ninth module is not taken
    int ninthCalls = 0;
    for (int i = 0; i < 8; ++i) dm.loadModule(new Fixed(float(i), i));
    Fixed ninth(100.0f, 8, &ninthCalls);
    dm.loadModule(&ninth);
    CAIPreCalc pre = Riding();
    CAIControlPacket order;
    dm.runModules(order, pre);
    EXPECT_TRUE(ninthCalls == 0 && order.speed == 7);
}

TEST(AIDecisionMaker, DifficultyAndCatchUpMoveSpeedCrashScaleAndNextDifficulty) {
    struct Case {
        int difficulty;
        float r;  // the chase target's lead in laps
        int speedIn, speedOut;
        float crashScale;
        int next;
    };
    const Case cases[] = {{2, 0.1f, 100, 115, 1.5f, 3}, {1, -0.1f, 100, 80, 0.5f, 1},
                          {3, 0.1f, 90, 95, 1.0f, 3},   {3, -0.03f, 100, 96, 0.97f, 3},
                          {2, 0.0f, 100, 100, 1.0f, 2}, {3, 1.0f, 100, 120, 5.0f, 3}};
    for (const Case& c : cases) {
        KineticBike bike;
        CAIDecisionMaker dm;
        dm.difficulty = dm.useDifficulty = int16_t(c.difficulty);
        CAIPreCalc pre = Riding();
        pre.pBike = &bike;
        pre.difficulty = c.difficulty;
        CAIControlPacket order;
        order.speed = c.speedIn;
        dm.adjustSpeed(order, pre, c.r);
        EXPECT_EQ(order.speed, c.speedOut) << c.difficulty << " " << c.r;
        EXPECT_NEAR(bike.cpuCrashScale, c.crashScale, 1e-5f) << c.difficulty << " " << c.r;
        EXPECT_EQ(dm.useDifficulty, c.next) << c.difficulty << " " << c.r;
    }
}

TEST(AISteeringModules, SplinePriorityFollowsHowFarTheLineLiesBeside) {
    SplineScale scale;
    struct Case {
        float farX, farZ, lo, hi, tolerance;
        bool offLine;
    };
    const Case cases[] = {{0, 2500, 0, 1e-6f, 0.2f, false},
                          {200, 2500, 1e-4f, 0.01f, 0.2f, false},
                          {200, -2500, 1.9f, 2, 0.2f, false},
                          {400, 2500, 1.5f, 1.7f, 0.041f, false},
                          {900, 2500, 3.5f, 3.7f, 0.0001f, true}};
    for (const Case& c : cases) {
        CAIPreCalc pre = Riding();
        pre.splineData.forwardFarPos = qzVector3d(c.farX, 0, c.farZ);
        pre.splineData.NearVel = pre.splineData.AtVel = qzVector3d(0, 0, 100);
        CAIControlPacket o;
        const float p = CAISplineDM().createOrders(o, pre);
        EXPECT_TRUE(p >= c.lo && p <= c.hi) << c.farX << " " << p;
        EXPECT_NEAR(o.tolerance, c.tolerance, 1e-4f) << c.farX;
        EXPECT_EQ((o.aiFlags & AI_OFF_LINE) != 0, c.offLine) << c.farX;
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
    bike->forwardDir = qzVector3d(0, 0, 1);
    bike->linearVelocity = qzVector3d(0, 0, 10);
    struct Case {
        qzVector3d move;
        int speed;
        uint32_t held;
        uint8_t throttle;
    };
    const Case cases[] = {{{0, 0, 1}, 80, AIB_ACCEL, 80},               // straight ahead
                          {{0, 0, -1}, 80, AIB_ACCEL | AIB_RIGHT, 80},  // behind, in the dead band: right
                          {{1, 0, 1}, 100, AIB_ACCEL | AIB_RIGHT, 100},
                          {{-1, 0, 1}, 400, AIB_ACCEL | AIB_LEFT, 255}};  // beyond a byte: full throttle
    for (const Case& c : cases) {
        CAIBikeControl hands;
        CAIControlPacket o;
        o.moveVec = c.move, o.speed = c.speed;
        hands.UseTheControls(o, id, true, 1);  // the alternate line: steer at once
        EXPECT_EQ(hands.buttonFlags & (AIB_LEFT | AIB_RIGHT | AIB_ACCEL), c.held) << c.move.x;
        EXPECT_EQ(hands.analogControl[4], c.throttle) << c.move.x;
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
