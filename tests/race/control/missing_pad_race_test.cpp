// A two-player race on a console with one pad: the race pauses for the missing pad, over the race's own
// picture, and pad 1 takes the pause menu over: it cannot resume without player 2, but it can leave.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "console/gs/gs_device.h"
#include "console/pad/pad.h"
#include "game/model/pause_state.h"
#include "race/control/game_controller.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"

namespace {

using MissingPadRace = racetest::DiscRaceTest;  // the boot plugs in pad 1 only

// Pixels of the shown picture in the box (x0..x1, y0..y1) in the light blue of the race's sky, which a
// race never stepped (its cameras not yet placed, looking at nothing) does not show.
int SkyPixels(int x0, int x1, int y0, int y1) {
    std::vector<uint8_t> rgba(640 * 448 * 4);
    if (!console::gs::Gs().ReadDisplay(rgba.data())) return -1;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = &rgba[size_t(y * 640 + x) * 4];
            n += p[0] > 150 && p[1] > 180 && p[2] > 220;
        }
    return n;
}

TEST_F(MissingPadRace, PausesOverTheRaceAndPadOneCanLeaveButNotResume) {
    CGameOptions& o = racetest::RaceOptions(O01, 1, 2);
    auto* race = racetest::NewRace(common_);
    ASSERT_TRUE(CQzGame::splitScreen);
    auto frame = [&](uint16_t buttons) {
        console::PadInput in = console::PadIdle();
        in.buttons = buttons;
        console::PadSetInput(0, 0, in);
        return race->updateGame();
    };
    // Held one frame, let go for one: the first answer that is not "go on".
    auto press = [&](uint16_t buttons) {
        const int a = frame(buttons), b = frame(0);
        return a != CQzGame::kGoOn ? a : b;
    };
    // The race comes up and draws itself before the missing pad pauses it.
    while (Framecounter + 1 < CQZGameController::kFirstPausableFrame) {
        ASSERT_EQ(frame(0), CQzGame::kGoOn);
        EXPECT_EQ(CPauseState::pauseSwitch, 0) << "frame " << Framecounter;
    }
    ASSERT_EQ(frame(0), CQzGame::kGoOn);
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
    for (int f = 0; f < 40; ++f) ASSERT_EQ(frame(0), CQzGame::kGoOn);  // the menu up and taking presses
    // Player 1's half above the menu: the race as drawn, not an empty view.
    EXPECT_GT(SkyPixels(170, 630, 0, 140), 460 * 140 / 10);
    CQZGameController* pad1 = CQzGame::controller[0];
    ASSERT_NE(pad1, nullptr);
    EXPECT_EQ(pad1->controlState, STATE_PAUSED) << "pad 1 holds the pause";
    EXPECT_EQ(pad1->missingPad(), 1);

    EXPECT_EQ(press(console::kPadStart), CQzGame::kGoOn);
    EXPECT_EQ(CPauseState::pauseSwitch, 1) << "no race without player 2";
    EXPECT_EQ(press(console::kPadDown), CQzGame::kGoOn);
    EXPECT_EQ(press(console::kPadDown), CQzGame::kGoOn);
    EXPECT_EQ(press(console::kPadCross), CQzGame::kLeave) << "\"Exit Game\"";
    EXPECT_EQ(o.gameEndState, GAME_END_RACE_QUIT);
    delete race;
}

}  // namespace
