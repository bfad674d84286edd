// Drawing the HUDs of a two-player race: each half's HUD (stat box, statistics text, messages) built
// into the frame's packets, the time of both per frame. The race is a split-screen race on the sample
// disc's first outdoor track, ridden a few seconds in; the frame's other drawing is not counted.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "console/pad/pad.h"
#include "engine/hal/engine.h"
#include "engine/sys/files.h"
#include "game/view/view_3d.h"
#include "race/demo_loop.h"
#include "race/hud/hud.h"
#include "race/race_game.h"
#include "race_setup.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_HudTwoPlayers(benchmark::State& state) {
    void* common = benchrace::BootSampleDisc(true);
    if (!common) {
        state.SkipWithError("the sample disc could not be booted");
        return;
    }
    CQzGame::cpuTimeSource = racetest::ZeroCpu;
    CQzGame::drawFrames = false;
    DLManager.setDemoLoopState(DL_DISABLED);
    racetest::RaceOptions(O01, 0, 2);
    auto* race = racetest::NewRace(common);
    console::PadInput go = console::PadIdle();
    go.buttons = console::kPadCross;
    for (int f = 0; f < 150; ++f) {
        for (int port = 0; port < 2; ++port) console::PadSetInput(port, 0, go);
        race->updateGame();
    }
    std::vector<std::pair<CHud*, C3DView*>> huds;
    for (uint32_t v = 0; v < CQzGame::numOfHumanRacers; ++v)
        for (auto* obj : CQzGame::view[v]->_objects)
            if (auto* h = dynamic_cast<CHud*>(obj)) huds.emplace_back(h, CQzGame::view[v]);
    for (auto _ : state) {
        veEngineBeginFrame();
        const auto t0 = Clock::now();
        for (auto& [hud, view] : huds) {
            hud->update(view, 0.0f);
            hud->render(view);
        }
        const auto t1 = Clock::now();
        veEngineEndFrame();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.counters["huds"] = static_cast<double>(huds.size());
    delete race;
    CQzGame::drawFrames = true;
}
BENCHMARK(BM_HudTwoPlayers)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

}  // namespace
