// Leaving a race for the front end: the display shows each frame only once the next one has ended, and
// the race's teardown ends with an empty frame. Every picture shown on the way is whole: the race's last
// one, held while the race is taken apart and the front end is built, then the front end's own.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/gs/gs_device.h"
#include "console/stage/dma_stage.h"
#include "engine/hal/display_sync.h"
#include "frontend/screens/frontend.h"
#include "race/loading_bar.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"
#include "support/shown_pictures.h"

namespace {

using LeaveRace = racetest::DiscRaceTest;

using Shown = testsupport::ShownPictures;

// One colour over the whole screen: an empty frame's bare background.
bool Plain(const std::vector<uint8_t>& rgba) {
    for (size_t i = 4; i < rgba.size(); i += 4)
        if (std::memcmp(&rgba[i], &rgba[0], 3) != 0) return false;
    return true;
}

// Exit Game from a race's pause menu, then the main menu; an attract race's end, then the title, which
// fades in. The race's last picture is shown by the teardown and stays up; the next ones are the front
// end's, and the display is on again. An empty frame's picture would be the back colour alone, and so
// would the title's drawn before its fade has begun.
TEST_F(LeaveRace, TheRacesLastPictureIsFollowedByTheFrontEndsWithNoEmptyFrameBetween) {
    for (int screen : {33, 34}) {
        SCOPED_TRACE(screen);
        CGameOptions& o = racetest::RaceOptions(O01);
        auto* race = racetest::NewRace(common_);
        Shown shown;
        veDisplaySetFrameShownCallback(Shown::Take, &shown);
        for (int f = 0; f < 30; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
        race->pauseModel->exitGame = 1;
        ASSERT_EQ(race->updateGame(), CQzGame::kLeave);
        const size_t raced = shown.pictures.size();
        ASSERT_GT(raced, 20u);
        delete race;
        // The race's last two frames are on the screen (the teardown's frame shows the one before the
        // last, the last follows once that frame has ended) before anything of the race is freed.
        EXPECT_EQ(shown.pictures.size(), raced + 2);
        const size_t last = shown.pictures.size() - 1;
        EXPECT_NE(shown.pictures[last], shown.pictures[last - 1]) << "the race's last picture, not a repeat";

        auto* fe = new CFrontend(&o, screen);
        EXPECT_EQ(shown.pictures.size(), last + 1) << "nothing is shown while the front end is built";
        constexpr size_t kUpdates = 5;
        for (size_t f = 0; f < kUpdates; ++f) fe->update();
        EXPECT_EQ(veDisplayVSyncNoUpdateEnabled.load(), 0u) << "the front end turned the display back on";
        // Each front-end frame but the last two (still to be sent out) is shown, whole: the front end's
        // screen, not the race.
        EXPECT_EQ(shown.pictures.size(), last + 1 + kUpdates - 2);
        for (size_t i = raced; i < shown.pictures.size(); ++i)
            EXPECT_FALSE(Plain(shown.pictures[i])) << "picture " << i - raced << " after the race's frames";
        if (shown.pictures.size() > last + 1) {
            EXPECT_NE(shown.pictures[last + 1], shown.pictures[last]);
        }
        veDisplaySetFrameShownCallback(nullptr, nullptr);
        delete fe;
        if (raceLoadingBar.destroy) raceLoadingBar.destroy();
        raceLoadingBar = RaceLoadingBar{};
    }
}

}  // namespace
