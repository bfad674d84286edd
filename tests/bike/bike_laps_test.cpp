// Laps and checkpoints: the checkpoint bands crossed on a step's whole path, in order, at any speed;
// the lap hand-over to the statistics; the speedometer and wheel-offset readings; and two laps of a
// generated outdoor track ridden along the racing line with every checkpoint taken in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../support/bike_driver.h"
#include "../support/log_capture.h"
#include "app/main_loop.h"
#include "bike/bike_laps.h"
#include "bike/components/bike_suspension.h"
#include "game/model/global_time.h"
#include "world/spline_manager.h"
#include "world/subtile_model.h"

namespace {

using namespace biketest;

// A map (9 tiles, the loaded world's grid) with checkpoint bands 0, 1, 2 across z, each `cols` half-unit
// columns deep and 20 columns apart, starting at column 100; the band extents along x in world units
// are probed back from the map.
struct BandMap {
    struct Band {
        float x0 = 1e30f, x1 = -1e30f;  // first and last world x inside
    };
    static std::vector<uint8_t> Codes(int cols) {
        std::vector<uint8_t> codes(size_t(terrainmap::kSide) * terrainmap::kSide, 0);
        for (int k = 0; k < 3; ++k)
            for (uint32_t z = 0; z < terrainmap::kSide; ++z)
                for (int c = 0; c < cols; ++c)
                    codes[z * terrainmap::kSide + uint32_t(100 + k * (cols + 20) + c)] =
                        uint8_t(checkpoint0 + k);
        return codes;
    }
    explicit BandMap(int cols) : image(terrainmap::WriteMap(Codes(cols))) {
        CTerrainType::resetStatics();
        CTerrainType::getInstance()->setPointer(image.p, image.size, 9, CSubtileModel::gridSize);
        for (float x = 0.0f; x < 40000.0f; x += 1.0f) {
            const unsigned c = CTerrainType::getInstance()->getCheckPoint(x, kZ);
            if (c > 2) continue;
            bands[c].x0 = std::min(bands[c].x0, x);
            bands[c].x1 = std::max(bands[c].x1, x);
        }
    }
    ~BandMap() { CTerrainType::resetStatics(); }
    static constexpr float kZ = 500.0f;
    testsupport::HeapImage image;
    Band bands[3];
};

// One step of `bike` from x0 to x1 along the map's row z.
void StepAlong(KineticBike& b, float x0, float x1) {
    b.laps.lastPos = qzVector3d(x0, 0.0f, BandMap::kZ);
    b.ground.bikePos = qzVector3d(x1, 0.0f, BandMap::kZ);
    b.checkPoint();
}

TEST(BikeLapsTest, CheckpointsOnTheWholePathOfAStepAreTakenInOrder) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    driver.Add(Script({}));
    KineticBike& b = *driver.bikes[0];
    const float g = static_cast<float>(CSubtileModel::gridSize);
    ASSERT_GT(g, 0.0f);
    // Bands a grid cell deep (half-unit columns are g / 2 / scale wide).
    const int cols = std::max(1, int(2.0f * terrainmap::TileScale(9) + 0.5f));
    BandMap map(cols);
    for (const BandMap::Band& band : map.bands) ASSERT_LT(band.x0, band.x1);
    const BandMap::Band* bd = map.bands;
    const float depth = bd[0].x1 - bd[0].x0 + 1.0f;
    struct Case {
        const char* name;
        std::vector<std::pair<float, float>> steps;
        uint32_t expected;
    };
    const float gap = bd[1].x0 - bd[0].x1;
    const Case cases[] = {
        // Slow steps, a tenth of a cell each, through all three bands.
        {"crawling", {}, 3},
        // Two band depths in one step, the band strictly between the ends, its near edge past the first
        // quarter of the path.
        {"two depths over band 0", {{bd[0].x0 - 0.5f * depth - 1.0f, bd[0].x0 + 1.5f * depth - 1.0f}}, 1},
        // Top speed and beyond: one step over all three bands.
        {"one step over all", {{bd[0].x0 - 3.0f * g, bd[2].x1 + 3.0f * g}}, 3},
        // Backwards over band 1 before 0 is taken: nothing.
        {"band 1 first", {{bd[1].x1 + 0.5f * gap, bd[1].x0 - 0.5f * gap}}, 0},
        // Sitting in band 0 for several steps takes it once.
        {"standing in band 0", {{bd[0].x0 + 1.0f, bd[0].x0 + 1.0f}, {bd[0].x0 + 1.0f, bd[0].x0 + 2.0f}}, 1},
    };
    for (const Case& c : cases) {
        b.laps.currentCheckPoint = 0;
        std::vector<std::pair<float, float>> steps = c.steps;
        if (steps.empty())
            for (float x = bd[0].x0 - g; x < bd[2].x1 + g; x += 0.1f * g) steps.emplace_back(x, x + 0.1f * g);
        for (const auto& [x0, x1] : steps) StepAlong(b, x0, x1);
        EXPECT_EQ(b.laps.currentCheckPoint, c.expected) << c.name;
        EXPECT_EQ(b.laps.lastPos.x, steps.back().second) << c.name;
    }

    // Crossing 0, then 2, then 1: 2 is reported missed (a human bike only), 1 then advances to 2.
    for (const bool cpu : {false, true}) {
        testsupport::LogCapture log;
        b.isCPU = cpu;
        b.laps.currentCheckPoint = 0;
        b.laps.trackToHudMissedCheckPoint = 0;
        const float in0 = bd[0].x0 + 1.0f, in1 = bd[1].x0 + 1.0f, in2 = bd[2].x0 + 1.0f;
        StepAlong(b, in0, in0);
        EXPECT_EQ(b.laps.trackToHudMissedCheckPoint, bikelaps::kHudCheckPointTaken);
        StepAlong(b, in2, in2);
        EXPECT_EQ(b.laps.currentCheckPoint, 1u);
        EXPECT_EQ(log.has("Missed checkpoint: 1, at 2\n"), !cpu);
        EXPECT_EQ(b.laps.trackToHudMissedCheckPoint,
                  cpu ? bikelaps::kHudCheckPointTaken : bikelaps::kHudCheckPointMissed);
        StepAlong(b, in1, in1);
        EXPECT_EQ(b.laps.currentCheckPoint, 2u);
        EXPECT_EQ(b.laps.trackToHudOffTrack, bikelaps::kHudOnTrack);
    }
}

// Off-track codes 59 to 107 and 126 mark the bike off the track, except while it crashes.
TEST(BikeLapsTest, OffTrackCodesMarkTheBike) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    driver.Add(Script({}));
    KineticBike& b = *driver.bikes[0];
    const struct {
        uint8_t code;
        uint32_t crashState;
        uint8_t off;
    } rows[] = {{58, 0, 0}, {59, 0, 1}, {107, 0, 1}, {108, 0, 0}, {126, 0, 1}, {0, 0, 0}, {80, 2, 0}};
    for (const auto& r : rows) {
        UniformMap map(r.code);
        b.crash.crashState = r.crashState;
        b.laps.isOffTrack = 1 - r.off;
        StepAlong(b, 1000.0f, 1000.0f);
        EXPECT_EQ(b.laps.isOffTrack, r.off) << int(r.code) << " crash state " << r.crashState;
    }
    b.crash.crashState = 0;
}

TEST(BikeLapsTest, LapsReadingsAndWheelOffsets) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    driver.Add(Script({}));
    KineticBike& b = *driver.bikes[0];
    testsupport::LogCapture log;
    // Lap 0 only sets the lap.
    b.laps.currentCheckPoint = 3;
    b.setCurLap(0);
    EXPECT_EQ(b.laps.curLap, 0);
    EXPECT_EQ(b.laps.currentCheckPoint, 3u);
    EXPECT_EQ(b.bikeStats.currentLapCount, 0);
    EXPECT_TRUE(log.text().empty());
    // Laps 1 .. duration: each is recorded with its time and restarts the checkpoints; the last one
    // finishes the race.
    const int32_t savedDuration = gameOptions.duration;
    gameOptions.duration = 2;
    b.bikeStats.raceTime = 150.5f;
    const float unfinished = b.bikeStats.finishTime;
    const float lapTimes[] = {61.25f, 59.5f};
    for (int lap = 1; lap <= 2; ++lap) {
        b.laps.currentCheckPoint = 3;
        b.bikeStats._currentLapTime = lapTimes[lap - 1];
        b.setCurLap(lap);
        EXPECT_EQ(b.laps.curLap, lap);
        EXPECT_EQ(b.laps.currentCheckPoint, 0u);
        EXPECT_EQ(b.bikeStats.currentLapCount, lap);
        EXPECT_EQ(b.bikeStats.lapTimes[lap - 1], lapTimes[lap - 1]);
        EXPECT_EQ(b.bikeStats.finishTime, lap == 2 ? 150.5f : unfinished) << lap;
    }
    gameOptions.duration = savedDuration;
    // Whole minutes, then the seconds left printed as "%2.2f".
    EXPECT_TRUE(log.has("********LAP Time 61.250000\n********Time 1.1.25\n")) << log.text();
    EXPECT_TRUE(log.has("********Time 0.59.50\n")) << log.text();

    // Speedometer: 0 while crashing and for 30 steps after a placing, then it eases toward the speed.
    b.speedScale = 1.0f;
    b.air.inAir = 0;
    b.crash.movingForward = 1;
    b.frame.linearVelocityMag = 10.0f;
    const struct {
        uint32_t crashState, postCrash;
        bool reads;
    } rows[] = {{1, 100, false}, {0, 29, false}, {0, 30, true}};
    for (const auto& r : rows) {
        b.ride.speedometerFilter = CFilter{};
        b.crash.crashState = r.crashState;
        b.crash.postCrashCounter = r.postCrash;
        float v = 0.0f;
        for (int i = 0; i < 300; ++i) v = b.getSpeedometerReading();
        EXPECT_NEAR(v, r.reads ? 1000.0f : 0.0f, 1.0f) << r.crashState << " " << r.postCrash;
    }
    b.crash.crashState = 0;
    b.ride.speedometerFilter = CFilter{};
    EXPECT_LT(b.getSpeedometerReading(), 1.0f) << "the filter starts from rest";

    // Wheel offsets: 8 with the suspension locked; otherwise they grow with the compression, the back
    // wheel's faster.
    b.crash.lockSuspension = 1;
    EXPECT_EQ(b.getFrontWheelSuspensionCompression(), 8.0f);
    EXPECT_EQ(b.getBackWheelSuspensionCompression(), 8.0f);
    b.crash.lockSuspension = 0;
    auto* sus = static_cast<Kinetic::CBikeSuspension*>(b.m_suspension);
    ASSERT_GE(sus->suspensionCurrentLength.size(), 2u);
    sus->suspensionRestLength = {0.5f, 0.5f};
    sus->suspensionCurrentLength = {0.4f, 0.4f};
    EXPECT_NEAR(b.getFrontWheelSuspensionCompression(), -8.0f, 1e-3f);
    EXPECT_NEAR(b.getBackWheelSuspensionCompression(), -2.5f, 1e-3f);
}

// The race and lap clocks are the game clock: after n model steps it reads n x 0.01667 s summed in single
// precision (n / 60 runs 0.02 % slow), and a step's update reads the clock of the steps before it. Three
// laps of 1000 steps; "Finish 3 laps in under N seconds" is earned in the step after the third lap,
// not before.
TEST(BikeLapsTest, RaceAndLapClocksAreTheGameClockAndTheLastLapCompletesTheRace) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    driver.Add(Script({}));
    KineticBike& b = *driver.bikes[0];
    auto clock = [](int steps) {
        float t = 0.0f;
        for (int k = 0; k < steps; ++k) t += 0.01667f;
        return t;
    };
    const int32_t savedDuration = gameOptions.duration, savedLaps = CStats::numLaps;
    const float savedStart = CStats::startTime;
    gameOptions.duration = CStats::numLaps = 3;
    CStats::startTime = 0.0f;
    b.bikeStats._currentLapTimeStamp = 0.0f;
    CTrackBonus::numTrackBonuses = 0;
    ASSERT_EQ(CTrackBonus::addTrackBonusAward(STAT_FASTEST_RACE, clock(2999) + 0.5f, "3 laps", "done"), 0);
    testsupport::LogCapture log;
    for (int lap = 1; lap <= 3; ++lap) {
        driver.Run(1000, false);
        const int n = 1000 * lap;
        EXPECT_EQ(globalTime, clock(n)) << lap;
        EXPECT_EQ(b.bikeStats.raceTime, clock(n - 1)) << lap;
        EXPECT_EQ(b.bikeStats.raceCompleted, 0) << lap;
        b.setCurLap(lap);
        EXPECT_EQ(b.bikeStats.lapTimes[lap - 1], clock(n - 1) - (lap > 1 ? clock(n - 1000) : 0.0f)) << lap;
        EXPECT_EQ(b.bikeStats._currentLapTimeStamp, clock(n)) << lap;
        EXPECT_EQ(b.bikeStats.raceCompleted, lap == 3 ? 1 : 0) << lap;
        EXPECT_EQ(b.trackBonus.awardRecieved, 0u) << lap;
    }
    EXPECT_EQ(b.bikeStats.finishTime, clock(2999));
    EXPECT_GT(b.bikeStats.finishTime - 2999.0f / 60.0f, 0.005f);  // a step count over 60 is 0.01 s short
    driver.Run(1, false);
    EXPECT_EQ(b.trackBonus.awardRecieved, 1u << STAT_FASTEST_RACE);
    EXPECT_NE(b.status.flags & (1u << BIKE_TRACK_BONUS_RECIEVED), 0u);
    char line[64];
    std::snprintf(line, sizeof line, "********LAP Time %f\n", static_cast<double>(clock(999)));
    EXPECT_TRUE(log.has(line)) << log.text();
    CTrackBonus::numTrackBonuses = 0;
    CStats::startTime = savedStart;
    CStats::numLaps = savedLaps;
    gameOptions.duration = savedDuration;
}

// Two laps along the racing line of a generated outdoor track: the bike takes every checkpoint of each
// lap in order, and the race stand-in hands it a lap when all are taken and it is back at the start,
// so the statistics count two laps.
TEST(BikeLapsTest, RacingLineRiderCountsTwoLapsAndEveryCheckpointInOrder) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    ASSERT_TRUE(driver.attached);
    const TrackDesign& d = driver.world.design;
    const uint32_t nCheck = static_cast<uint32_t>(d.checkpoints.size());
    ASSERT_GE(nCheck, 2u);
    const std::vector<qzVector3d> line = RacingLine(d, CSplineManager::MedOne);
    driver.Add(LineFollower(line));
    KineticBike& b = *driver.bikes[0];
    const CentrePoint& start = d.centre.front();
    std::vector<uint32_t> taken;  // checkpoint numbers in the order they were taken
    int steps = 0;
    const int limit = 60 * 600;
    while (b.laps.curLap < 2 && steps < limit) {
        const uint32_t before = b.laps.currentCheckPoint;
        driver.Run(1, false);
        ++steps;
        for (uint32_t k = before; k < b.laps.currentCheckPoint; ++k) taken.push_back(k);
        // Past the start line with every checkpoint of the lap taken.
        const float along =
            (b.ground.bikePos.x - start.x) * start.dirX + (b.ground.bikePos.z - start.z) * start.dirZ;
        if (b.laps.currentCheckPoint == nCheck && along > 0.0f && along < 1500.0f)
            b.setCurLap(b.laps.curLap + 1);
    }
    RecordProperty("two_laps_seconds", std::to_string(steps / 60.0f));
    EXPECT_EQ(b.laps.curLap, 2) << "in " << steps << " steps; checkpoints taken " << taken.size();
    EXPECT_EQ(b.bikeStats.currentLapCount, 2);
    std::vector<uint32_t> expected;
    for (int lap = 0; lap < 2; ++lap)
        for (uint32_t k = 0; k < nCheck; ++k) expected.push_back(k);
    EXPECT_EQ(taken, expected);
}

}  // namespace
