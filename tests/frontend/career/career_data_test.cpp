// Career rules: new slots, the series tables, scoring, standings order, the end of a series with its
// unlocks and ability points, and the trophy mask over all slots.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "frontend/career/career_data.h"
#include "game/core/game_options.h"
#include "mkdisc/track_design.h"
#include "support/log_capture.h"

namespace {

const char* const kRoster[8] = {
    "YOU",    "ZED ZIPPER", "AL ALPHA", "MO MARKS", "BO BERM", "KY KNOBBY", "A VERY LONG RIDER NAME XX",
    "DI DIRT"};

// A career in series `s` with eight racers of a finished race and the places they came in.
struct Race {
    CareerData c;
    CGameOptions o{};
    unsigned char inCareer = 1;
    explicit Race(int s) {
        Career_ChooseSeries(c, s, kRoster);
        o.numCPURacers = 7;
        o.gameEndState = GAME_END_RACE_FINISHED;
        for (int i = 0; i < 8; ++i) o.sInfo[i].riderPos = i + 1;
    }
    int run() {
        inCareer = 1;
        return Career_ScoreRace(c, o, inCareer);
    }
};

TEST(CareerRules, NewSlotOpensFirstTierOfEveryKindWithWorldsForEveryRace) {
    CareerData c;
    EXPECT_EQ(c.used, 0);
    EXPECT_EQ(c.currentseries, -1);
    EXPECT_EQ(c.abilitypoints, 0);
    for (uint8_t skill : {c.Jumping, c.Cornering, c.Stability, c.Stunt}) EXPECT_EQ(skill, 1);
    const char kKind[4] = {'b', 'i', 'o', 'f'};
    for (int s = 0; s < kCareerSeries; ++s) {
        EXPECT_EQ(c.status[s], s % 3 == 0 ? 0 : -1) << s;
        EXPECT_EQ(c.currentrace[s], 1);
        for (int r = 0; r < 8; ++r) {
            const std::string code = racestrings[s][r];
            if (r >= c.numraces[s]) {
                EXPECT_TRUE(code.empty()) << s << "/" << r;
                continue;
            }
            EXPECT_EQ(code[0], kKind[s / 3]) << s << "/" << r;
            bool onDisc = false;
            for (const TrackSpec& t : TrackSpecs()) onDisc |= code + ".bin" == t.name;
            EXPECT_TRUE(onDisc) << code;
        }
    }
}

TEST(CareerRules, PlacesScoreAndOnlyPlacesOneToEight) {
    const int kTable[][2] = {{1, 14}, {2, 6}, {3, 3}, {4, 2}, {5, 1}, {6, 0},
                             {7, 0},  {8, 0}, {0, 0}, {9, 0}, {-3, 0}};
    for (auto [place, points] : kTable) EXPECT_EQ(CareerPointsForPlace(place), points) << place;

    // A result record with no place (0) or a stale count of racers scores without a fault.
    Race r(0);
    r.o.sInfo[3].riderPos = 0;
    r.o.numCPURacers = 0xFFFFFFFFu;
    testsupport::LogCapture log;
    EXPECT_EQ(r.run(), 0);
    EXPECT_EQ(r.c.player[0].points[0], 14);
    EXPECT_EQ(r.c.player[3].points[0], 0);
    EXPECT_TRUE(log.has("Awarded -player 1-6 points for coming in place 2.\n"));
    EXPECT_EQ(r.c.currentrace[0], 2);
    EXPECT_EQ(r.inCareer, 0);
}

TEST(CareerRules, QuitOrRestartScoresNothingAndKeepsCareerFlag) {
    for (endGameState e : {GAME_END_RACE_QUIT, GAME_END_RACE_RESTART}) {
        Race r(3);
        r.o.gameEndState = e;
        EXPECT_EQ(r.run(), 0);
        EXPECT_EQ(r.inCareer, 1);
        EXPECT_EQ(r.c.currentrace[3], 1);
        EXPECT_EQ(r.c.player[0].points[3], 0);
    }
}

TEST(CareerRules, StandingsSortByNameBeforeFirstRaceThenByPointsKeepingLongNames) {
    Race r(6);
    Career_DisplayStandings(r.c, 8);
    for (int i = 1; i < 8; ++i)
        EXPECT_LT(std::strcmp(r.c.playersorted[i - 1].name, r.c.playersorted[i].name), 0) << i;
    for (const auto& p : r.c.playersorted) EXPECT_EQ(p.points[6], 0);

    // Places in reverse: the human last; ascending points, the leader in the top slot.
    for (int i = 0; i < 8; ++i) r.o.sInfo[i].riderPos = 8 - i;
    r.run();
    Career_DisplayStandings(r.c, 8);
    for (int i = 1; i < 8; ++i) EXPECT_LE(r.c.playersorted[i - 1].points[6], r.c.playersorted[i].points[6]);
    EXPECT_STREQ(r.c.playersorted[7].name, "DI DIRT");
    bool longKept = false;
    for (const auto& p : r.c.playersorted) longKept |= std::string(p.name) == kRoster[6];
    EXPECT_TRUE(longKept);
}

TEST(CareerRules, SeriesEndUnlocksNextTierAndAwardsAbilityPoint) {
    struct Case {
        int series;
        bool humanWins;
        const char* line;
        int opened;  // series opened by the win, -1 none
    };
    const Case kCases[] = {
        {0, true, "A new series has been unlocked!\n", 1},
        {4, true, "A new series has been unlocked!\n", 5},
        {2, true, "Unlock all Pro Series for even more bonusage!.\n", -1},
        {11, true, "Unlock all Pro Series for even more bonusage!.\n", -1},
        {6, false, "You have failed to win this series.\n", -1},
    };
    for (const Case& k : kCases) {
        Race r(k.series);
        if (!k.humanWins) std::swap(r.o.sInfo[0].riderPos, r.o.sInfo[5].riderPos);
        testsupport::LogCapture log;
        int last = 0;
        for (int race = 0; race < r.c.numraces[k.series]; ++race) last = r.run();
        EXPECT_EQ(last, kScreenCareerSeriesChoice) << k.series;
        EXPECT_TRUE(log.has(k.line)) << k.series;
        EXPECT_EQ(r.c.status[k.series], k.humanWins ? 1 : k.series % 3 == 0 ? 0 : -1) << k.series;
        EXPECT_EQ(r.c.abilitypoints, k.humanWins ? 1 : 0);
        for (int s = 0; s < kCareerSeries; ++s) {
            if (s != k.series && s % 3 != 0) {
                EXPECT_EQ(r.c.status[s], s == k.opened ? 0 : -1) << s;
            }
        }
        EXPECT_EQ(r.c.currentrace[k.series], 1);
        for (const auto& p : r.c.player) EXPECT_EQ(p.points[k.series], 0);
    }
    // Winning again gives another point and opens nothing new.
    Race r(0);
    for (int n = 0; n < 2; ++n)
        for (int race = 0; race < 3; ++race) r.run();
    EXPECT_EQ(r.c.abilitypoints, 2);
    EXPECT_EQ(r.c.status[1], 0);
    EXPECT_EQ(r.c.status[2], -1);
}

TEST(CareerRules, TestResultsAdvanceAndEndTheSeries) {
    CareerData c;
    Career_ChooseSeries(c, 9, kRoster);
    testsupport::LogCapture log;
    EXPECT_EQ(Career_TestResult(c, 1, true), kScreenCareerStandings);
    EXPECT_TRUE(log.has("SUCCESS on race 1 of 2 (1st place).\n"));
    EXPECT_EQ(c.player[0].points[9], 14);
    EXPECT_EQ(Career_TestResult(c, 1, false), kScreenCareerSeriesChoice);
    EXPECT_TRUE(log.has("FAILURE on race 2 of 2 (8th place).\n"));
    EXPECT_EQ(c.status[9], 1);  // a field of one: the human wins alone
    EXPECT_EQ(c.status[10], 0);
}

TEST(CareerRules, TrophiesCountSeriesWonInAnySlot) {
    for (CareerData& c : CareerFile) c.reset();
    EXPECT_EQ(Career_TrophyMask(), 0u);
    CareerFile[2].status[4] = 1;
    CareerFile[7].status[11] = 1;
    EXPECT_EQ(Career_TrophyMask(), (1u << 4) | (1u << 11));
    for (int s = 0; s < kCareerSeries; ++s) CareerFile[s % 8].status[s] = 1;
    EXPECT_EQ(Career_TrophyMask(), 4095u);
    for (CareerData& c : CareerFile) c.reset();
}

}  // namespace
