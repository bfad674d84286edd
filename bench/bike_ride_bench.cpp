// Eight bikes riding scripted laps of a generated outdoor track for 60 s of game time, no drawing: each
// bike follows one of the world's racing lines under the headless driver's line-following rider. The
// time of each whole 60 Hz step for all eight (the riders' packets, the model step with physics and the
// bikes' updates); counters give the median and maximum per step in milliseconds and the mean distance
// the bikes covered.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "../tests/support/bike_driver.h"
#include "world/spline_manager.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_EightBikesRideScriptedLaps(benchmark::State& state) {
    const TrackSpec& spec = biketest::FirstTrack(TrackKind::Outdoor);
    std::vector<double> all;
    double covered = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto driver = std::make_unique<biketest::BikeDriver>(spec, 8);
        std::vector<std::vector<qzVector3d>> lines;
        for (int i = 0; i < 8; ++i)
            lines.push_back(biketest::RacingLine(driver->world.design, CSplineManager::BegOne + i));
        for (unsigned i = 0; i < 8; ++i) driver->Add(biketest::LineFollower(lines[i]), i != 0);
        std::vector<qzVector3d> start;
        for (KineticBike* b : driver->bikes) start.push_back(b->position);
        state.ResumeTiming();
        for (int s = 0; s < 60 * 60; ++s) {
            const auto t0 = Clock::now();
            driver->Run(1, false);
            all.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        state.PauseTiming();
        for (size_t i = 0; i < 8; ++i) {
            const qzVector3d d = driver->bikes[i]->position - start[i];
            covered += std::sqrt(d.x * d.x + d.z * d.z);
        }
        driver.reset();
        state.ResumeTiming();
    }
    std::sort(all.begin(), all.end());
    state.counters["step_median_ms"] = all[all.size() / 2];
    state.counters["step_max_ms"] = all.back();
    state.counters["mean_straight_line_from_grid_units"] =
        covered / (8.0 * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_EightBikesRideScriptedLaps)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
