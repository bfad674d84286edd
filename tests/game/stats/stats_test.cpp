// Race statistics: race order, laps, the hole shot, jumps, stunt scores and the stunt advantage.
#include "game/stats/stats.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "app/main_loop.h"
#include "bike/kinetic_bike.h"

namespace {

// The bike's handling is not part of these tests: a bike that takes no input.
struct TestBike : KineticBike {
    void doAction(const CPacket&, float) override {}
};

class StatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDifficulty_ = gameOptions.difficulty;
        gameOptions.difficulty = 2;
        CStats::terrainTypeAt = nullptr;
    }
    void TearDown() override {
        bikes.clear();
        gameOptions.difficulty = savedDifficulty_;
        CStats::terrainTypeAt = nullptr;
    }
    TestBike* bike() {
        bikes.push_back(std::make_unique<TestBike>());
        bikes.back()->attributes.stuntAdvantageScale = 1.0f;
        return bikes.back().get();
    }
    // One stunt of the current jump.
    static void Stunt(CStats& s, int name, int points, float heldFrames = 0.0f, bool landed = false,
                      const char* text = "stunt") {
        const int i = s.numStuntsThisJump++;
        s.stuntsPerformedThisJump[i] = name;
        s.stuntPointValue[i] = points;
        s.stuntsHeldThisJump[i] = heldFrames;
        s.stuntLanded[i] = landed;
        std::strncpy(s.stuntName[i], text, 79);
    }
    std::vector<std::unique_ptr<TestBike>> bikes;
    int savedDifficulty_ = 0;
};

TEST_F(StatsTest, ConstructionFillsTheRaceTableOfEightAndDestructionClearsIt) {
    for (int i = 0; i < 9; ++i) bike();
    EXPECT_EQ(CStats::racerCount, 9);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(CStats::racePositions[i], &bikes[i]->bikeStats);
    EXPECT_EQ(bikes[1]->bikeStats.index, 1);
    EXPECT_EQ(bikes[0]->bikeStats.finishTime, 1.0e8f);    // not finished: behind everyone who has
    CStats::updateRacePosition();                         // sorts only the eight that fit
    EXPECT_EQ(bikes[8]->bikeStats.getRacePosition(), 1);  // a ninth racer gets no place: not found
    CStats::numLaps = 3;
    bikes.pop_back();  // the first racer destroyed empties the table
    EXPECT_EQ(CStats::racerCount, 0);
    EXPECT_EQ(CStats::numLaps, 0);
    EXPECT_EQ(CStats::racePositions[0], nullptr);
}

TEST_F(StatsTest, RaceOrderFinishLapCheckpointThenWayTime) {
    TestBike* slow = bike();
    TestBike* ahead = bike();
    TestBike* finished = bike();
    TestBike* lapAhead = bike();
    TestBike* checkpointAhead = bike();
    for (TestBike* b : {slow, ahead, checkpointAhead}) {
        b->bikeStats.currentLapCount = 2;
        b->laps.currentCheckPoint = 3;
    }
    slow->laps.curWayTime = 10.0f;
    ahead->laps.curWayTime = 10.5f;
    checkpointAhead->laps.currentCheckPoint = 4;
    checkpointAhead->laps.curWayTime = 1.0f;
    lapAhead->bikeStats.currentLapCount = 3;
    finished->bikeStats.currentLapCount = 1;  // finished first, whatever else it shows
    finished->bikeStats.finishTime = 95.0f;
    CStats::updateRacePosition();
    int place = 1;
    for (TestBike* b : {finished, lapAhead, checkpointAhead, ahead, slow})
        EXPECT_EQ(b->bikeStats.getRacePosition(), place++);
    CStats* a = &slow->bikeStats;
    CStats* b = &slow->bikeStats;
    EXPECT_EQ(CStats::compareRacePosition(&a, &b), 0);
}

TEST_F(StatsTest, LapTimesFastestLapElapsedAndCompletion) {
    CStats& s = bike()->bikeStats;
    CStats::numLaps = 2;
    // Lap time; then the lap count, fastest lap, elapsed time and completion after it.
    const struct {
        float lap;
        int count;
        float fastest, elapsed;
        int completed;
    } laps[] = {{61.0f, 1, 61.0f, 61.0f, 0},
                {59.5f, 2, 59.5f, 1.5f, 1},  // the second of two laps completes the race
                {60.0f, 3, 59.5f, -0.5f, 1},
                {70.0f, 4, 59.5f, -10.0f, 1}};
    for (const auto& l : laps) {
        s._currentLapTime = l.lap;
        s.setLapTime(0.0f);
        EXPECT_EQ(s.currentLapCount, l.count);
        EXPECT_EQ(s.lapTimes[l.count - 1], l.lap);
        EXPECT_EQ(s.fastestLapTime, l.fastest);
        EXPECT_FLOAT_EQ(s._elapseTime, l.elapsed) << l.lap;
        EXPECT_EQ(s.raceCompleted, l.completed) << l.lap;
    }
}

TEST_F(StatsTest, LapSlotsStopAt49) {
    CStats& s = bike()->bikeStats;
    CStats::numLaps = 1000;
    for (int i = 0; i < 60; ++i) {
        s._currentLapTime = 100.0f + static_cast<float>(i);
        s.setLapTime(0.0f);
    }
    EXPECT_EQ(s.currentLapCount, 49);
    EXPECT_EQ(s.lapTimes[48], 148.0f);
    EXPECT_EQ(s.lapTimes[49], 159.0f);  // overwritten by every later lap
    EXPECT_EQ(s.fastestLapTime, 100.0f);
}

int g_terrain = 0;
int TerrainAt(float, float) {
    return g_terrain;
}

TEST_F(StatsTest, OneHoleShotPerRaceToTheFirstOnItsTerrain) {
    TestBike* a = bike();
    TestBike* b = bike();
    CStats::terrainTypeAt = TerrainAt;
    g_terrain = 123;
    a->bikeStats.calculateHoleShot();
    EXPECT_EQ(a->bikeStats.holeShot, -1);
    g_terrain = 124;
    b->bikeStats.calculateHoleShot();
    a->bikeStats.calculateHoleShot();
    EXPECT_EQ(b->bikeStats.holeShot, 1);
    EXPECT_EQ(a->bikeStats.holeShot, -1);
    EXPECT_EQ(CStats::holeShotAwarded, 1);
}

TEST_F(StatsTest, ShortJumpScoresNothingAndKeepsItsStuntsPending) {
    CStats& s = bike()->bikeStats;
    qzVector3d start(0, 0, 0), end(30, 0, 40);
    s.jumpStart(start, 10.0f);
    Stunt(s, 3, 500);
    s.jumpLandSuccessful(end, 10.4f);
    EXPECT_EQ(s.stuntScore, 0);
    EXPECT_EQ(s.jumpInProgress, 1);
    EXPECT_EQ(s.numStuntsThisJump, 1);
    EXPECT_EQ(s.biggestAirTime, 0.0f);
    s.jumpStart(start, 12.0f);  // the next take-off clears them
    EXPECT_EQ(s.numStuntsThisJump, 0);
}

TEST_F(StatsTest, AJumpWithoutStuntsStillCountsAirDistanceAndTarget) {
    CStats& s = bike()->bikeStats;
    qzVector3d start(0, 0, 0), end(30, 0, 40);
    s.inTargetLandArea = 1;
    s.jumpStart(start, 10.0f);
    s.jumpLandSuccessful(end, 12.0f);
    EXPECT_EQ(s.stuntScore, 0);
    EXPECT_EQ(s._stuntsToHudStuntMultiplier, 0);
    EXPECT_EQ((std::array<float, 4>{s.jumpAirTime, s.biggestAirTime, s.jumpDistance, s.longestJump}),
              (std::array<float, 4>{2, 2, 50, 50}));
    EXPECT_EQ(s.targetJumpCompleted, 1);
    EXPECT_EQ(s.jumpInProgress, 0);
    s.jumpStart(start, 20.0f);
    s.jumpLandFailed(21.0f);
    EXPECT_EQ(s.jumpInProgress, 0);
    EXPECT_EQ(s.jumpAirTime, 0.0f);
    EXPECT_FLOAT_EQ(s.longestJump, 50.0f);  // kept
}

TEST_F(StatsTest, RepeatsCost100EachDownTo100AndHoldAddsPerFrame) {
    CStats& s = bike()->bikeStats;
    s.stuntsPerformed[5] = 3;  // the fourth performance
    s.stuntsPerformed[6] = 1;
    Stunt(s, 5, 500, 0.0f, false, "Superman Seat Grab With A Very Long Name Indeed");
    Stunt(s, 6, 150, 30.0f);  // repeated: 50 would be below the floor
    const int total = s.calculateStuntScore();
    // (500 - 300) + (100 + 1.6667 * 30) = 350.001, times 2 stunts without a landed last one.
    EXPECT_EQ(total, 700);
    EXPECT_EQ(s._stuntsToHudStuntRepeatScores[0], 300);
    EXPECT_EQ(s._stuntsToHudStuntRepeatScores[1], 100);
    EXPECT_EQ(s._stuntsToHudStuntScores[1], 200);                                  // base + hold, truncated
    EXPECT_STREQ(s._stuntsToHudStuntStrings[0], "Superman Seat Grab With A Ver");  // 29 characters
    EXPECT_EQ(s._stuntsToHudStuntMultiplier, 2);
    EXPECT_EQ(s._stuntsToHudTotalScoreThisJump, 700);
    EXPECT_EQ(s.stuntScore, 700);
    EXPECT_EQ(s.stuntsPerformed[5], 4);
    EXPECT_EQ(s.numStuntsPerformed, 2);
    EXPECT_EQ(s._isStuntsToHudActive, 1);
}

TEST_F(StatsTest, LandingTheLastStuntAddsOneToTheMultiplier) {
    TestBike* cpu = bike();
    cpu->isCPU = 1;
    CStats& s = cpu->bikeStats;
    Stunt(s, 1, 200);
    Stunt(s, 2, 300, 0.0f, true);
    EXPECT_EQ(s.calculateStuntScore(), (200 + 300) * 3);
    EXPECT_EQ(s._stuntsToHudStuntMultiplier, 3);
    EXPECT_EQ(s._isStuntsToHudActive, 0);  // computer riders do not show stunts
}

TEST_F(StatsTest, StuntListsFromTheRiderAreKeptInBounds) {
    CStats& s = bike()->bikeStats;
    Stunt(s, 40, 300);  // not a stunt number: scored, but no repeat table entry
    Stunt(s, -2, 300);
    s.numStuntsThisJump = 12;  // more than a jump can hold: only eight count
    for (int i = 2; i < 8; ++i) {
        s.stuntsPerformedThisJump[i] = 0;
        s.stuntPointValue[i] = 100;
        s.stuntLanded[i] = 0;
    }
    const int total = s.calculateStuntScore();
    EXPECT_EQ(total, (300 + 300 + 6 * 100) * 8);
    EXPECT_EQ(s.numStuntsPerformed, 8);
    EXPECT_EQ(s.stuntsPerformed[0], 6);
}

TEST_F(StatsTest, StuntAdvantageEarnsNitroAtTheScaledThreshold) {
    TestBike* b = bike();
    CStats& s = b->bikeStats;
    gameOptions.difficulty = 0;  // scale 2.0
    s.stuntScore = 1499;
    s.updateStuntAdvantage();
    EXPECT_EQ(s.stuntAdvantageLevel, 0);
    EXPECT_EQ(s.getPercentOfNextStuntAdvantage(), 99);  // 100 * 2998 / 3000
    s.stuntScore = 1500;
    s.updateStuntAdvantage();
    EXPECT_EQ(s.stuntAdvantageLevel, 1);
    EXPECT_EQ(b->ride.nitrosAvailable, 1);
    EXPECT_TRUE(b->status.flags & (1u << BIKE_NITRO_EARNED));
    s.stuntScore = 100000;  // one level per landing
    s.updateStuntAdvantage();
    EXPECT_EQ(s.stuntAdvantageLevel, 2);
    b->ride.nitrosAvailable = 5;
    for (int i = 0; i < 20; ++i) s.updateStuntAdvantage();
    EXPECT_EQ(s.stuntAdvantageLevel, 10);
    EXPECT_EQ(b->ride.nitrosAvailable, 5);
    EXPECT_EQ(s.getPercentOfNextStuntAdvantage(), 100);  // no level past the last
    gameOptions.difficulty = 1;                          // scale 1.5
    b->attributes.stuntAdvantageScale = 1.2f;
    s.stuntAdvantageLevel = 1;
    s.stuntScore = 4000;  // 6000 scaled; prev 3600, next 7200
    EXPECT_EQ(s.getPercentOfNextStuntAdvantage(), 100 * (6000 - 3600) / 3600);
    b->attributes.stuntAdvantageScale = 0.0f;  // every threshold 0: no span to divide by
    EXPECT_EQ(s.getPercentOfNextStuntAdvantage(), 100);
}

}  // namespace
