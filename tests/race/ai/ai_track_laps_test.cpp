// A computer rider on every sample world with laps, with the full bike physics: from the grid through
// one whole lap it enters the checkpoint bands one after another in lap order, never a band beyond the
// one it has to take next, and its way time never stands still for long.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ai_race.h"
#include "support/log_capture.h"

TEST(AITrackLaps, TheRacingLinesTakeEveryCheckpointInOrderOnEveryWorld) {
    constexpr int kStillFrames = 10 * 30;  // 10 s at the race's 30 AI frames a second
    int worlds = 0;
    for (const TrackSpec& spec : TrackSpecs()) {
        if (spec.kind == TrackKind::Freestyle) continue;
        // The difficulties (and their racing lines) in turn from world to world.
        for (int difficulty = 1 + worlds++ % 3;;) {
            SCOPED_TRACE(std::string(spec.name) + " difficulty " + std::to_string(difficulty));
            aitest::AIRace race(spec, difficulty, 1);
            ASSERT_TRUE(race.ok);
            KineticBike* bike = race.bikes[0];
            const CTerrainType* terrain = CTerrainType::getInstance();
            const size_t count = race.world.design.checkpoints.size();
            ASSERT_GE(count, 6u);
            // The grid lies behind the line: the lap counted from the first crossing is the one ridden.
            std::vector<unsigned> entered;
            unsigned last = 255;
            int skipped = 0, longestStill = 0, still = 0;
            float way = bike->curWayTime;
            const int limit = 30 * 240;
            while (race.logs[0].lapFrames.size() < 2 && race.frames < limit) {
                race.Frame();
                const unsigned c = terrain->getCheckPoint(bike->position.x, bike->position.z);
                // Leaving a band for a moment (a hop) and coming back is one entry.
                if (c != 255 && c != last && !race.logs[0].lapFrames.empty() &&
                    (entered.empty() || entered.back() != c))
                    entered.push_back(c);
                if (c != 255 && c > bike->currentCheckPoint) ++skipped;
                last = c;
                still = bike->curWayTime == way ? still + 1 : 0;
                longestStill = std::max(longestStill, still);
                way = bike->curWayTime;
            }
            ASSERT_EQ(race.logs[0].lapFrames.size(), 2u)
                << "the lap was not finished in " << limit / 30 << " s";
            EXPECT_EQ(skipped, 0) << "frames on a band beyond the next checkpoint";
            std::vector<unsigned> inOrder(count);
            for (size_t k = 0; k < count; ++k) inOrder[k] = unsigned(k);
            EXPECT_EQ(entered, inOrder);
            EXPECT_LT(longestStill, kStillFrames) << "the way time stood still";
            break;
        }
    }
    EXPECT_EQ(worlds, 21);
}

// A racer whose way time stands still for 10 s of bike steps is named in the log once; one that moves
// again is watched afresh.
TEST(AITrackLaps, AWayTimeStandingStillIsReportedOnce) {
    aitest::AIRace race(biketest::FirstTrack(TrackKind::Outdoor), 2, 1, 1);
    KineticBike* stopped = race.Park(6000.0f, CSplineManager::MedOne);
    CAIInterface watch;
    watch.decisionMaker.bikeID = biketest::BikeWorld::IdOf(stopped);
    stopped->curWayTime = 6000.0f;
    testsupport::LogCapture log;
    const uint32_t start = stopped->frameCountForMessage;
    while (stopped->frameCountForMessage - start < CAIInterface::kStillReportSteps - 2) {
        race.Frame();
        watch.advanceWayPos(*stopped);
    }
    EXPECT_FALSE(log.has("Way time stands still")) << log.text();
    for (int f = 0; f < 400; ++f) {
        race.Frame();
        watch.advanceWayPos(*stopped);
    }
    EXPECT_EQ(log.count("Way time stands still: bike "), 1) << log.text();
    EXPECT_TRUE(log.has("at 6000 for 10 s")) << log.text();
    // Moved on: the watch starts again.
    stopped->curWayTime = 6500.0f;
    watch.advanceWayPos(*stopped);
    for (int f = 0; f < 320; ++f) {
        race.Frame();
        watch.advanceWayPos(*stopped);
    }
    EXPECT_EQ(log.count("Way time stands still: bike "), 2) << log.text();
    EXPECT_TRUE(log.has("at 6500 for 10 s")) << log.text();
}
