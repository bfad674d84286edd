// A drawn race frame at 640 x 448 with 1, 2 and 4 rasteriser threads, the geometry stage inline or beside the
// game: an attract-style race on the sample disc's first outdoor track (every racer ridden by the computer,
// the pack in front of the camera after the start) is stepped in short runs of five kinds: drawn whole; drawn
// without shadows; without particles; without the riders and bikes; and not drawn. A frame's drawing is
// carried out at the next frame's start, so the first two frames of each run are not counted. Reports the
// median of each kind, the whole drawing's cost (drawn median less undrawn median) as frames a second, each
// piece's share (the whole median less the median without it), and how many shadow pictures and particles a
// drawn frame had.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/main_loop.h"
#include "console/gs/gs_device.h"
#include "console/pad/pad.h"
#include "console/stage/dma_stage.h"
#include "console/vif/vif.h"
#include "engine/hal/engine.h"
#include "engine/sys/files.h"
#include "game/core/random.h"
#include "game/view/view_3d.h"
#include "race/demo_loop.h"
#include "race/race_game.h"
#include "race/scene/motion_view.h"
#include "race/scene/particle_system.h"
#include "race/scene/shadow_view.h"
#include "race_setup.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> t) {
    std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
    return t[t.size() / 2];
}

// Fails the benchmark, with false answered, when the disc could not be booted or when geometry transfers
// were dropped since `errorsBefore` (the frames measured were then not whole).
bool SceneSound(benchmark::State& state, const void* common, uint64_t errorsBefore) {
    if (!common) {
        state.SkipWithError("the sample disc could not be booted");
        return false;
    }
    console::dma::StageDrain();
    if (console::vif::Vif1().Errors() != errorsBefore) {
        state.SkipWithError("geometry transfers were dropped: the frames measured were not whole");
        return false;
    }
    return true;
}

// With QZ_BANDS_STATS set in the environment: the rasteriser threads' waits over the drawn frames, timed, on
// stderr (the timing costs a clock read per wait and per stretch the caller draws).
using Bands = console::gs::RasterBands;
bool BandStatsWanted() {
    return std::getenv("QZ_BANDS_STATS") != nullptr;
}
struct BandStats {
    Bands::Stats sum;
    int frames = 0;
    void Add(const Bands::Stats& before, const Bands::Stats& after) {
        for (int i = 0; i < int(Bands::Wait::kCount); ++i) {
            sum.requests[i] += after.requests[i] - before.requests[i];
            sum.waitSeconds[i] += after.waitSeconds[i] - before.waitSeconds[i];
            sum.dependencies[i] += after.dependencies[i] - before.dependencies[i];
        }
        sum.drawSeconds += after.drawSeconds - before.drawSeconds;
        sum.commands += after.commands - before.commands;
        sum.dependencyRecords += after.dependencyRecords - before.dependencyRecords;
        sum.listed += after.listed - before.listed;
        sum.stretches += after.stretches - before.stretches;
        sum.wakes += after.wakes - before.wakes;
        sum.callerSleeps += after.callerSleeps - before.callerSleeps;
        ++frames;
    }
    void Print(const char* name, int threads, double frameMs) const {
        if (frames == 0) return;
        static const char* const kNames[] = {"flush",  "display",  "transfer", "palette", "texture",
                                             "retire", "raw",      "war",      "layouts", "alone",
                                             "states", "palettes", "deps",     "commands"};
        static_assert(sizeof(kNames) / sizeof(kNames[0]) == size_t(Bands::Wait::kCount));
        const double n = frames;
        std::fprintf(stderr, "%s threads %d: frame %.2f ms; per frame: waits (count/ms)", name, threads,
                     frameMs);
        double total = 0;
        for (int i = 0; i < int(Bands::Wait::kCount); ++i) {
            total += sum.waitSeconds[i];
            if (sum.requests[i])
                std::fprintf(stderr, " %s %.1f/%.2f", kNames[i], sum.requests[i] / n,
                             sum.waitSeconds[i] * 1e3 / n);
        }
        std::fprintf(stderr, "; queued behind others (count)");
        for (int i = 0; i < int(Bands::Wait::kCount); ++i)
            if (sum.dependencies[i]) std::fprintf(stderr, " %s %.1f", kNames[i], sum.dependencies[i] / n);
        std::fprintf(stderr, " in %.1f dependencies", sum.dependencyRecords / n);
        std::fprintf(stderr,
                     "; waited %.2f ms of which drawing %.2f ms (%.1f stretches), %.1f sleeps; %.0f prims, "
                     "%.2f slots each; %.1f wakes\n",
                     total * 1e3 / n, sum.drawSeconds * 1e3 / n, sum.stretches / n, sum.callerSleeps / n,
                     sum.commands / n, sum.commands ? double(sum.listed) / double(sum.commands) : 0.0,
                     sum.wakes / n);
    }
};

void BM_SceneFrameWithShadowsAndParticles(benchmark::State& state) {
    void* common = benchrace::BootSampleDisc();
    if (!SceneSound(state, common, console::vif::Vif1().Errors())) return;
    const uint64_t errorsBefore = console::vif::Vif1().Errors();
    console::gs::Gs().SetRasterThreads(int(state.range(0)));
    console::dma::SetStageMode(state.range(1) ? console::dma::StageMode::kThread
                                              : console::dma::StageMode::kInline);
    CQzGame::cpuTimeSource = racetest::ZeroCpu;
    DLManager.setDemoLoopState(DL_DISABLED);
    constexpr int kWarmUp = 450, kRun = 6, kSkip = 2, kRuns = 50, kKinds = 5;
    constexpr int kEach = kRuns * (kRun - kSkip);
    std::vector<double> t[kKinds];
    double pictures = 0, particles = 0, pixels = 0;
    // Pixels are counted on one thread with the stage inline only: elsewhere the count is complete only
    // once the queues are drained, and draining each frame would change what is measured.
    const bool countPixels = state.range(0) == 1 && state.range(1) == 0;
    int racers = 0;
    Bands* bands = console::gs::Gs().Bands();
    const bool bandStats = bands && BandStatsWanted();
    if (bandStats) bands->SetTiming(true);
    BandStats stats;
    for (auto _ : state) {
        benchrace::AttractOptions();
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;  // every thread count rides the same race
        RandomNumber = Randomizer = 0;
        auto* race = racetest::NewRace(common);
        racers = static_cast<int>(CQzGame::numOfTotalRacers);
        const uint32_t shadowsOn = CShadowView::raceOptions, particlesOn = CParticleSystem::raceOptions,
                       modelsOn = CMotionView::raceOptions;
        CQzGame::drawFrames = false;
        for (int f = 0; f < kWarmUp; ++f) race->updateGame();
        for (int f = 0; f < kKinds * kRuns * kRun; ++f) {
            const int kind = f / kRun % kKinds;
            const bool counted = f % kRun >= kSkip;
            CQzGame::drawFrames = kind != 4;
            CShadowView::raceOptions = kind == 1 ? 0 : shadowsOn;
            CParticleSystem::raceOptions = kind == 2 ? 0 : particlesOn;
            CMotionView::raceOptions = kind == 3 ? 0 : modelsOn;
            const Bands::Stats before = bands ? bands->Statistics() : Bands::Stats{};
            const uint64_t pixels0 = countPixels ? console::gs::Gs().PixelsProcessed() : 0;
            const auto t0 = Clock::now();
            race->updateGame();
            if (!counted) continue;
            t[kind].push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            if (kind != 0) continue;
            if (countPixels) pixels += double(console::gs::Gs().PixelsProcessed() - pixels0);
            if (bandStats) stats.Add(before, bands->Statistics());
            for (auto* o : CQzGame::view[0]->_objects)
                if (auto* s = dynamic_cast<CShadowMotionView*>(o)) pictures += s->texturesMade;
            if (CParticleSystem* ps = CParticleSystem::instance)
                for (auto& b : ps->block) particles += b->usedCount;
        }
        CShadowView::raceOptions = shadowsOn;
        CParticleSystem::raceOptions = particlesOn;
        CMotionView::raceOptions = modelsOn;
        CQzGame::drawFrames = true;
        delete race;
    }
    if (bandStats) bands->SetTiming(false);
    const bool whole = SceneSound(state, common, errorsBefore);
    console::dma::SetStageMode(console::dma::StageMode::kInline);
    console::gs::Gs().SetRasterThreads(1);
    if (!whole) return;
    const double full = Median(t[0]), undrawn = Median(t[4]);
    stats.Print("race", int(state.range(0)), full * 1000.0);
    const double drawing = std::max(full - undrawn, 1e-9);
    state.counters["racers"] = racers;
    state.counters["frame_ms"] = full * 1000.0;
    state.counters["shadows_ms"] = (full - Median(t[1])) * 1000.0;
    state.counters["particles_ms"] = (full - Median(t[2])) * 1000.0;
    state.counters["models_ms"] = (full - Median(t[3])) * 1000.0;
    state.counters["undrawn_ms"] = undrawn * 1000.0;
    state.counters["fps"] = 1.0 / full;
    state.counters["drawing_fps"] = 1.0 / drawing;
    state.counters["shadows_per_frame"] = pictures / kEach;
    state.counters["particles_per_frame"] = particles / kEach;
    if (countPixels) state.counters["pixels_per_frame"] = pixels / kEach;
}
// Two views on a split screen (two players' race with the computer riding for both), the same track: the
// median drawn frame and the median undrawn one, as frames a second.
void BM_SceneSplitScreen(benchmark::State& state) {
    void* common = benchrace::BootSampleDisc(true);
    if (!SceneSound(state, common, console::vif::Vif1().Errors())) return;
    const uint64_t errorsBefore = console::vif::Vif1().Errors();
    console::gs::Gs().SetRasterThreads(int(state.range(0)));
    console::dma::SetStageMode(state.range(1) ? console::dma::StageMode::kThread
                                              : console::dma::StageMode::kInline);
    CQzGame::cpuTimeSource = racetest::ZeroCpu;
    DLManager.setDemoLoopState(DL_DISABLED);
    constexpr int kWarmUp = 450, kRun = 6, kSkip = 2, kRuns = 100;
    std::vector<double> t[2];
    Bands* bands = console::gs::Gs().Bands();
    const bool bandStats = bands && BandStatsWanted();
    if (bandStats) bands->SetTiming(true);
    BandStats stats;
    console::PadInput go = console::PadIdle();
    go.buttons = console::kPadCross;
    for (auto _ : state) {
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;
        RandomNumber = Randomizer = 0;
        racetest::RaceOptions(O01, 1, 2).demoMode = 1;
        auto* race = racetest::NewRace(common);
        CQzGame::drawFrames = false;
        for (int f = 0; f < kWarmUp; ++f) {
            for (int port = 0; port < 2; ++port) console::PadSetInput(port, 0, go);
            race->updateGame();
        }
        for (int f = 0; f < 2 * kRuns * kRun; ++f) {
            const int kind = f / kRun % 2;
            CQzGame::drawFrames = kind == 0;
            for (int port = 0; port < 2; ++port) console::PadSetInput(port, 0, go);
            const Bands::Stats before = bands ? bands->Statistics() : Bands::Stats{};
            const auto t0 = Clock::now();
            race->updateGame();
            if (f % kRun < kSkip) continue;
            t[kind].push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            if (kind == 0 && bandStats) stats.Add(before, bands->Statistics());
        }
        CQzGame::drawFrames = true;
        race->updateGame();
        race->updateGame();
        delete race;
    }
    if (bandStats) bands->SetTiming(false);
    const bool whole = SceneSound(state, common, errorsBefore);
    console::dma::SetStageMode(console::dma::StageMode::kInline);
    console::gs::Gs().SetRasterThreads(1);
    if (!whole) return;
    const double full = Median(t[0]), undrawn = Median(t[1]);
    stats.Print("split", int(state.range(0)), full * 1000.0);
    state.counters["views"] = double(CQzGame::numOfHumanRacers);
    state.counters["frame_ms"] = full * 1000.0;
    state.counters["undrawn_ms"] = undrawn * 1000.0;
    state.counters["fps"] = 1.0 / full;
    state.counters["drawing_fps"] = 1.0 / std::max(full - undrawn, 1e-9);
}
BENCHMARK(BM_SceneSplitScreen)
    ->ArgNames({"threads", "stage"})
    ->ArgsProduct({{1, 2, 4}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

// Arguments: rasteriser threads; the geometry stage inline (0) or on its own thread (1).
BENCHMARK(BM_SceneFrameWithShadowsAndParticles)
    ->ArgNames({"threads", "stage"})
    ->ArgsProduct({{1, 2, 4}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
