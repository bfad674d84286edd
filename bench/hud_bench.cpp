// Drawing the HUDs of a two-player race: each half's HUD (stat box, statistics text, messages) built
// into the frame's packets, the time of both per frame. The race is a split-screen race on the sample
// disc's first outdoor track, ridden a few seconds in; the frame's other drawing is not counted.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "console/cd/cd.h"
#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "console/pad/pad.h"
#include "engine/hal/engine.h"
#include "engine/sys/boot.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "frontend/hud/hud.h"
#include "game/files/file_manager.h"
#include "game/race/demo_loop.h"
#include "game/race/race_game.h"
#include "game/view/view_3d.h"

namespace {

using Clock = std::chrono::steady_clock;

float NoCpu() {
    return 0.0f;
}

void BM_HudTwoPlayers(benchmark::State& state) {
    static void* common = nullptr;
    if (!common) {
        console::CdMount(QZ_BENCH_DISC);
        console::PadReset();
        console::PadSetInput(1, 0, console::PadIdle());  // the second player's pad
        console::ClockReset();
        console::VsyncReset();
        veClockReset();
        x_HardwareBootSystem();
        veEngineInit(0, nullptr);
        x_GetIODriver()->FnPrint = [](const char*) {};
        common = GetFileManager()->loadFile("COMMON\\qz02dat.bin");
    }
    CQzGame::cpuTimeSource = NoCpu;
    CQzGame::drawFrames = false;
    DLManager.setDemoLoopState(DL_DISABLED);
    static const CGameOptions kZero;
    CGameOptions o = kZero;
    o.numHumanPlayers = 2;
    o.duration = 3;
    o.timeOrLap = 1;
    std::snprintf(o.WorldFile, sizeof o.WorldFile, "%s", CDemoLoopManager::getWorldString(O01));
    o.trackType = CDemoLoopManager::getWorldType(O01);
    auto* race = new CQzGame(&o, common, 0);
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
