// Whole races on the sample disc's i03, the attract loop's first world, where riders used to circle a
// gate they had ridden past: the attract race (the player's bike steered by the computer) and a race
// with a player at the pad, at each difficulty. No computer rider's way time stands still for more
// than ten seconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bike/kinetic_bike.h"
#include "host/pad_script.h"
#include "support/disc_race_test.h"
#include "support/log_capture.h"

namespace {

class AIDiscRace : public racetest::DiscRaceTest {
protected:
    void TearDown() override {
        CQzGame::drawFrames = true;
        DiscRaceTest::TearDown();
    }
};

TEST_F(AIDiscRace, NoComputerRiderStandsStillOnI03) {
    constexpr int kFrames = 30 * 140, kTenSeconds = 30 * 10;
    host::PadScript player;
    host::Error e;
    // Full throttle, now and then a long lean one way or the other.
    ASSERT_TRUE(player.Parse("0+ CROSS\n400-440 CROSS LX=0\n900-960 CROSS LX=255\n2000-2030 CROSS LX=0\n",
                             "test", &e));
    for (const bool attract : {true, false}) {
        for (int difficulty = 0; difficulty < 3; ++difficulty) {
            SCOPED_TRACE(std::string(attract ? "attract" : "player") + " difficulty " +
                         std::to_string(difficulty));
            CGameOptions& o = racetest::RaceOptions(I03);
            o.demoMode = attract ? 1 : 0;
            o.difficulty = difficulty;
            CQzGame::drawFrames = false;
            testsupport::LogCapture log;
            auto* race = racetest::NewRace(common_);
            ASSERT_EQ(CQzGame::numOfTotalRacers, 7u);
            float way[8] = {};
            int still[8] = {}, longest[8] = {};
            for (int f = 0; f < kFrames; ++f) {
                if (!attract) player.Apply(0, 0, uint64_t(f));
                ASSERT_EQ(race->updateGame(), CQzGame::kGoOn) << f;
                for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i) {
                    const KineticBike* b = CQzGame::bike[i];
                    if (!b || !b->laps.startRace || !b->isCPU) continue;
                    still[i] = b->laps.curWayTime == way[i] ? still[i] + 1 : 0;
                    way[i] = b->laps.curWayTime;
                    longest[i] = std::max(longest[i], still[i]);
                }
            }
            for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i)
                EXPECT_LT(longest[i], kTenSeconds) << "racer " << i;
            EXPECT_FALSE(log.has("(computer) at")) << log.text();
            delete race;
        }
    }
}

}  // namespace
