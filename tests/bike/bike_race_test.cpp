// A race can be simulated without drawing: eight scripted bikes with their riders on a generated outdoor
// track take off and land from preloads and assisted ramps, crash on bad landings, collisions and a
// fence hit head-on, through the whole cycle with the rider thrown clear and back on at the reset, are
// put back from the world edge, cross every checkpoint and count their laps with lap times and race
// positions; the same script gives the same state after every step.
#include <gtest/gtest.h>

#include <memory>

#include "../support/bike_race.h"

namespace {

using namespace biketest;

float Distance(const qzVector3d& a, const qzVector3d& b) {
    float d = 0.0f;
    qzMath::qzMathVectorDistance(&d, &a, &b);
    return d;
}

// The scripted events of a race: bike 3 put at the world edge at step 2400; a fence put across the way
// of bike 0 (the human racer) 5 m ahead of it at step 900 and taken away 120 steps later.
constexpr int kEdgeStep = 2400, kFenceStep = 900, kFenceSteps = 120;
constexpr unsigned kPushed = 3;
void Events(RaceSim& race, int s) {
    static CKineticStaticRigidObject* fence = nullptr;
    if (s == kEdgeStep)
        race.driver->bikes[kPushed]->setStartPos(qzVector3d(150.0f, 0.0f, 150.0f),
                                                 qzVector3d(-1.0f, 0.0f, 0.0f));
    if (s == kFenceStep) fence = FenceAcross(race.driver->world, *race.driver->bikes[0], 500.0f);
    if (s == kFenceStep + kFenceSteps) {
        race.driver->world.model->removeObject(fence);
        delete fence;
        fence = nullptr;
    }
}

TEST(BikeRace, EightScriptedBikesJumpCrashRecoverAndCountLapsTheSameEachRun) {
    auto race_ = std::make_unique<RaceSim>();
    RaceSim& race = *race_;
    ASSERT_TRUE(race.driver->attached);
    ASSERT_GT(race.checkpoints, 0u);
    const int kSteps = 60 * 180, kWindow = 120;
    int launched[2] = {}, landed[2] = {};  // preload, assisted
    int recoveries = 0, offTrackResets = 0, thrownClear = 0, riderRested = 0, riderBack = 0;
    bool edgeBack = false;
    uint32_t fenceCrash = 0;  // the crash kind of bike 0 while the fence stands, +1
    std::vector<uint32_t> lastState(RaceSim::kRacers, 0);
    std::vector<int> armed[2] = {std::vector<int>(RaceSim::kRacers, -1),
                                 std::vector<int>(RaceSim::kRacers, -1)};
    std::vector<uint8_t> wasAssisted(RaceSim::kRacers, 0);
    std::vector<float> riderAway(RaceSim::kRacers, 0.0f);
    std::vector<int> firstLapStep(RaceSim::kRacers, -1);
    for (int s = 1; s <= kSteps; ++s) {
        Events(race, s);
        const KineticBike* e = race.driver->bikes[kPushed];
        race.Step();
        const KineticBike* h = race.driver->bikes[0];
        if (s > kFenceStep && s < kFenceStep + kFenceSteps && !fenceCrash && h->crash.crashState != 0)
            fenceCrash = h->crash.crashType + 1;
        if (s == kEdgeStep + 2)
            edgeBack = e->crash.crashState == 0 && e->position.x > 2000.0f &&
                       OnTrack(CTerrainType::getInstance()->getTypeAtPoint(e->position.x, e->position.z));
        for (unsigned i = 0; i < RaceSim::kRacers; ++i) {
            const KineticBike* b = race.driver->bikes[i];
            const CRiderModel* r = race.riders[i];
            // A launch or an assisted ramp counts when the bike takes off and lands within two seconds.
            if (b->air.preLoadReportState == 1 && b->air.preLoadForceCounter == 19) armed[0][i] = s;
            if (b->air.jumpAssist && !wasAssisted[i]) armed[1][i] = s;
            wasAssisted[i] = b->air.jumpAssist;
            for (int k = 0; k < 2; ++k) {
                if (armed[k][i] < 0) continue;
                if (s - armed[k][i] > kWindow) armed[k][i] = -1;
                if (b->status.flags & (1u << BIKE_TAKEOFF)) launched[k] += 1;
                if ((b->status.flags & (1u << BIKE_LAND)) && b->crash.crashState == 0) {
                    landed[k] += 1;
                    armed[k][i] = -1;
                }
            }
            if (b->crash.crashState == 3)
                riderAway[i] = std::max(riderAway[i], Distance(r->position, b->position));
            if (lastState[i] == 3 && b->crash.crashState == 4) {
                // Into a fence the rider is thrown against it, 1.5 m from the bike: that crash is not
                // counted.
                const bool fenced = i == 0 && s < kFenceStep + kFenceSteps + 200;
                thrownClear += riderAway[i] > 150.0f || fenced;
                riderRested += r->rider->m_linearVelocity.length() < 1.0f;
                riderAway[i] = 0.0f;
            }
            if (lastState[i] == 5 && b->crash.crashState == 0) {
                ++recoveries;
                const unsigned code =
                    CTerrainType::getInstance()->getTypeAtPoint(b->position.x, b->position.z);
                offTrackResets += OnTrack(code) ? 0 : 1;
                riderBack +=
                    r->riderState == CRiderModel::kOnBike && Distance(r->position, b->position) < 150.0f;
            }
            lastState[i] = b->crash.crashState;
            if (firstLapStep[i] < 0 && b->laps.curLap == 1) firstLapStep[i] = s;
        }
    }
    EXPECT_GE(launched[0], 2) << "preload launches that took off";
    EXPECT_GE(landed[0], 2);
    EXPECT_GE(launched[1], 4) << "assisted ramps that took off";
    EXPECT_GE(landed[1], 4);
    EXPECT_EQ(fenceCrash, 3u) << "a head-on hit with a fence is an object crash (kind 2)";
    EXPECT_TRUE(edgeBack) << "the bike at the world edge was not put back on the track";
    EXPECT_GE(recoveries, 3);
    EXPECT_EQ(offTrackResets, 0);
    EXPECT_EQ(thrownClear, recoveries) << "a crash left the rider on the bike";
    EXPECT_EQ(riderRested, recoveries) << "a rider still moving at the reset";
    EXPECT_EQ(riderBack, recoveries) << "a reset without the rider back on";

    // Lap times as the race clock saw them (the grid step is the clock's zero), and the positions: the
    // leader has ridden furthest, and every racer has its own place.
    int placed = 0;
    const KineticBike* leader = nullptr;
    for (unsigned i = 0; i < RaceSim::kRacers; ++i) {
        const KineticBike* b = race.driver->bikes[i];
        ASSERT_GE(b->laps.curLap, 1) << "bike " << i;
        EXPECT_NEAR(b->bikeStats.lapTimes[0], static_cast<float>(firstLapStep[i]) / 60.0f, 0.05f) << i;
        placed |= 1 << (b->bikeStats.getRacePosition() - 1);
        if (b->bikeStats.getRacePosition() == 1) leader = b;
    }
    EXPECT_EQ(placed, 0xff);
    ASSERT_NE(leader, nullptr);
    for (const KineticBike* b : race.driver->bikes)
        EXPECT_GE(leader->laps.curLap * 100 + static_cast<int>(leader->laps.currentCheckPoint),
                  b->laps.curLap * 100 + static_cast<int>(b->laps.currentCheckPoint));

    const std::vector<uint64_t> first = race.hashes;
    race_.reset();  // one race at a time: the model is the program's
    RaceSim again;
    for (int s = 1; s <= kSteps; ++s) {
        Events(again, s);
        again.Step();
    }
    ASSERT_EQ(again.hashes.size(), first.size());
    for (size_t s = 0; s < first.size(); ++s) ASSERT_EQ(again.hashes[s], first[s]) << "step " << s;
}

}  // namespace
