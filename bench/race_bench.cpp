// A whole attract-style race headless and without drawing: the race built from options on the sample
// disc's first outdoor track (the field the race gives an outdoor track), every racer under computer
// control, stepped until every racer has ridden three laps. Reports the race's game time as a multiple
// of the wall time it took, and the engine heap's peak use during the race over what was in use before it
// was built.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "bike/kinetic_bike.h"
#include "console/iop/iop.h"
#include "engine/hal/engine.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/core/random.h"
#include "race/demo_loop.h"
#include "race/race_game.h"
#include "race_setup.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_RaceThreeLapsNoDrawing(benchmark::State& state) {
    void* common = benchrace::BootSampleDisc();
    if (!common) {
        state.SkipWithError("the sample disc could not be booted");
        return;
    }
    CQzGame::cpuTimeSource = racetest::ZeroCpu;
    CQzGame::drawFrames = false;
    DLManager.setDemoLoopState(DL_DISABLED);
    double gameSeconds = 0.0, wallSeconds = 0.0;
    int peakKb = 0, racers = 0, frames = 0;
    for (auto _ : state) {
        benchrace::AttractOptions();
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;  // every repetition rides the same race
        RandomNumber = Randomizer = 0;
        const int usedBefore = x_TotalMemory();
        int peak = usedBefore;
        const auto t0 = Clock::now();
        auto* race = racetest::NewRace(common);
        racers = static_cast<int>(CQzGame::numOfTotalRacers);
        int f = 0;
        for (; f < 30 * 60 * 10; ++f) {  // ten minutes of game at most
            race->updateGame();
            if (f % 30 == 0) peak = std::max(peak, x_TotalMemory());
            bool done = true;
            for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i)
                done = done && CQzGame::bike[i] && CQzGame::bike[i]->laps.curLap >= 3;
            if (done) break;
        }
        peak = std::max(peak, x_TotalMemory());
        delete race;
        wallSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        gameSeconds += f / 30.0;
        frames += f;
        peakKb = std::max(peakKb, (peak - usedBefore) / 1024);
    }
    CQzGame::drawFrames = true;
    state.counters["racers"] = racers;
    state.counters["frames_per_race"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
    state.counters["times_real_time"] = gameSeconds / wallSeconds;
    state.counters["peak_heap_kb"] = peakKb;
}
BENCHMARK(BM_RaceThreeLapsNoDrawing)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
