// A computer rider on every sample world with laps, with the full bike physics: from the grid through
// one whole lap it enters the checkpoint bands one after another in lap order, never a band beyond the
// one it has to take next, and its way time never stands still for long.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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
            float way = bike->laps.curWayTime;
            const int limit = 30 * 240;
            while (race.logs[0].lapFrames.size() < 2 && race.frames < limit) {
                race.Frame();
                const unsigned c = terrain->getCheckPoint(bike->position.x, bike->position.z);
                // Leaving a band for a moment (a hop) and coming back is one entry.
                if (c != 255 && c != last && !race.logs[0].lapFrames.empty() &&
                    (entered.empty() || entered.back() != c))
                    entered.push_back(c);
                if (c != 255 && c > bike->laps.currentCheckPoint) ++skipped;
                last = c;
                still = bike->laps.curWayTime == way ? still + 1 : 0;
                longestStill = std::max(longestStill, still);
                way = bike->laps.curWayTime;
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
    stopped->laps.curWayTime = 6000.0f;
    testsupport::LogCapture log;
    const uint32_t start = stopped->laps.frameCountForMessage;
    while (stopped->laps.frameCountForMessage - start < CAIInterface::kStillReportSteps - 2) {
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
    stopped->laps.curWayTime = 6500.0f;
    watch.advanceWayPos(*stopped);
    for (int f = 0; f < 320; ++f) {
        race.Frame();
        watch.advanceWayPos(*stopped);
    }
    EXPECT_EQ(log.count("Way time stands still: bike "), 2) << log.text();
    EXPECT_TRUE(log.has("at 6500 for 10 s")) << log.text();
}

namespace {

const TrackSpec& World(const char* name) {
    for (const TrackSpec& s : TrackSpecs())
        if (!std::strcmp(s.name, name)) return s;
    return TrackSpecs().front();
}

// The way time at which the waypoint line enters checkpoint `gate`'s band, searched from `from`.
float GateEntry(int gate, float from) {
    CSplineManager* sm = CSplineManager::getSplineManager();
    for (float t = from; t < from + 20000.0f; t += 1.0f) {
        qzVector3d p, d;
        if (sm->getPoint(t, CSplineManager::WayPoint, p, d) &&
            CTerrainType::getInstance()->getCheckPoint(p.x, p.z) == unsigned(gate))
            return t;
    }
    return -1.0f;
}

}  // namespace

// On i03 a rider thrown wide in the hairpin before gate 3, or riding past the gate beside its band, has
// its way time held at the gate until it goes through; it used to circle the gate's point at racing
// speed for the rest of the race (the point inside its turning circle). It brakes into a turn it can
// make and takes the gate within a few seconds, without being put back on the track.
TEST(AITrackLaps, ARiderPastGateThreeOnI03TurnsBackThroughIt) {
    struct Case {
        float x, z, dirX, speed;  // start position, heading along x (+1 / -1), m/s
    };
    // Beside the band on the infield side and on the outside, and in the infield below the hairpin.
    for (const Case& c : {Case{8600.0f, 11000.0f, 1.0f, 22.0f}, Case{8600.0f, 10800.0f, 1.0f, 26.0f},
                          Case{8600.0f, 13300.0f, 1.0f, 22.0f}, Case{7813.0f, 9689.0f, 1.0f, 26.0f}}) {
        SCOPED_TRACE(std::to_string(c.x) + " " + std::to_string(c.z) + " heading " + std::to_string(c.dirX));
        aitest::AIRace race(World("i03.bin"), 2, 1);
        ASSERT_TRUE(race.ok);
        const float entry = GateEntry(3, 30000.0f);
        ASSERT_GT(entry, 0.0f);
        testsupport::LogCapture log;
        KineticBike* b = race.bikes[0];
        b->setStartPos(qzVector3d(c.x, 0.0f, c.z), qzVector3d(c.dirX, 0.0f, 0.0f));
        b->chassis->m_linearVelocity = Kinetic::Vector3(c.dirX * c.speed, 0.0f, 0.0f);
        b->laps.curWayTime = entry;
        b->laps.currentCheckPoint = 3;
        race.frames = 100;  // the rider is under way
        int frames = 0;
        for (; b->laps.currentCheckPoint == 3 && frames < 30 * 30; ++frames) race.Frame();
        EXPECT_EQ(b->laps.currentCheckPoint, 4u)
            << "still circling at " << b->position.x << " " << b->position.z;
        EXPECT_LT(frames, 5 * 30) << "gate 3 taken after " << frames / 30.0f << " s";
        EXPECT_FALSE(log.has("put back")) << log.text();
    }
}

// A rider whose way time stands still for five seconds of bike steps goes back onto the track at its
// way time's point, once a crash in progress is over; one that moves on is watched afresh, and time
// without bike steps (a paused race) does not count.
TEST(AITrackLaps, ARiderStandingStillIsPutBackOnTheTrack) {
    aitest::AIRace race(biketest::FirstTrack(TrackKind::Outdoor), 2, 1);
    ASSERT_TRUE(race.ok);
    KineticBike* b = race.bikes[0];
    CAIInterface& ai = *race.ai[0];
    testsupport::LogCapture log;
    b->setStartPos(qzVector3d(1000.0f, 0.0f, 1000.0f), qzVector3d(1.0f, 0.0f, 0.0f));
    b->laps.curWayTime = 6000.0f;
    auto steps = [&](uint32_t n, int calls = 1) {
        for (int k = 0; k < calls; ++k) {
            b->laps.frameCountForMessage += n;
            ai.recoverIfStuck(*b);
        }
    };
    steps(0);
    steps(0, 1000);  // paused: AI steps without bike steps
    steps(2, int(CAIInterface::kRecoverSteps / 2) - 1);
    b->crash.crashing = 1;
    steps(2, 30);
    EXPECT_FALSE(log.has("put back")) << log.text();
    b->crash.crashing = 0;
    steps(2);
    EXPECT_EQ(log.count("Rider put back on the track: bike "), 1) << log.text();
    EXPECT_TRUE(log.has("at way time 6000, from x 1000 z 1000")) << log.text();
    qzVector3d p, d;
    ASSERT_TRUE(CSplineManager::getSplineManager()->getPoint(6000.0f, CSplineManager::WayPoint, p, d));
    EXPECT_NEAR(b->position.x, p.x, 1.0f);
    EXPECT_NEAR(b->position.z, p.z, 1.0f);
    // Moving on starts the count again.
    b->laps.curWayTime = 6100.0f;
    steps(4);
    steps(4, int(CAIInterface::kRecoverSteps / 4) - 1);
    EXPECT_EQ(log.count("put back"), 1);
    steps(4);
    EXPECT_EQ(log.count("put back"), 2);
}
