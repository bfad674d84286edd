// The bike's crash: its cycle and refusals, the reset positions, the collision and ground triggers, the
// world edge and the limits on the tumbling crash body.
#include <gtest/gtest.h>

#include <cmath>

#include "app/main_loop.h"
#include "bike/bike_crash.h"
#include "bike_world.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/dynamics/collision_event.h"
#include "world/ramps.h"
#include "world/spline_manager.h"
#include "world/terrain_type.h"

namespace {

using namespace biketest;
using bikecrash::bit;

// The race options for one test, put back after it.
struct Options {
    Options(TrackType track, int32_t bits) {
        gameOptions.trackType = track;
        gameOptions.gameOptions = bits;
    }
    ~Options() { gameOptions = saved; }
    CGameOptions saved = gameOptions;
};

// A bike placed long enough ago to crash.
void Ready(KineticBike* b) {
    b->crash.crashState = 0;
    b->crash.postCrashCounter = bikecrash::kPostCrashSteps;
}

TEST(BikeCrash, CycleLastsItsStepsWithItsFlagsAndAPlacedBikeWaits) {
    Options o(TRACKTYPE_BAJA, 0);
    LoneBikes lone;
    KineticBike* b = lone.Build();
    b->setStartPos(qzVector3d(1000.0f, 0.0f, 1000.0f), qzVector3d(0.0f, 0.0f, 1.0f));
    for (int i = 0; i < 180; ++i) {
        b->startCrash(0);
        ASSERT_EQ(b->crash.crashState, 0u) << "step " << i;
        b->crashUpdate();
    }
    b->startCrash(0);
    ASSERT_EQ(b->crash.crashState, 2u);
    std::vector<uint32_t> seen;
    while (b->crash.crashState != 0 && seen.size() < 400) {
        b->status.flags = bit(BIKE_ACCEL);
        b->crashUpdate();
        seen.push_back(b->status.flags & ~bit(BIKE_ACCEL));
    }
    ASSERT_EQ(seen.size(), 183u);
    for (size_t k = 1; k < 180; ++k) EXPECT_EQ(seen[k], bit(BIKE_CRASH)) << k;
    EXPECT_EQ(seen[180], bit(BIKE_RECOVER));
    EXPECT_EQ(seen[181], bit(BIKE_RECOVER));
    EXPECT_EQ(b->status.flags, 0u);  // the recover step clears every flag
    b->startCrash(0);
    EXPECT_EQ(b->crash.crashState, 0u) << "a freshly placed bike crashed";
}

TEST(BikeCrash, TwoComputerCrashesRefuseAThirdOfLandingOrTipKind) {
    Options o(TRACKTYPE_BAJA, 0);
    LoneBikes lone;
    KineticBike::numOfTotalRacers = 4;
    KineticBike* b[4];
    for (unsigned i = 0; i < 4; ++i) Ready(b[i] = lone.Build(i, i < 3));
    b[0]->startCrash(0);
    b[1]->startCrash(1);
    b[2]->startCrash(0);
    EXPECT_EQ(b[2]->crash.crashState, 0u);
    b[2]->startCrash(2);
    EXPECT_EQ(b[2]->crash.crashState, 2u);
    EXPECT_EQ(b[0]->crash.preCrashVelocity * b[0]->crash.preCrashVelocity, 0.0f);
    b[3]->crash.collisionObjectCounter = 2;  // a pending object collision makes any crash type 2
    b[3]->startCrash(0);
    EXPECT_EQ(b[3]->crash.crashType, 2u);
}

TEST(BikeCrash, ResetPositionsFollowTheZoneTheSplineAndTheSafeTrail) {
    Options o(TRACKTYPE_OUTDOOR, 0);
    LoneBikes lone;
    KineticBike::numOfTotalRacers = 2;
    KineticBike* b = lone.Build(0);
    KineticBike* other = lone.Build(1);
    CQZSpline& way = CSplineManager::getSplineManager()->spline(CSplineManager::WayPoint);
    ASSERT_TRUE(way.SetMaxNumPoints(21));
    for (int i = 0; i <= 20; ++i) ASSERT_TRUE(way.AddPoint(1000.0f * i, 0.0f, 0.0f, 1.0f));
    ASSERT_TRUE(way.MakeCurrentPointsIntoSpline());
    b->laps.curWayTime = 10000.0f;
    other->position = qzVector3d(10000.0f, 0.0f, 300.0f);  // on the bike's own spline point
    b->findSplineCrashResetPos();
    EXPECT_NEAR(b->reset.crashResetPos.x, 9000.0f, 1.0f);
    other->position = qzVector3d(50000.0f, 0.0f, 0.0f);
    b->findSplineCrashResetPos();
    EXPECT_NEAR(b->reset.crashResetPos.x, 10000.0f, 1.0f);
    RampPair zone{};
    zone.landing = qzVector3d(12345.0f, 0.0f, 0.0f);
    b->air.crashRampPair = &zone;
    b->findSplineCrashResetPos();
    EXPECT_EQ(b->reset.crashResetPos.x, 12345.0f);
    CSplineManager::cleanUp();
    b->laps.curWayTime = 5000.0f;  // no spline: the newest safe point
    b->reset.safePos[0] = qzVector3d(77.0f, 0.0f, 0.0f);
    b->findSplineCrashResetPos();
    EXPECT_EQ(b->reset.crashResetPos.x, 77.0f);

    for (int k = 0; k < 30; ++k) b->reset.safePos[k] = qzVector3d(600.0f * k, 0.0f, 0.0f);
    b->crash.crashPos = qzVector3d();
    b->ground.bikePos = qzVector3d(-5.0f, 0.0f, 0.0f);
    struct Case {
        unsigned type;
        uint8_t level;
        float x;
    } cases[] = {{0, 1, -5.0f}, {1, 0, 600.0f}, {2, 0, 2400.0f}, {4, 0, 1.0f}};
    for (const Case& c : cases) {
        b->crash.crashType = c.type;
        b->ground.levelGround = c.level;
        b->reset.crashResetPos = qzVector3d(1.0f, 0.0f, 0.0f);
        b->findNonSplineCrashResetPos();
        EXPECT_EQ(b->reset.crashResetPos.x, c.x) << "type " << c.type;
    }
}

TEST(BikeCrash, ResetSearchFallsBackToTheNewestSafePointWhenEveryPointIsCrowded) {
    Options o(TRACKTYPE_OUTDOOR, 0);
    LoneBikes lone;
    KineticBike::numOfTotalRacers = 3;
    KineticBike* b = lone.Build(0);
    KineticBike* others[2] = {lone.Build(1), lone.Build(2)};
    CQZSpline& way = CSplineManager::getSplineManager()->spline(CSplineManager::WayPoint);
    ASSERT_TRUE(way.SetMaxNumPoints(5));
    for (int i = 0; i <= 4; ++i) ASSERT_TRUE(way.AddPoint(1000.0f * i, 0.0f, 0.0f, 1.0f));
    ASSERT_TRUE(way.MakeCurrentPointsIntoSpline());
    b->reset.safePos[0] = qzVector3d(55.0f, 0.0f, 0.0f);
    // Racers beside the points back from the bike's: 100 units off crowds them, 800 does not.
    for (float off : {800.0f, 100.0f}) {
        b->laps.curWayTime = 2000.0f;
        for (int i = 0; i < 2; ++i) others[i]->position = qzVector3d(2000.0f - 1000.0f * i, 0.0f, off);
        b->findSplineCrashResetPos();
        EXPECT_NEAR(b->reset.crashResetPos.x, off > 700.0f ? 2000.0f : 55.0f, 1.0f) << off;
    }
    CSplineManager::cleanUp();
}

// A contact of `a`'s chassis with `b`'s (or with no body), as the model hands it to `a`.
Kinetic::CollisionEvent Contact(KineticBike* a, KineticBike* b) {
    Kinetic::CollisionEvent e;
    e.m_objectA = a->chassis->getPrimitives()[0];
    e.m_objectB = b ? b->chassis->getPrimitives()[0] : nullptr;
    e.m_normal = Kinetic::Vector3(0.0f, 0.0f, 1.0f);
    return e;
}

TEST(BikeCrash, CollisionsJudgeBikesCountObjectsAndCrashAPinnedBike) {
    Options o(TRACKTYPE_OUTDOOR, 0x600000);
    LoneBikes lone;
    KineticBike::numOfTotalRacers = 3;
    KineticBike* cpu0 = lone.Build(0, true);
    KineticBike* cpu1 = lone.Build(1, true);
    KineticBike* human = lone.Build(2, false);
    for (KineticBike* k : {cpu0, cpu1, human}) Ready(k);
    cpu1->position = cpu0->ground.bikePos + qzVector3d(0.0f, 100.0f, 0.0f);  // landing on it from above
    cpu0->collisionHandler(cpu1, Contact(cpu0, cpu1));
    EXPECT_EQ(cpu0->crash.willCrashFlag, 0) << "two computer bikes flagged each other";
    human->collisionHandler(cpu1, Contact(human, cpu1));
    EXPECT_EQ(human->crash.willCrashFlag, 1);
    human->collide();
    EXPECT_EQ(human->crash.crashState, 2u);

    CModelObject bale;
    for (int hit = 1; hit <= 5; ++hit) {
        EXPECT_EQ(cpu0->crash.crashState, 0u) << "hit " << hit;
        cpu0->crash.collidedCounter = 40;
        cpu0->collisionHandler(&bale, Contact(cpu0, nullptr));
    }
    EXPECT_EQ(cpu0->crash.crashState, 2u);
    EXPECT_EQ(cpu0->crash.crashType, 2u);

    Ready(cpu1);
    cpu1->crash.collisionObjectCounter = 1;
    cpu1->input.bikePacket = 1u << BIKEACTION_ACCEL;
    int steps = 0;
    while (cpu1->crash.crashState == 0 && steps < 100) {
        cpu1->collide();
        ++steps;
    }
    EXPECT_EQ(steps, 61);
    EXPECT_EQ(cpu1->crash.crashType, 2u);  // asked as 3; the pending object collision makes it 2

    gameOptions.gameOptions = 0;
    Ready(cpu1);
    cpu1->crash.willCrashFlag = 1;
    cpu1->crash.collidedCounter = 0;
    for (int i = 0; i < 100; ++i) cpu1->collide();
    EXPECT_EQ(cpu1->crash.crashState, 0u) << "crashed with the collision options off";
}

TEST(BikeCrash, GroundTestScoresImpactsForcedPitchesAndHillsides) {
    LoneBikes lone;
    KineticBike* b = lone.Build();
    auto prepare = [&](float stability) {
        Ready(b);
        b->attributes.stability = stability;
        b->air.changeInVelCounter = 1;
        b->crash.movingForward = 0;
        b->status.flags = 0;
        b->air.crashLand = 0;
        b->ground.wheelNormVec[0] = b->ground.wheelNormVec[1] = qzVector3d(0.0f, -1.0f, 0.0f);
        b->frame.lastLinearVelocity = qzVector3d();
        b->ground.distToGround[0] = b->ground.distToGround[1] = 10.0f;
    };
    for (TrackType track : {TRACKTYPE_OUTDOOR, TRACKTYPE_BAJA}) {
        Options o(track, 0);
        prepare(0.95f);
        b->status.flags = bit(BIKE_LAND);
        b->frame.lastLinearVelocity = qzVector3d(0.0f, 32.4074f, 0.0f);
        b->groundCrash();
        EXPECT_NEAR(b->air.landingImpactScale, 1.0f, 1e-5f);
        EXPECT_EQ(b->crash.crashState, track == TRACKTYPE_BAJA ? 0u : 2u);
    }
    for (float pitch : {-76.0f, 81.0f}) {
        prepare(5.0f);
        b->air.crashLand = 1;
        b->ground.lastBikePitch[3] = pitch;
        b->groundCrash();
        EXPECT_EQ(b->crash.crashState, 2u) << pitch;
        b->ground.lastBikePitch[3] = 0.0f;
    }
    prepare(5.0f);
    b->ground.wheelNormVec[0] = b->frame.fRightDir;
    b->crash.sideOfSteepHillCounter = 0;
    for (int i = 1; i <= 11; ++i) {
        EXPECT_EQ(b->crash.crashState, 0u) << i;
        b->groundCrash();
    }
    EXPECT_EQ(b->crash.crashState, 2u);
}

TEST(BikeCrash, WorldEdgeTeleportsOrThrowsAndTumblingIsLimited) {
    {
        Options o(TRACKTYPE_OUTDOOR, 0);
        BikeWorld w(FirstTrack(TrackKind::Outdoor), 1);
        KineticBike* b = w.AddBike(0, false);
        b->reset.safePos[0] = b->position;
        b->ground.bikePos = qzVector3d(100.0f, 0.0f, 100.0f);
        b->checkForWorldEdgeCrash();
        EXPECT_EQ(b->crash.crashState, 0u);
        EXPECT_EQ(b->position.x, b->reset.safePos[0].x);
        Options baja(TRACKTYPE_BAJA, 0);
        b->ground.bikePos = qzVector3d(100.0f, 0.0f, 100.0f);
        b->checkForWorldEdgeCrash();
        b->checkForWorldEdgeCrash();
        EXPECT_EQ(b->crash.crashState, 1u);
        EXPECT_EQ(b->crash.crashType, 4u);
        EXPECT_GT(b->crash.preCrashVelocity.x, 0.0f);  // toward the centre
        EXPECT_LT(b->crash.preCrashVelocity.y, 0.0f);  // and up
    }
    {
        // A freestyle arena has no racing line: the bike goes to the newest safe place away from the
        // edge, not to the reset place it has never been given (the world's corner), facing the centre.
        Options o(TRACKTYPE_FREESTYLE, 0);
        BikeWorld w(FirstTrack(TrackKind::Freestyle), 1);
        KineticBike* b = w.AddBike(0, false);
        const qzVector3d start = b->reset.startPosition = b->position;
        const qzVector3d centre = w.world->getWorldCenter();
        const qzVector3d atEdge(300.0f, 0.0f, centre.z), inside(3000.0f, 0.0f, centre.z);
        for (int k = 0; k < 30; ++k) b->reset.safePos[k] = k == 0 ? atEdge : inside;
        b->reset.crashResetPos = qzVector3d();
        b->ground.bikePos = qzVector3d(100.0f, 0.0f, centre.z);
        b->checkForWorldEdgeCrash();
        EXPECT_EQ(b->crash.crashState, 0u);
        EXPECT_NEAR(b->position.x, inside.x, 1.0f);
        EXPECT_NEAR(b->position.z, inside.z, 1.0f);
        EXPECT_NEAR(b->reset.crashResetDir.x, 1.0f, 1e-5f);  // toward the centre
        // With the whole trail at the edge, where it started.
        for (qzVector3d& p : b->reset.safePos) p = atEdge;
        b->ground.bikePos = qzVector3d(100.0f, 0.0f, centre.z);
        b->checkForWorldEdgeCrash();
        EXPECT_NEAR(b->position.x, start.x, 1.0f);
        EXPECT_NEAR(b->position.z, start.z, 1.0f);
        // With the start at the edge too, the world centre.
        b->reset.startPosition = atEdge;
        b->ground.bikePos = qzVector3d(100.0f, 0.0f, centre.z);
        b->checkForWorldEdgeCrash();
        EXPECT_NEAR(b->position.x, centre.x, 1.0f);
        EXPECT_NEAR(b->position.z, centre.z, 1.0f);
        b->reset.startPosition = start;
        // A crash that came to rest at the edge is not put back there.
        b->reset.safePos[3] = inside;
        b->crash.crashState = 4;
        b->crash.crashType = 0;
        b->ground.levelGround = 1;
        b->ground.bikePos = atEdge;
        b->crashUpdate();
        EXPECT_NEAR(b->position.x, inside.x, 1.0f);
        EXPECT_FALSE(w.world->checkNearEdgeOfWorld(b->position));
    }
    LoneBikes lone;
    KineticBike* b = lone.Build();
    Kinetic::RigidBody* body = b->crashBike.get();
    b->crash.crashState = 3;
    b->crash.crashCounter = 0;
    body->m_angularVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    b->dampenCrashVelocity(body);
    EXPECT_NEAR(body->m_angularVelocity.dot(bikecrash::toKinetic(b->frame.forwardDir)), 9.25926f, 1e-4f);
    struct Case {
        uint32_t c;
        float cap, friction;
    } cases[] = {{60, 10.0f / 2.16f, 1.0f}, {120, 7.5f / 2.16f, 1.0f}, {180, 5.0f / 2.16f, 0.75f}};
    for (const Case& k : cases) {
        b->crash.crashCounter = k.c;
        body->m_angularVelocity =
            bikecrash::toKinetic((b->frame.forwardDir - b->frame.upDir + b->frame.rightDir) * 50.0f);
        b->dampenCrashVelocity(body);
        const Kinetic::Vector3 w = body->m_angularVelocity;
        EXPECT_NEAR(w.dot(bikecrash::toKinetic(b->frame.forwardDir)), k.cap, 1e-4f) << k.c;
        EXPECT_NEAR(w.dot(bikecrash::toKinetic(b->frame.upDir)), -k.cap, 1e-4f) << k.c;
        EXPECT_NEAR(body->m_friction, k.friction, 1e-6f) << k.c;
    }
}

}  // namespace

namespace {

TEST(BikeJump, LandingHoldFactorByAirTimeAndNoTimeToLandFarFromATakeOff) {
    LoneBikes lone;
    KineticBike* b = lone.Build();
    b->attributes.landingSpeedRecoveryJumps = 0.9f;
    b->attributes.landingSpeedRecoveryWhoops = 0.6f;
    for (uint32_t air : {20u, 21u}) {
        b->air.inAir = 1;
        b->air.framesInAir = air;
        b->air.landingSpeedCounter = 6;
        b->ground.wheelInfo[1].m_isInContact = true;
        b->chassis->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 10.0f);
        b->landSpeed();
        EXPECT_NEAR(b->chassis->m_linearVelocity.length(), air >= 21 ? 9.0f : 6.0f, 1e-4f) << air;
    }
    CRamps::resetStatics();
    RampPair pair{};
    pair.takeoff = qzVector3d(0.0f, 0.0f, 0.0f);
    pair.landing = qzVector3d(0.0f, 0.0f, 3000.0f);
    CRamps::getInstance()->jumpRampPairSets.push_back(pair);
    b->air.inAir = 0;
    b->linearVelocity = b->frame.fForwardDir * 20.0f;
    for (float z : {999.0f, 1001.0f}) {
        b->ground.bikePos = qzVector3d(0.0f, 0.0f, z);
        const float t = b->getTimeToLand();
        EXPECT_EQ(t > 0.0f, z < 1000.0f) << z;
    }
    CRamps::resetStatics();
}

// A bike held still on a flat take-off: the preload button pressed for `hold` steps, released, the
// take-off `wait` steps after the release at `speed` m/s; the report of the step that decides.
TEST(BikeJump, PreloadLaunchesOnlyFromItsWindowAtFiftyKmhOrMore) {
    Options o(TRACKTYPE_OUTDOOR, 0);
    LoneBikes lone;
    KineticBike* b = lone.Build();
    struct Case {
        uint32_t hold, wait;
        float speed;
        uint32_t report;
        int steps;  // steps after the release until the report (-1: decided while held)
    } cases[] = {
        {10, 0, 20.0f, 2, 0},    {13, 0, 13.8889f, 1, 0}, {120, 45, 13.8889f, 1, 45},
        {120, 46, 20.0f, 2, 46}, {121, 0, 20.0f, 2, -1},  {60, 0, 13.6111f, 2, 46},
    };
    for (const Case& c : cases) {
        b->air.preLoadWaitDelay = b->air.preLoadPressedCounter = b->air.preLoadJumpCounter = 0;
        b->air.preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
        b->air.preLoadJump = 0;
        b->air.framesInAir = 0;
        b->ground.wheelInfo[0].m_isInContact = b->ground.wheelInfo[1].m_isInContact = true;
        b->ground.lastTerrainType = 0;
        b->frame.linearVelocityMag = c.speed;
        uint32_t report = 0;
        int steps = -1;
        b->input.bikePacket = 1u << BIKEACTION_PRELOAD;
        for (uint32_t k = 0; k < c.hold && report == 0; ++k) {
            b->preLoad();
            report = b->air.preLoadReportState;
        }
        b->input.bikePacket = 0;
        for (int k = 0; k < 100 && report == 0; ++k) {
            if (k >= static_cast<int>(c.wait)) b->ground.lastTerrainType = preload2;  // on the lip
            b->preLoad();
            report = b->air.preLoadReportState;
            steps = k;
        }
        EXPECT_EQ(report, c.report) << c.hold << " " << c.wait << " " << c.speed;
        EXPECT_EQ(steps, c.steps) << c.hold << " " << c.wait << " " << c.speed;
    }
}

// A bike at 120 km/h along the line on a skill ramp with the assist rolled is set to 110 km/h there,
// then on leaving the ramp to 29.489 m/s when it climbs at 7 degrees or more (else it keeps its speed).
TEST(BikeJump, SkillRampSetsTheTakeOffSpeedsAlongTheTravel) {
    Options o(TRACKTYPE_OUTDOOR, 0);
    LoneBikes lone;
    KineticBike* b = lone.Build();
    CQZSpline& way = CSplineManager::getSplineManager()->spline(CSplineManager::WayPoint);
    ASSERT_TRUE(way.SetMaxNumPoints(3));
    for (int i = 0; i <= 2; ++i) ASSERT_TRUE(way.AddPoint(5000.0f * i, 0.0f, 0.0f, 1.0f));
    ASSERT_TRUE(way.MakeCurrentPointsIntoSpline());
    CRamps::resetStatics();
    RampPair pair{};
    pair.landing = qzVector3d(4000.0f, 0.0f, 0.0f);
    pair.wayTime = 5000.0f;
    CRamps::getInstance()->jumpRampPairSets.push_back(pair);
    const struct { float climb, after; } cases[] = {{15.0f, 29.489f}, {5.0f, 30.5556f}};
    for (const auto& c : cases) {
        b->attributes.jumpSpeedPercent = 100;
        b->input.bikePacket = 1u << BIKEACTION_ACCEL;
        b->status.flags = 0;
        b->ride.nitroState = NO_NITRO;
        b->air.jumpConsistencyAssist = b->air.jumpAssist = 0;
        b->air.framesInAir = 0;
        b->laps.curWayTime = 5000.0f;
        b->ground.bikePos = qzVector3d();
        b->frame.forwardDir = b->frame.fForwardDir = qzVector3d(1.0f, 0.0f, 0.0f);
        const float r = c.climb * 0.0174533f;
        const Kinetic::Vector3 n(std::cos(r), -std::sin(r), 0.0f);  // up is -y
        b->chassis->m_linearVelocity = n * 33.3333f;
        b->frame.linearVelocityMag = 33.3333f;
        b->ground.lastTerrainType = 0;
        b->ground.terrainType = jump_skill2;
        b->jumpSpeed();
        Kinetic::Vector3 v = b->chassis->m_linearVelocity;
        EXPECT_NEAR(v.length(), 30.5556f, 1e-3f) << c.climb;
        EXPECT_NEAR(v.dot(n), v.length(), 1e-3f) << c.climb;
        b->ground.lastTerrainType = jump_skill2;
        b->ground.terrainType = 0;
        b->air.framesInAir = 1;
        b->frame.linearVelocityMag = v.length();
        b->jumpSpeed();
        v = b->chassis->m_linearVelocity;
        EXPECT_NEAR(v.length(), c.after, 1e-4f) << c.climb;
        EXPECT_EQ(b->air.jumpSpeedTarget, 29.489f) << c.climb;  // the flight's target, met or not
        EXPECT_NEAR(v.dot(n), v.length(), 1e-3f) << c.climb;
    }
    CRamps::resetStatics();
    CSplineManager::cleanUp();
}

// The in-air assist's extra gravity stays within one gravity either way, however far the bike is from
// the path that meets the landing: (height above the landing m, upward speed m/s, sign of the pull).
TEST(BikeJump, InAirExtraGravityStaysWithinOneGravity) {
    LoneBikes lone;
    KineticBike* b = lone.Build();
    RampPair pair{};
    pair.landing = qzVector3d(2000.0f, 0.0f, 0.0f);
    const struct {
        float height, up;
        int sign;
    } cases[] = {{10.0f, 10.0f, 1}, {-5.0f, -10.0f, -1}, {5.0f, 0.0f, -1}, {50.0f, 30.0f, 1}};
    for (const auto& c : cases) {
        b->air.rampPair = &pair;
        b->air.jumpConsistencyPending = 0;
        b->air.jumpConsistencyPendingCounter = 0;
        b->air.jumpConsistencyAssist = b->air.jumpConsistencyOverHalf = 1;
        b->air.jumpConsistencyExtraGravityFilter = CFilter();
        b->air.jumpConsistencyDir = qzVector3d(1.0f, 0.0f, 0.0f);
        b->frame.fUpDir = qzVector3d(0.0f, -1.0f, 0.0f);
        b->ground.wheelInfo[0].m_isInContact = b->ground.wheelInfo[1].m_isInContact = false;
        b->ground.bikePos = qzVector3d(0.0f, -100.0f * c.height, 0.0f);
        b->linearVelocity = qzVector3d(20.0f, -c.up, 0.0f);
        float peak = 0.0f;
        for (int k = 0; k < 60; ++k) {
            b->inAirAdjust();
            const float g = b->air.jumpConsistencyExtraGravity;
            EXPECT_LE(std::fabs(g), 15.1074f) << c.height << " " << c.up;
            peak = std::fabs(g) > std::fabs(peak) ? g : peak;
        }
        EXPECT_GT(peak * static_cast<float>(c.sign), 1.0f) << c.height << " " << c.up;
    }
}

}  // namespace
