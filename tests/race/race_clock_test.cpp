// The race clock in real races driven by pad scripts: a pause or the free camera holds every player's
// TIME and LAP T for as long as it lasts, in split screen too, and the clock is the game time summed
// 0.01667 s a step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bike/kinetic_bike.h"
#include "console/pad/pad.h"
#include "game/model/global_time.h"
#include "game/model/pause_state.h"
#include "host/pad_script.h"
#include "race/control/game_controller.h"
#include "race/hud/hud_text.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"
#include "support/log_capture.h"

namespace {

class RaceClock : public racetest::DiscRaceTest {
protected:
    void SetUp() override { BootDisc(true); }  // pad 2 plugged in for split screen
    void TearDown() override {
        CQzGame::drawFrames = true;
        DiscRaceTest::TearDown();
    }

    // A player's clocks as the HUD prints them.
    static std::string Clocks(int player) {
        const CStats& s = CQzGame::bike[player]->bikeStats;
        char time[32], lap[32];
        hudtext::FormatTime(time, sizeof time, s.raceTime);
        hudtext::FormatTime(lap, sizeof lap, s._currentLapTime);
        return std::string("TIME ") + time + " LAP T " + lap;
    }

    // Runs shown frames [from, to) with each pad's script; keeps `expected`, the game time summed as the
    // race sums it: two steps of 0.01667 s in each frame that ends unpaused (a frame that pauses does so
    // on its first input, before either step; one that resumes, before both).
    void Run(CQzGame* race, const std::vector<host::PadScript>& pads, int from, int to) {
        for (int f = from; f < to; ++f) {
            for (size_t p = 0; p < pads.size(); ++p) pads[p].Apply(static_cast<int>(p), 0, uint64_t(f));
            ASSERT_EQ(race->updateGame(), CQzGame::kGoOn) << f;
            if (CPauseState::pauseSwitch != 1)
                for (int k = 0; k < 2; ++k) expected += 0.01667f;
        }
    }
    static std::vector<host::PadScript> Scripts(std::vector<const char*> texts) {
        std::vector<host::PadScript> pads(texts.size());
        for (size_t i = 0; i < texts.size(); ++i) {
            host::Error e;
            EXPECT_TRUE(pads[i].Parse(texts[i], "test", &e));
        }
        return pads;
    }
    float expected = 0.0f;
};

// Pad 1 races, pauses for 600 frames (START at 300, START again at 901), races on, then looks round with
// the free camera for 600 frames (SELECT at 1000 and 1601). Neither the pause nor the look adds a
// moment to TIME or LAP T, and the clock is the float sum of the unpaused steps.
TEST_F(RaceClock, PauseAndFreeCameraHoldTimeAndLapTime) {
    racetest::RaceOptions(O01);
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    const auto pads =
        Scripts({"0-299 CROSS\n300 START\n901 START\n902-999 CROSS\n1000 SELECT\n"
                 "1601 SELECT\n1602-1700 CROSS\n"});
    Run(race, pads, 0, 300);
    const KineticBike* b = CQzGame::bike[0];
    ASSERT_EQ(b->laps.startRace, 1u);
    ASSERT_GT(b->bikeStats.raceTime, 1.0f);
    const std::string before = Clocks(0);
    const float clock = globalTime;
    const uint32_t steps = b->laps.frameCountForMessage;
    testsupport::LogCapture log;
    Run(race, pads, 300, 901);
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
    EXPECT_EQ(Clocks(0), before);
    EXPECT_EQ(globalTime, clock);
    EXPECT_EQ(b->laps.frameCountForMessage, steps) << "the paused bike is not stepped";
    // The computer riders' way times stand still through the pause, but they have not been stuck.
    EXPECT_FALSE(log.has("put back")) << log.text();

    // Resumed: 99 frames are 3.3 s of race.
    const float t0 = b->bikeStats.raceTime;
    Run(race, pads, 901, 1000);
    EXPECT_EQ(CPauseState::pauseSwitch, 0);
    EXPECT_NEAR(b->bikeStats.raceTime - t0, 99 * 2 * 0.01667f, 0.02f);

    // The free camera freezes the race the same way, without the menu.
    const std::string looking = Clocks(0);
    Run(race, pads, 1000, 1601);
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
    EXPECT_EQ(CPauseState::pauseDraw, 0);
    EXPECT_EQ(Clocks(0), looking);
    Run(race, pads, 1601, 1701);
    EXPECT_EQ(CPauseState::pauseSwitch, 0);
    EXPECT_NE(Clocks(0), looking);

    // 1701 frames, 1202 of them frozen: the clock is the sum of the 998 steps that were not.
    EXPECT_EQ(globalTime, expected);
    float sum = 0.0f;
    for (int k = 0; k < 2 * (1701 - 1202); ++k) sum += 0.01667f;
    EXPECT_EQ(globalTime, sum);
    EXPECT_NE(globalTime, 2 * (1701 - 1202) / 60.0f);
    delete race;
}

// Split screen: pad 1 pauses for 600 frames; both players' clocks hold, and pad 2's SELECT in the
// middle neither resumes the race nor takes the free camera. After it both players read one clock.
TEST_F(RaceClock, SplitScreenClocksHoldTogetherThroughAPause) {
    racetest::RaceOptions(O01, 0, 2);
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    const auto pads = Scripts(
        {"0-299 CROSS\n300 START\n901 START\n902-999 CROSS\n", "0-299 CROSS\n600 SELECT\n902-999 CROSS\n"});
    Run(race, pads, 0, 300);
    ASSERT_EQ(CQzGame::bike[1]->laps.startRace, 1u);
    const std::string before[2] = {Clocks(0), Clocks(1)};
    Run(race, pads, 300, 901);
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
    EXPECT_EQ(CQzGame::controller[1]->controlState, STATE_BIKE);
    for (int p = 0; p < 2; ++p) EXPECT_EQ(Clocks(p), before[p]) << p;
    Run(race, pads, 901, 1000);
    EXPECT_EQ(CPauseState::pauseSwitch, 0);
    EXPECT_EQ(CQzGame::bike[0]->bikeStats.raceTime, CQzGame::bike[1]->bikeStats.raceTime);
    EXPECT_EQ(globalTime, expected);
    delete race;
}

}  // namespace
