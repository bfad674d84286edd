// The physics benchmark scenes that exercise collision detection: S1 (N convex boxes dropped on the
// height field, N = 16, 64, 256, 600 steps) and S2 (16 convex boxes crossing a field of 500 fixed convex
// boxes on the height field, 300 steps), with the race's settings: fast subspace, Euler, gravity
// (0, 15.1074, 0) with +y down, tolerance 0.2, deactivation off, one 1/60 s step per call.
//
// The ground is sampled 257 x 257 (spacing 1) as the scene definitions give it; S1 also runs on 896 x 896
// samples over the same 256 x 256 area, the terrain resolution of the game's tracks. The second benchmark
// argument is the sample count per side.
//
// Each benchmark iteration runs the whole scene once and times every step; the counters give the median
// and the maximum per step (microseconds) and the step count. Two variants hold the bodies where
// detection has the most to do: S1 resting (no gravity, every box 0.12 to 0.2 above the surface,
// so each step finds its contacts) and S2 level (no gravity, the movers glide through the field at their
// start height).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "kinetic_scene_world.h"

namespace {

using namespace kinetic_bench;

// Runs steps, timing each; reports median and maximum per step.
void runScene(benchmark::State& state, bool gravity, int samples, int steps,
              const std::function<void(SceneWorld&)>& build) {
    std::vector<double> all;
    double contacts = 0, interpenetrations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto world = std::make_unique<SceneWorld>(gravity, samples);
        build(*world);
        std::vector<double> times;
        times.reserve(static_cast<size_t>(steps));
        state.ResumeTiming();
        for (int s = 1; s <= steps; ++s) {
            const auto t0 = std::chrono::steady_clock::now();
            world->kit.m_defaultWorld->stepTo(static_cast<float>(s) / 60.0f, 1);
            const auto t1 = std::chrono::steady_clock::now();
            times.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            contacts += static_cast<double>(world->detector->getRRCollisionList().size());
            interpenetrations += static_cast<double>(world->detector->getInterpenetrations().size());
        }
        state.PauseTiming();
        all.insert(all.end(), times.begin(), times.end());
        world.reset();
        state.ResumeTiming();
    }
    std::sort(all.begin(), all.end());
    const double runs = static_cast<double>(state.iterations());
    state.counters["step_median_us"] = all[all.size() / 2];
    state.counters["step_max_us"] = all.back();
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["contacts_per_step"] = contacts / (runs * steps);
    state.counters["interpenetrations_per_step"] = interpenetrations / (runs * steps);
}

void buildS1(SceneWorld& w, int n, bool standard) {
    for (int i = 0; i < n; ++i) {
        const float x = 100.0f + 2.5f * static_cast<float>(i % 16);
        const float z = 100.0f + 2.5f * static_cast<float>(i / 16);
        float y = -groundHeight(x, z) - (4.0f + 1.5f * static_cast<float>(i % 3));
        if (!standard) {
            // The highest ground under the four bottom corners, then 0.12 of clearance (a contact nearer
            // than half the tolerance counts as an interpenetration).
            float top = FLT_MAX;
            for (int c = 0; c < 4; ++c)
                top = std::min(top, -groundHeight(x + (c & 1 ? 0.5f : -0.5f), z + (c & 2 ? 0.5f : -0.5f)));
            y = top - 0.5f - 0.12f;
        }
        w.box(w.unitBox.get(), 1.0f, Vector3(x, y, z));
    }
}

void BM_KineticS1Drop(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runScene(state, true, static_cast<int>(state.range(1)), 600, [n](SceneWorld& w) { buildS1(w, n, true); });
}

void BM_KineticS1Resting(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runScene(state, false, static_cast<int>(state.range(1)), 600,
             [n](SceneWorld& w) { buildS1(w, n, false); });
}

// The 500 boxes are fixed as the scene gives them, or pinned as the game's simple track objects are
// (pinned bodies sit in the detector's inactive list instead of its fixed list).
void buildS2(SceneWorld& w, bool pinned) {
    addPostGrid(w, pinned);
    for (int k = 0; k < 16; ++k) {
        const float x = 40.0f, z = 50.0f + 7.0f * static_cast<float>(k);
        RigidBody* b = w.box(w.unitBox.get(), 1.0f, Vector3(x, -groundHeight(x, z) - 1.5f, z));
        b->m_linearVelocity = Vector3(20.0f, 0.0f, 0.0f);
    }
}

void BM_KineticS2Crossing(benchmark::State& state) {
    runScene(state, true, 257, 300, [](SceneWorld& w) { buildS2(w, false); });
}

void BM_KineticS2Level(benchmark::State& state) {
    runScene(state, false, 257, 300, [](SceneWorld& w) { buildS2(w, false); });
}

void BM_KineticS2LevelPinned(benchmark::State& state) {
    runScene(state, false, 257, 300, [](SceneWorld& w) { buildS2(w, true); });
}

}  // namespace

BENCHMARK(BM_KineticS1Drop)
    ->ArgsProduct({{16, 64, 256}, {257, 896}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KineticS1Resting)
    ->ArgsProduct({{16, 64, 256}, {257, 896}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KineticS2Crossing)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KineticS2Level)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KineticS2LevelPinned)->Iterations(3)->Unit(benchmark::kMillisecond);
