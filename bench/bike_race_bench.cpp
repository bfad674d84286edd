// An eight-bike, three-lap race on a generated outdoor track without drawing: scripted riders, crashes
// on, the race's lap counting. Reported as game time over wall time (multiples of real time) and the
// steps the race took.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "../tests/support/bike_race.h"

namespace {

void BM_EightBikesThreeLaps(benchmark::State& state) {
    double game = 0.0, wall = 0.0;
    size_t steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto race = std::make_unique<biketest::RaceSim>();
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        race->RunLaps(3, 60 * 60 * 10);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        steps = race->hashes.size();
        game += static_cast<double>(steps) / 60.0;
        state.PauseTiming();
        race.reset();
        state.ResumeTiming();
    }
    state.counters["times_real_time"] = game / wall;
    state.counters["race_steps"] = static_cast<double>(steps);
}
BENCHMARK(BM_EightBikesThreeLaps)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
