// A race can be simulated without drawing: eight scripted bikes on a generated outdoor track jump and
// land, crash through the whole cycle and are put back on the track, cross every checkpoint and count
// their laps with lap times; the same script gives the same state after every step.
#include <gtest/gtest.h>

#include <memory>

#include "../support/bike_race.h"

namespace {

using namespace biketest;

TEST(BikeRace, EightScriptedBikesJumpCrashRecoverAndCountLapsTheSameEachRun) {
    auto race_ = std::make_unique<RaceSim>();
    RaceSim& race = *race_;
    ASSERT_TRUE(race.driver->attached);
    ASSERT_GT(race.checkpoints, 0u);
    const int kSteps = 60 * 150;
    int takeOffs = 0, landings = 0, recoveries = 0, offTrackResets = 0;
    std::vector<uint32_t> lastState(RaceSim::kRacers, 0);
    for (int s = 0; s < kSteps; ++s) {
        race.Step();
        for (unsigned i = 0; i < RaceSim::kRacers; ++i) {
            const KineticBike* b = race.driver->bikes[i];
            takeOffs += (b->flags >> BIKE_TAKEOFF) & 1u;
            landings += (b->flags >> BIKE_LAND) & 1u;
            if (lastState[i] == 5 && b->crashState == 0) {
                ++recoveries;
                const unsigned code =
                    CTerrainType::getInstance()->getTypeAtPoint(b->position.x, b->position.z);
                offTrackResets += OnTrack(code) ? 0 : 1;
            }
            lastState[i] = b->crashState;
        }
    }
    EXPECT_GT(takeOffs, 8);
    EXPECT_GT(landings, 8);
    EXPECT_GE(recoveries, 1) << "the bad lander never went through a crash";
    EXPECT_EQ(offTrackResets, 0);
    for (const KineticBike* b : race.driver->bikes) {
        EXPECT_GE(b->curLap, 1) << "bike " << b->bikeIndex;
        if (b->curLap >= 1) {
            EXPECT_GT(b->bikeStats.lapTimes[0], 30.0f) << "bike " << b->bikeIndex;
        }
    }

    const std::vector<uint64_t> first = race.hashes;
    race_.reset();  // one race at a time: the model is the program's
    RaceSim again;
    for (int s = 0; s < kSteps; ++s) again.Step();
    ASSERT_EQ(again.hashes.size(), first.size());
    for (size_t s = 0; s < first.size(); ++s) ASSERT_EQ(again.hashes[s], first[s]) << "step " << s;
}

}  // namespace
