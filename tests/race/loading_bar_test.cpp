// The loading screen while a race is built: the race steps the front end's bar at its fixed points, each
// step one frame of the loading screen, and frees the bar once built; a restart (no bar left) draws none.
#include <gtest/gtest.h>

#include <vector>

#include "console/gs/gs_device.h"
#include "console/kernel/vsync.h"
#include "console/stage/dma_stage.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine.h"
#include "engine/sys/heap.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_progress.h"
#include "race/loading_bar.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "race/race_sound.h"
#include "race/scene/particle_system.h"
#include "support/disc_race_test.h"
#include "support/shown_pictures.h"

namespace {

using racetest::RaceOptions;
using LoadingBar = racetest::DiscRaceTest;

// What the race had built when it stepped or freed the bar.
struct Call {
    int32_t amount;  // -1: the bar freed
    bool sound, world, racers, particles, displayOn;
};
std::vector<Call> calls;
bool barLeft = true;

void Note(int32_t amount) {
    calls.push_back({amount, racesound::View() != nullptr, CQzGame::masterFileWorld != nullptr,
                     CQzGame::bike[0] != nullptr, CParticleSystem::instance != nullptr,
                     veDisplayVSyncNoUpdateEnabled.load() == 0});
}
int32_t FakeStep(int32_t amount) {
    if (!barLeft) return -1;
    Note(amount);
    return 0;
}
void FakeDestroy() {
    if (barLeft) Note(-1);
    barLeft = false;
}
void FakeShow() {
    if (barLeft) Note(-2);
}

TEST_F(LoadingBar, TheBuildStepsTheBarAtItsPointsAndFreesItOnceBuilt) {
    calls.clear();
    barLeft = true;
    raceLoadingBar = RaceLoadingBar{FakeStep, FakeDestroy, FakeShow};
    RaceOptions(O01);
    auto* race = racetest::NewRace(common_);
    ASSERT_EQ(calls.size(), 12u);
    // The steps, the last one put on the screen (-2), the bar freed (-1).
    const int32_t amounts[12] = {5, 0, 0, 17, 0, 0, 8, 0, 0, 10, -2, -1};
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& c = calls[i];
        EXPECT_EQ(c.amount, amounts[i]) << i;
        EXPECT_TRUE(c.sound) << i;                    // after the sound
        EXPECT_EQ(c.world, i >= 3) << i;              // the world file read between the first two groups
        EXPECT_EQ(c.racers, i >= 9) << i;             // the last step after the racers ...
        EXPECT_EQ(c.particles, i >= 9) << i;          // ... and the particles
        EXPECT_EQ(c.displayOn, c.amount != -1) << i;  // shown while the display is on, freed once it is off
    }
    // Restarted: the bar went with the first build, so nothing is stepped or freed.
    calls.clear();
    race->pauseModel->restartGame = 1;
    delete race;
    race = racetest::NewRace(common_, 1);
    EXPECT_TRUE(calls.empty());
    delete race;
    // Without hooks (no front end) a race builds as before; one that runs no engine frames steps nothing
    // but still frees the bar.
    raceLoadingBar = RaceLoadingBar{};
    delete racetest::NewRace(common_);
    barLeft = true;
    raceLoadingBar = RaceLoadingBar{FakeStep, FakeDestroy, FakeShow};
    CQzGame::drawFrames = false;
    delete racetest::NewRace(common_);
    CQzGame::drawFrames = true;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].amount, -1);
    raceLoadingBar = RaceLoadingBar{};
}

using Shown = testsupport::ShownPictures;

// The filled width of the loading bar in a picture: the bar's colour from x 248 on (none while empty),
// then its dark trough on to the right end at x 446; -1 when no row shows that (not the loading screen).
int BarWidth(const std::vector<uint8_t>& rgba) {
    int width = -1;
    for (int y = 160; y < 190; ++y) {
        const uint8_t* row = rgba.data() + size_t(y) * 640 * 4;
        auto dark = [row](int x) { return row[4 * x] < 40 && row[4 * x + 1] < 40 && row[4 * x + 2] < 40; };
        int x = 248;
        while (x < 446 && row[4 * x] > 180 && row[4 * x + 2] < 100) ++x;
        const int filled = x - 248;
        bool trough = true;
        for (x = 248 + filled + 3; x < 444 && trough; ++x) trough = dark(x);
        if (trough && filled > width) width = filled;
    }
    return width;
}

// The front end's last frames and the race's loading: once the loading screen opens, every picture is
// the loading screen with its bar, from empty to the last step, and then the race.
TEST_F(LoadingBar, TheFrontEndsBarIsDrawnInStepsThenFreedAndNeverShownAgain) {
    CGameOptions& o = RaceOptions(I04);
    auto* fe = new CFrontend(&o, 33);
    for (int f = 0; f < 4; ++f) fe->update();
    // The loading screen opens: the front end is done at once. Its last frame and the one that sends it
    // out (the front end's teardown) are the loading screen's, the bar empty; the screen manager's own
    // LOADING screen is never shown.
    SM_ScreenLink(21);
    fe->update();
    ASSERT_NE(fe->Frontend_done, 0);
    delete fe;
    ASSERT_NE(progressbar, nullptr);
    ASSERT_NE(raceLoadingBar.step, nullptr);
    Shown shown;
    veDisplaySetFrameShownCallback(Shown::Take, &shown);
    sceGsSyncV(0);
    ASSERT_EQ(shown.pictures.size(), 1u);
    EXPECT_EQ(BarWidth(shown.pictures[0]), 0) << "the front end's last frame";
    shown.pictures.clear();

    const uint64_t frame = veEngineFrame.load();
    auto* race = racetest::NewRace(common_);
    // Ten steps of the bar, each its frame, and one empty frame that sends the last out; the race waits
    // until it is shown before the display goes off.
    EXPECT_EQ(veEngineFrame.load() - frame, 11u);
    EXPECT_EQ(progressbar, nullptr);
    EXPECT_EQ(raceLoadingBar.step, nullptr);
    EXPECT_EQ(veDmaBuild->numTasks, 0u) << "a frame still to be sent reads the freed pictures";
    // The front end's teardown frame (the bar empty), then each step's picture, the last one too: 5 steps
    // (2 pixels each), twice nothing, 17, twice nothing, 8, twice nothing and the last 10 (40 of 100).
    std::vector<int> widths;
    for (const auto& p : shown.pictures) widths.push_back(BarWidth(p));
    EXPECT_EQ(widths, (std::vector<int>{0, 10, 10, 10, 44, 44, 44, 60, 60, 60, 80}));
    const size_t loadingFrames = shown.pictures.size();

    for (int f = 0; f < 30; ++f) ASSERT_EQ(race->updateGame(), CQzGame::kGoOn);
    ASSERT_GT(shown.pictures.size(), loadingFrames + 20);
    for (size_t i = loadingFrames; i < shown.pictures.size(); ++i)
        EXPECT_EQ(BarWidth(shown.pictures[i]), -1) << "race frame " << i - loadingFrames;
    veDisplaySetFrameShownCallback(nullptr, nullptr);

    // Restarted: no bar is left, nothing is drawn while it is built.
    race->pauseModel->restartGame = 1;
    delete race;
    const uint64_t rebuilt = veEngineFrame.load();
    race = racetest::NewRace(common_, 1);
    EXPECT_EQ(veEngineFrame.load(), rebuilt);
    delete race;
    // What the build freed of the front end's is the bar, counted for the main loop's heap check.
    const int barBytes = FE_TakeLoadingBarBytesFreed();
    EXPECT_GT(barBytes, 512 * 512);  // the background picture, 8 bits a pixel
    EXPECT_EQ(FE_TakeLoadingBarBytesFreed(), 0);
}

}  // namespace
