// Computer riders racing on a generated outdoor track with nobody at the pad.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>

#include "race/ai/ai_modules.h"

#include "support/ai_race.h"

TEST(AIRace, SevenRidersFinishThreeLapsStuntAndPreloadAtEachDifficulty) {
    constexpr int kLaps = 3, kMaxFrames = 30 * 60 * 8;
    double throttle[4] = {}, meanLap[4] = {};
    int stunts = 0;
    std::set<int> stuntIds;  // the stunts the riders set out to play in the air
    for (int difficulty = 1; difficulty <= 3; ++difficulty) {
        aitest::AIRace race(biketest::FirstTrack(TrackKind::Outdoor), difficulty, 7);
        ASSERT_TRUE(race.ok);
        auto done = [&] {
            for (const aitest::RacerLog& l : race.logs)
                if (int(l.lapFrames.size()) <= kLaps) return false;
            return true;
        };
        long accel = 0, sent = 0;
        const int stuntsBefore = stunts;
        while (!done() && race.frames < kMaxFrames) {
            race.Frame();
            for (const auto& a : race.ai)
                if (auto* s = dynamic_cast<CAIStuntDM*>(a->decisionMaker.decisionModules[2].get());
                    s && s->airTime > 0)
                    stuntIds.insert(s->airType);
            // What the riders hold on the throttle, from the bike controllers' last packets.
            for (const auto& a : race.ai) accel += a->bikeControl.analogControl[4], ++sent;
        }
        throttle[difficulty] = double(accel) / double(sent);
        double mean = 0.0;
        std::printf("difficulty %d lap times (s):", difficulty);
        for (const aitest::RacerLog& l : race.logs) {
            ASSERT_GT(l.lapFrames.size(), size_t(kLaps)) << "difficulty " << difficulty;
            // Laps counted from the first crossing of the line (the grid lies behind it).
            for (int k = 1; k <= kLaps; ++k) {
                const double t = (l.lapFrames[size_t(k)] - l.lapFrames[size_t(k - 1)]) / 30.0;
                mean += t / (7 * kLaps);
                std::printf(" %.1f", t);
            }
            stunts += l.stuntPackets;
            // Preload is pressed on the disc's preload patches before the jumps and nowhere else.
            EXPECT_GT(l.preloadOnPatch, 0) << "difficulty " << difficulty;
            EXPECT_EQ(l.preloadPackets, l.preloadOnPatch) << "difficulty " << difficulty;
        }
        meanLap[difficulty] = mean;
        std::printf("; mean %.2f s, throttle %.1f, %d stunts, %zu kinds so far\n", mean, throttle[difficulty],
                    stunts - stuntsBefore, stuntIds.size());
    }
    EXPECT_GT(stunts, 0);
    EXPECT_GE(stuntIds.size(), 5u) << "the jumps' air time leaves room for several different stunts";
    EXPECT_GT(throttle[3], throttle[1]);
    EXPECT_LT(meanLap[3], meanLap[1]) << "the hardest riders lap faster on average";
}

TEST(AIRace, RiderSwervesPastAStoppedBikeOnItsLine) {
    aitest::AIRace race(biketest::FirstTrack(TrackKind::Outdoor), 2, 1, 1);
    KineticBike* stopped = race.Park(6000.0f, CSplineManager::MedOne);
    const qzVector3d at = stopped->position;
    KineticBike* rider = race.bikes[0];
    float closest = 1e9f;
    bool swerved = false;
    while (race.frames < 30 * 20 && !(rider->laps.curLap == 1 && rider->laps.curWayTime > 8000.0f)) {
        race.Frame();
        closest = std::fmin(closest, std::hypot(rider->position.x - at.x, rider->position.z - at.z));
        swerved |= race.ai[0]->decisionMaker.bAltLine != 0;
    }
    EXPECT_GT(rider->laps.curWayTime, 8000.0f) << "the rider got past";
    EXPECT_TRUE(swerved);
    EXPECT_GT(closest, 150.0f);
    EXPECT_LT(std::hypot(stopped->position.x - at.x, stopped->position.z - at.z), 50.0f) << "not hit";

    // A way time that never wraps counts one lap at most.
    race.ai[0]->bLapped = 0;
    const int lap = stopped->laps.curLap;
    for (int k = 0; k < 5; ++k) race.ai[0]->advanceWayPos(*stopped);
    EXPECT_EQ(stopped->laps.curLap, lap + 1);
}
