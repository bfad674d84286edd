// A drawn race, one player and split screen, gives the same pictures whatever the number of rasteriser
// threads: 1, 2, 4 and 8 ride the same race (the random state reset) and every shown frame's hash is
// compared.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "console/gs/gs_device.h"
#include "console/pad/pad.h"
#include "game/core/random.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"

namespace {

class RaceThreads : public racetest::DiscRaceTest {
protected:
    void SetUp() override { BootDisc(true); }  // pad 2 plugged in for the split screen
    void TearDown() override {
        console::gs::Gs().SetRasterThreads(1);
        CQzGame::drawFrames = true;
        DiscRaceTest::TearDown();
    }
    // Hashes (FNV-1a) of the displayed picture after each of `drawn` frames (the first two left out)
    // that follow `undrawn` frames with nothing drawn, on `threads` rasteriser threads.
    std::vector<uint64_t> Frames(int humans, int threads, int undrawn, int drawn) {
        console::gs::Gs().SetRasterThreads(threads);
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;
        RandomNumber = Randomizer = 0;
        CGameOptions& o = racetest::RaceOptions(O01, 1, humans);
        o.demoMode = 1;
        auto* race = racetest::NewRace(common_);
        console::PadInput go = console::PadIdle();
        go.buttons = console::kPadCross;
        std::vector<uint64_t> hashes;
        std::vector<uint8_t> rgba(640 * 448 * 4);
        for (int f = 0; f < undrawn + drawn; ++f) {
            for (int port = 0; port < humans; ++port) console::PadSetInput(port, 0, go);
            CQzGame::drawFrames = f >= undrawn;
            race->updateGame();
            // A frame is drawn at the next one's start: the first two shown still hold what was there.
            if (f < undrawn + 2) continue;
            console::gs::Gs().ReadDisplay(rgba.data());
            uint64_t h = 1469598103934665603ull;
            for (uint8_t b : rgba) h = (h ^ b) * 1099511628211ull;
            hashes.push_back(h);
        }
        delete race;
        return hashes;
    }
};

TEST_F(RaceThreads, OnePlayerAndSplitScreenDrawTheSameAtAnyThreadCount) {
    for (int humans : {1, 2}) {
        const std::vector<uint64_t> one = Frames(humans, 1, 450, 32);
        // The frames change as the race goes on (not a still or a black screen).
        int changes = 0;
        for (size_t i = 1; i < one.size(); ++i) changes += one[i] != one[i - 1];
        EXPECT_GT(changes, 20) << humans << " players";
        for (int threads : {2, 4, 8})
            EXPECT_EQ(Frames(humans, threads, 450, 32), one)
                << humans << " players, " << threads << " threads";
    }
}

}  // namespace
