// The decision maker and its modules, on facts written by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "bike/kinetic_bike.h"
#include "game/ai/ai_modules.h"
#include "world/spline_manager.h"

namespace {

// A bike on the ground at the origin riding along +z at `speed` (velocity x 100).
CAIPreCalc Riding(float speed = 1000.0f) {
    CAIPreCalc pre;
    pre.bikeInfo.bikeFor = qzVector3d(0, 0, 1);
    pre.bikeInfo.bikeVel = qzVector3d(0, 0, speed);
    return pre;
}

void AddOther(CAIPreCalc& pre, qzVector3d pos, qzVector3d vel) {
    pre.otherBikes[pre.otherBikeCount].bikePos = pos;
    pre.otherBikes[pre.otherBikeCount++].bikeVel = vel;
}

struct SplineScale {
    SplineScale() { CSplineManager::getSplineManager()->gameScale = 100.0f; }  // A = 500, B = 250
    ~SplineScale() { CSplineManager::cleanUp(); }
};

// Writes its own speed and flag and returns a fixed priority.
struct Fixed : CAIDecisionModule {
    Fixed(float p, int id) : priority(p), id(id) {}
    float createOrders(CAIControlPacket& o, CAIPreCalc&) override {
        ++*calls;
        o.speed = id;
        o.aiFlags |= 1u << id;
        return priority;
    }
    float priority;
    int id;
    std::shared_ptr<int> calls = std::make_shared<int>(0);
};

}  // namespace

TEST(AIDecisionMaker, HighestPriorityWinsEarlierOnTiesAndNinthModuleIsIgnored) {
    struct Case {
        float p[3];
        int winner;
    };
    for (const Case c :
         {Case{{1.0f, 1.0f, 0.5f}, 0}, Case{{0.5f, 2.0f, 2.0f}, 1}, Case{{-1.0f, -2.0f, -1.0f}, -1}}) {
        CAIDecisionMaker dm;
        for (int i = 0; i < 3; ++i) dm.loadModule(new Fixed(c.p[i], i));
        CAIPreCalc pre = Riding();
        CAIControlPacket order;
        dm.runModules(order, pre);
        if (c.winner < 0) {
            EXPECT_EQ(order.aiFlags, 0u);
            EXPECT_FLOAT_EQ(order.tolerance, 0.2f);
            continue;
        }
        EXPECT_EQ(order.speed, c.winner);
        // The candidate is shared: the winner carries the bits of every module before it.
        EXPECT_EQ(order.aiFlags, (2u << c.winner) - 1u);
    }
    CAIDecisionMaker dm;
    Fixed* modules[9];
    for (int i = 0; i < 9; ++i) dm.loadModule(modules[i] = new Fixed(float(i), i));
    std::unique_ptr<Fixed> ninth(modules[8]);
    CAIPreCalc pre = Riding();
    CAIControlPacket order;
    dm.runModules(order, pre);
    EXPECT_EQ(dm.numModules, 8);
    EXPECT_EQ(*ninth->calls, 0);
    EXPECT_EQ(order.speed, 7);
}

TEST(AIDecisionMaker, DifficultyAndCatchUpMoveSpeedCrashScaleAndNextDifficulty) {
    struct Case {
        int difficulty;
        float r;  // chase target's lead in laps
        int speedIn, speedOut;
        float crashScale;
        int nextDifficulty;
    };
    const Case cases[] = {
        {2, 0.1f, 100, 115, 1.5f, 3},   {1, -0.1f, 100, 80, 0.5f, 1}, {3, 0.1f, 90, 95, 1.0f, 3},
        {3, -0.03f, 100, 96, 0.97f, 3}, {2, 0.0f, 100, 100, 1.0f, 2}, {3, 1.0f, 100, 120, 5.0f, 3},
    };
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
        EXPECT_EQ(dm.useDifficulty, c.nextDifficulty) << c.difficulty << " " << c.r;
    }
}

TEST(AISplineModule, PriorityFollowsHowFarTheLineLiesBesideTheBike) {
    SplineScale scale;
    struct Case {
        qzVector3d far;
        float lo, hi;  // priority range
        float tolerance;
        bool offLine;
    };
    const Case cases[] = {
        {{0, 0, 2500}, 0.0f, 1e-6f, 0.2f, false},     // on the line heading at the far point
        {{200, 0, 2500}, 1e-4f, 0.01f, 0.2f, false},  // beside it within B
        {{200, 0, -2500}, 1.9f, 2.0f, 0.2f, false},   // far point behind, within B
        {{400, 0, 2500}, 1.5f, 1.7f, 0.041f, false},  // between B and A - 1
        {{900, 0, 2500}, 3.5f, 3.7f, 0.0001f, true},  // far off the line
    };
    for (const Case& c : cases) {
        CAIPreCalc pre = Riding();
        pre.splineData.forwardFarPos = c.far;
        pre.splineData.NearVel = pre.splineData.AtVel = qzVector3d(0, 0, 100);
        CAISplineDM m;
        CAIControlPacket o;
        const float p = m.createOrders(o, pre);
        EXPECT_GE(p, c.lo) << c.far.x;
        EXPECT_LE(p, c.hi) << c.far.x;
        EXPECT_NEAR(o.tolerance, c.tolerance, 1e-4f) << c.far.x;
        EXPECT_EQ((o.aiFlags & AI_OFF_LINE) != 0, c.offLine) << c.far.x;
    }
}

TEST(AISplineModule, PowerSlidesOnlyFromDifficultyTwoAtMostOnceIn61Steps) {
    SplineScale scale;
    for (int difficulty = 1; difficulty <= 3; ++difficulty) {
        CAISplineDM m;
        int requests = 0, last = -1000;
        bool breaking = false;
        for (int step = 0; step < 300; ++step) {
            CAIPreCalc pre = Riding();
            pre.difficulty = difficulty;
            // The line turns across the bike; its far point lies on the bike (no length to divide by).
            pre.splineData.NearVel = pre.splineData.AtVel = qzVector3d(100, 0, 0);
            pre.preFlags = breaking ? 0x4 : 0;
            CAIControlPacket o;
            ASSERT_TRUE(std::isfinite(m.createOrders(o, pre)));
            breaking = (o.aiFlags & AI_POWERSLIDE) != 0;  // the bike breaks away the step after
            if (!breaking) continue;
            ++requests;
            EXPECT_GE(step - last, 61);
            last = step;
        }
        if (difficulty == 1)
            EXPECT_EQ(requests, 0);
        else
            EXPECT_GE(requests, 3);
    }
}

TEST(AIAvoidModule, NothingNearLeavesOrderAloneThreatsOnBothSidesHoldTheLine) {
    CAIAvoidDM m;
    CAIPreCalc pre = Riding();
    AddOther(pre, qzVector3d(0, 0, -5000), qzVector3d(0, 0, 1000));
    CAIControlPacket o;
    o.speed = 77;
    EXPECT_EQ(m.createOrders(o, pre), -1.0f);
    EXPECT_EQ(o.speed, 77);
    EXPECT_EQ(o.aiFlags, 0u);

    AddOther(pre, qzVector3d(-100, 0, 100), qzVector3d(0, 0, 1000));
    EXPECT_GT(m.createOrders(o, pre), 2.0f);  // one threat: swerve away from it
    EXPECT_GT(o.moveVec.x, 0.9f);
    EXPECT_TRUE(o.aiFlags & AI_ALT_LINE);
    AddOther(pre, qzVector3d(100, 0, 100), qzVector3d(0, 0, 1000));
    EXPECT_EQ(m.createOrders(o, pre), 6.0f);
    EXPECT_EQ(o.speed, 50);
    EXPECT_FLOAT_EQ(o.moveVec.z, 1.0f);

    // A bike on top of the own one, crossing its path: a finite order.
    CAIPreCalc same = Riding();
    AddOther(same, qzVector3d(0, 0, 0), qzVector3d(1000, 0, 10));
    const float p = m.createOrders(o, same);
    EXPECT_TRUE(std::isfinite(p) && std::isfinite(o.moveVec.x) && o.speed >= 0 && o.speed <= 100);
}

TEST(AIBlockModule, BlocksAFasterRiderBehindOnlyWithinTheSpeedWindow) {
    struct Case {
        float otherSpeed;
        bool blocked;
    };
    for (const Case c :
         {Case{1800, true}, Case{1999, true}, Case{2100, false}, Case{1400, false}, Case{1500, false}}) {
        CAIPreCalc pre = Riding(2000.0f);
        AddOther(pre, qzVector3d(50, 0, -500), qzVector3d(0, 0, c.otherSpeed));
        CAIBlockDM m;
        CAIControlPacket o;
        const float p = m.createOrders(o, pre);
        EXPECT_EQ(p > 0.0f, c.blocked) << c.otherSpeed;
        if (c.blocked) {
            EXPECT_NEAR(p, 0.004f * (500.0f - (2000.0f - c.otherSpeed)), 1e-4f);
        }
    }
}
