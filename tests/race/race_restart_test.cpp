// A restarted race is the race built afresh: it reuses the files the first build loaded (the world and
// the high-resolution bike and rider), and shows, from its first frame on, the same pictures a fresh
// build of the same race shows (sky, scenery, gate and banners), with no geometry refused; the heap comes
// back when the race is left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "console/gs/gs_device.h"
#include "console/kernel/vsync.h"
#include "console/pad/pad.h"
#include "engine/hal/engine.h"
#include "engine/sys/heap.h"
#include "engine/sys/xrand.h"
#include "frontend/sm/sm_progress.h"
#include "game/core/random.h"
#include "host/png_writer.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"
#include "support/log_capture.h"

namespace {

constexpr int kFrames = 90;
// The first frames of a build still show the race before it: nothing is drawn in the first four and the
// display stays off until the fifth is drawn, which is shown once the sixth is. The pictures compared
// start with that first one.
constexpr int kFirstCompared = 6;

class RaceRestart : public racetest::DiscRaceTest {
protected:
    void TearDown() override {
        CQzGame::drawFrames = true;
        DiscRaceTest::TearDown();
    }
    // Both random sources as a build finds them, so that two builds of a race ride alike.
    static void ResetRandom() {
        engine::LastRand = 1;
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;
        RandomNumber = Randomizer = 0;
    }
    // Builds the race (restart flag as given) and runs kFrames drawn frames with the pads idle, keeping in
    // `hashes` (FNV-1a) the pictures shown from kFirstCompared on; then one more frame after the pause
    // object is told to restart, or none. The race is deleted.
    void Run(unsigned restartFlag, bool restartAfter, std::vector<uint64_t>* hashes) {
        const int humans = gameOptions.numHumanPlayers;
        ResetRandom();
        // The display is interlaced: a build starts on the field the blanks before it left (field_ picks
        // it), and each field places its copy of a picture a little differently.
        if (field_ >= 0 && console::VsyncOddField() != (field_ == 1)) console::VsyncDeliver();
        auto* race = racetest::NewRace(common_, restartFlag);
        for (int f = 0; f < kFrames; ++f) {
            for (int port = 0; port < humans; ++port) console::PadSetInput(port, 0, console::PadIdle());
            EXPECT_EQ(race->updateGame(), CQzGame::kGoOn);
            if (!hashes || f < kFirstCompared) continue;
            console::gs::Gs().ReadDisplay(rgba_.data());
            if (const char* dir = std::getenv("QZ_RESTART_PNG"); dir && f % 30 == 0) {
                host::Error e;
                host::WritePng(std::string(dir) + "/" + std::to_string(humans) + "p_" +
                                   (restartFlag ? "restarted_" : "fresh_") + std::to_string(f) + ".png",
                               rgba_.data(), 640, 448, 4, true, &e);
            }
            uint64_t h = 1469598103934665603ull;
            for (uint8_t b : rgba_) h = (h ^ b) * 1099511628211ull;
            hashes->push_back(h);
        }
        if (restartAfter) {
            race->pauseModel->restartGame = 1;
            EXPECT_EQ(race->updateGame(), CQzGame::kRestart);
        }
        delete race;
    }
    int field_ = -1;
    std::vector<uint8_t> rgba_ = std::vector<uint8_t>(640 * 448 * 4);
};

// One and two players on an outdoor track: a fresh build, restarted twice (the second time on the other
// field), then left.
TEST_F(RaceRestart, ARestartedRaceShowsWhatAFreshBuildShowsAndGivesTheHeapBack) {
    testsupport::LogCapture log;
    testsupport::g_log.reserve(1 << 22);  // the log's text is on the heap too
    for (int humans : {1, 2}) {
        SCOPED_TRACE(humans);
        racetest::RaceOptions(O01, 1, humans);
        // A first race sets up what lasts the program; the races compared follow a race of the same length.
        Run(0, false, nullptr);
        field_ = console::VsyncOddField() ? 1 : 0;
        std::vector<uint64_t> fresh, restarted, again;
        for (auto* v : {&fresh, &restarted, &again}) v->reserve(kFrames);
        log.clear();
        const size_t before = x_TotalMemoryFree();
        Run(0, true, &fresh);
        Run(1, true, &restarted);
        field_ = 1 - field_;  // the last build starts on the other field: its pictures are the same
        Run(1, false, &again);
        field_ = -1;
        EXPECT_EQ(x_TotalMemoryFree(), before);
        EXPECT_EQ(log.count("RESTART: World File loaded from previous game!"), 2);
        EXPECT_EQ(log.count("refused"), 0) << log.text().substr(0, 2000);
        // The pictures move (the countdown's camera), and every one is the fresh build's.
        int changes = 0;
        for (size_t i = 1; i < fresh.size(); ++i) changes += fresh[i] != fresh[i - 1];
        EXPECT_GT(changes, 40);
        ASSERT_EQ(restarted.size(), fresh.size());
        ASSERT_EQ(again.size(), fresh.size());
        for (size_t i = 0; i < fresh.size(); ++i) {
            EXPECT_EQ(restarted[i], fresh[i]) << "frame " << i + kFirstCompared;
            EXPECT_EQ(again[i], fresh[i]) << "frame " << i + kFirstCompared;
        }
    }
}

// The first picture of a race is its whole scene, whatever the frame buffer held when it was built: a
// frame the display does not show is not cleared after it, and the loading screen (or a race's pause
// menu or results before a restart) lies nearer than anything of the race.
TEST_F(RaceRestart, TheFirstPictureIsTheWholeSceneWhateverTheScreenHeldBefore) {
    racetest::RaceOptions(O01, 1, 1);
    Run(0, false, nullptr);  // what lasts the program set up
    field_ = console::VsyncOddField() ? 1 : 0;
    // A clear frame buffer: each frame shown clears it once copied to the display.
    for (int i = 0; i < 3; ++i) {
        veEngineBeginFrame();
        veEngineEndFrame();
    }
    std::vector<uint64_t> clean, afterLoading;
    Run(0, false, &clean);
    // The loading screen drawn last before the build, sent out and left in the frame buffer.
    _progressBar* bar = SM_InitProgressBar(nullptr, nullptr, 248, 170, 198, 10, 0, 100, 1);
    SM_LoadProgressBarTextures(bar, "frontend\\loadscrn\\loadscrn.ps2", "frontend\\loadscrn\\loadbar.ps2");
    ASSERT_EQ(SM_StepProgressBar(bar, 40), 40);
    veEngineBeginFrame();
    veEngineEndFrame();
    Run(0, false, &afterLoading);
    SM_DestroyProgressBar(bar);
    field_ = -1;
    ASSERT_EQ(afterLoading.size(), clean.size());
    for (size_t i = 0; i < clean.size(); ++i)
        EXPECT_EQ(afterLoading[i], clean[i]) << "frame " << i + kFirstCompared;
}

}  // namespace
