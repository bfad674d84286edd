// A drawn race frame at 640 x 448 on one core: an attract-style race on the sample disc's first outdoor
// track (every racer ridden by the computer) is run undrawn past the start until the field has spread and
// the dust flies, then 300 frames are stepped with drawing (racers with their shadows, the particles, the
// terrain and scenery) and the same race again without drawing. Reports the median frame with drawing,
// the drawing's share (the difference of the two medians) as frames a second, and how many racers cast
// shadows and particles were alive.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "console/cd/cd.h"
#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "engine/hal/engine.h"
#include "engine/sys/boot.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "game/files/file_manager.h"
#include "game/race/demo_loop.h"
#include "game/race/race_game.h"
#include "world/particle_system.h"
#include "world/shadow_view.h"

namespace {

using Clock = std::chrono::steady_clock;

void* BootOnce() {
    static void* common = nullptr;
    if (common) return common;
    console::CdMount(QZ_BENCH_DISC);
    console::ClockReset();
    console::VsyncReset();
    veClockReset();
    x_HardwareBootSystem();
    veEngineInit(0, nullptr);
    x_GetIODriver()->FnPrint = [](const char*) {};
    common = GetFileManager()->loadFile("COMMON\\qz02dat.bin");
    return common;
}

float NoCpu() {
    return 0.0f;
}

struct RaceRun {
    double medianSeconds = 0.0;
    int racers = 0;
    uint32_t particles = 0;  // alive in the last measured frame
};

RaceRun Run(void* common, bool draw, bool shadows) {
    static const CGameOptions kZero;
    CGameOptions o = kZero;
    o.numHumanPlayers = 1;
    o.cpuRiders = 1;
    o.duration = 3;
    o.timeOrLap = 1;
    o.demoMode = 1;
    std::snprintf(o.WorldFile, sizeof o.WorldFile, "%s", CDemoLoopManager::getWorldString(O01));
    o.trackType = CDemoLoopManager::getWorldType(O01);
    auto* race = new CQzGame(&o, common, 0);
    if (!shadows) CShadowView::raceOptions = 0;
    CQzGame::drawFrames = false;
    for (int f = 0; f < 30 * 25; ++f) race->updateGame();
    CQzGame::drawFrames = draw;
    std::vector<double> t;
    for (int f = 0; f < 300; ++f) {
        const auto t0 = Clock::now();
        race->updateGame();
        t.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    RaceRun r;
    std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
    r.medianSeconds = t[t.size() / 2];
    r.racers = static_cast<int>(CQzGame::numOfTotalRacers);
    if (CParticleSystem* ps = CParticleSystem::instance)
        for (auto& b : ps->block) r.particles += b->usedCount;
    delete race;
    CQzGame::drawFrames = true;
    return r;
}

void BM_SceneFrameWithShadowsAndParticles(benchmark::State& state) {
    void* common = BootOnce();
    CQzGame::cpuTimeSource = NoCpu;
    DLManager.setDemoLoopState(DL_DISABLED);
    RaceRun drawn, plain;
    for (auto _ : state) {
        drawn = Run(common, true, state.range(0) != 0);
        plain = Run(common, false, state.range(0) != 0);
    }
    const double drawing = std::max(drawn.medianSeconds - plain.medianSeconds, 1e-9);
    state.counters["racers"] = drawn.racers;
    state.counters["particles"] = drawn.particles;
    state.counters["frame_ms"] = drawn.medianSeconds * 1000.0;
    state.counters["frame_fps"] = 1.0 / drawn.medianSeconds;
    state.counters["drawing_ms"] = drawing * 1000.0;
    state.counters["drawing_fps"] = 1.0 / drawing;
}
// Argument 1: with shadows (0: without, to see their share).
BENCHMARK(BM_SceneFrameWithShadowsAndParticles)->Arg(1)->Arg(0)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
