// Track bonuses: the award table and each bike's record of what it has received.
#include "game/stats/track_bonus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bike/kinetic_bike.h"

namespace {

struct TestBike : KineticBike {
    void doAction(const CPacket&, float) override {}
};

class TrackBonusTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTrackBonus::numTrackBonuses = 0;
        CTrackBonus::pickupIconCount = nullptr;
    }
    void TearDown() override {
        CTrackBonus::numTrackBonuses = 0;
        CTrackBonus::pickupIconCount = nullptr;
    }
    static bool Flag(const KineticBike& b, BikeFlags f) { return (b.status.flags & (1u << f)) != 0; }
    static int Add(TRACK_BONUS_TYPE t, float v) {
        return CTrackBonus::addTrackBonusAward(t, v, "text", "got it");
    }
};

TEST_F(TrackBonusTest, FastestLapIsStrictBiggestAirIsNot) {
    EXPECT_EQ(Add(STAT_FASTEST_LAP, 60.0f), 0);
    EXPECT_EQ(Add(STAT_BIGGEST_AIR, 2.0f), 1);
    TestBike b;
    b.bikeStats.fastestLapTime = 60.0f;
    b.bikeStats.biggestAirTime = 2.0f;
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved, 1u << STAT_BIGGEST_AIR);
    EXPECT_EQ(b.trackBonus.currentBonusAwarded, 1);
    EXPECT_TRUE(Flag(b, BIKE_TRACK_BONUS_RECIEVED));
    EXPECT_FALSE(Flag(b, BIKE_HOLESHOT));
    b.bikeStats.fastestLapTime = 59.99f;
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved, (1u << STAT_BIGGEST_AIR) | (1u << STAT_FASTEST_LAP));
    EXPECT_EQ(b.trackBonus.currentBonusAwarded, 0);
    // Awards received in a call count from the next call on.
    EXPECT_EQ(b.trackBonus.allAwardsRecieved, 0u);
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.allAwardsRecieved, 1u);
    EXPECT_TRUE(Flag(b, BIKE_ALL_TRACK_BONUS_RECIEVED));
}

TEST_F(TrackBonusTest, HoleShotRaisesItsOwnFlagAndEachBikeKeepsItsRecord) {
    Add(STAT_HOLE_SHOT, 0.0f);
    TestBike a, b;
    a.bikeStats.holeShot = 1;
    a.trackBonus.update(&a);
    b.trackBonus.update(&b);
    EXPECT_TRUE(Flag(a, BIKE_HOLESHOT));
    EXPECT_FALSE(Flag(a, BIKE_TRACK_BONUS_RECIEVED));
    EXPECT_EQ(b.trackBonus.awardRecieved, 0u);
    b.bikeStats.holeShot = 1;
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved, 1u);
}

TEST_F(TrackBonusTest, StuntConditions) {
    Add(STUNT_SPECIFIC, 7.9f);  // trick 7
    Add(STUNT_NUMBER, 10.5f);
    Add(STUNT_COMBO, 3.0f);
    Add(STUNT_SCORE, 5000.0f);
    Add(JUMP_OVER, 0.0f);
    TestBike b;
    CStats& s = b.bikeStats;
    s.stuntsPerformed[7] = 1;
    s.numStuntsPerformed = 10;
    s.biggestStuntCombo = 2;
    s.stuntScore = 5000;
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved,
              (1u << STUNT_SPECIFIC) | (1u << STUNT_NUMBER) | (1u << STUNT_SCORE));
    s.biggestStuntCombo = 3;
    s.targetJumpCompleted = 1;
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved, 0x2F0u);
}

TEST_F(TrackBonusTest, ATrickNumberOutsideTheStuntTableIsNeverAchieved) {
    Add(STUNT_SPECIFIC, 26.0f);
    Add(STUNT_SPECIFIC, -1.0f);
    Add(STUNT_SPECIFIC, 1.0e30f);
    TestBike b;
    std::memset(b.bikeStats.stuntsPerformed, 1, sizeof(b.bikeStats.stuntsPerformed));
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved, 0u);
}

int Icons() {
    return 4;
}

// Awards whose condition needs two things: each bike first shows one of them, then both.
TEST_F(TrackBonusTest, FastestRaceWantsACompletedRaceAndPickupsWantEveryIcon) {
    CTrackBonus::pickupIconCount = Icons;
    Add(STAT_FASTEST_RACE, 300.0f);
    Add(PICKUP_ICON, 99.0f);
    EXPECT_EQ(CTrackBonus::trackBonusAwards[1].bonusValue, 4.0f);  // the track's icon count
    TestBike b;
    b.bikeStats.raceTime = 10.0f;
    b.bikeStats.pickupsCount = 4;
    b.bikeStats.pickupsFound = 3;
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved, 0u);
    b.bikeStats.raceCompleted = 1;
    b.bikeStats.raceTime = 299.0f;
    b.bikeStats.pickupsFound = 4;
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.awardRecieved, (1u << STAT_FASTEST_RACE) | (1u << PICKUP_ICON));
}

// The race's time is its finish time: the clock reading a step after the finish (or any later
// reading) neither wins nor loses the award.
TEST_F(TrackBonusTest, FastestRaceIsJudgedOnTheFinishTime) {
    Add(STAT_FASTEST_RACE, 300.0f);
    TestBike slow, fast;
    slow.bikeStats.raceCompleted = fast.bikeStats.raceCompleted = 1;
    slow.bikeStats.finishTime = 300.5f;
    slow.bikeStats.raceTime = 299.0f;
    fast.bikeStats.finishTime = 299.5f;
    fast.bikeStats.raceTime = 300.5f;
    slow.trackBonus.update(&slow);
    fast.trackBonus.update(&fast);
    EXPECT_EQ(slow.trackBonus.awardRecieved, 0u);
    EXPECT_EQ(fast.trackBonus.awardRecieved, 1u << STAT_FASTEST_RACE);
}

TEST_F(TrackBonusTest, TheTableHoldsFiveAndTextsAreAlwaysTerminated) {
    EXPECT_EQ(CTrackBonus::addTrackBonusAward(TRACK_BONUS_NONE, 1.0f, "x", "y"), -1);
    const std::string longText(300, 'A');
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(CTrackBonus::addTrackBonusAward(STUNT_COMBO, 1.0f, longText.c_str(), "r"), i);
    EXPECT_EQ(CTrackBonus::addTrackBonusAward(JUMP_OVER, 1.0f, "sixth", "r"), -1);
    EXPECT_EQ(CTrackBonus::getNumTrackBonusAwards(), 5);
    EXPECT_EQ(std::strlen(CTrackBonus::trackBonusAwards[4].bonusFlavorText), 99u);
    EXPECT_STREQ(CTrackBonus::trackBonusAwards[4].bonusFlavorRecText, "r");
    EXPECT_EQ(CTrackBonus::getTrackBonusType(4), STUNT_COMBO);
    EXPECT_EQ(CTrackBonus::getTrackBonusType(5), TRACK_BONUS_NONE);
    EXPECT_EQ(CTrackBonus::getTrackBonusType(-1), TRACK_BONUS_NONE);
    { CTrackBonus gone; }  // the first record destroyed empties the table
    EXPECT_EQ(CTrackBonus::getNumTrackBonusAwards(), 0);
    TestBike b;  // no bonuses: all received at the first update
    EXPECT_EQ(b.trackBonus.currentBonusAwarded, -1);
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.allAwardsRecieved, 1u);
    EXPECT_TRUE(Flag(b, BIKE_ALL_TRACK_BONUS_RECIEVED));
}

TEST_F(TrackBonusTest, TwoAwardsOfOneTypeAreReceivedTogether) {
    Add(STAT_BIGGEST_AIR, 1.0f);
    Add(STAT_BIGGEST_AIR, 5.0f);
    TestBike b;
    b.bikeStats.biggestAirTime = 1.5f;
    b.trackBonus.update(&b);
    b.trackBonus.update(&b);
    EXPECT_EQ(b.trackBonus.allAwardsRecieved, 1u);  // both count once the type is received
}

}  // namespace
