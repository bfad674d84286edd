// The world view: one race frame headless at 640 x 448 on the largest world (the 4 x 4 tile baja track),
// seen from behind the start line as the follow camera sees it, terrain at both levels with its seams
// and the scenery in view (with and without the sky); and the world view's loading of that world
// (descriptions, subtile models and renderers, quad tree, splines, seams, placed objects).
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/support/world_view_scene.h"
#include "console/vif/vif.h"
#include "mkdisc/track_design.h"
#include "mkdisc/tracks.h"
#include "race/scene/subtile_view.h"

namespace {

const TrackSpec& Largest() {
    for (const TrackSpec& s : TrackSpecs())
        if (s.kind == TrackKind::Baja) return s;
    return TrackSpecs().front();
}

// Argument 0: the world view's frame (terrain, seams, scenery and the placed objects); 1: with the sky
// the race draws around it.
void BM_WorldViewRaceFrame(benchmark::State& state) {
    const TrackDesign d = DesignTrack(Largest());
    testsupport::WorldViewScene scene(PackWorld(d), TRACKTYPE_BAJA, 0x300, state.range(0) != 0);
    const CentrePoint& c = d.centre[0];
    const float h = -d.heightAt(c.x, c.z);
    scene.look(c.x - 350 * c.dirX, h - 150, c.z - 350 * c.dirZ, c.x + 1000 * c.dirX, h, c.z + 1000 * c.dirZ);
    CSubtileViewPS2::counters = {};
    uint64_t frames = 0;
    const uint64_t errorsBefore = console::vif::Vif1().Errors();
    for (auto _ : state) {
        scene.frame(false);
        ++frames;
    }
    // The last frame's list runs at the next frame's start and reads the world image: run it while the
    // scene still holds the image, not in whatever the next benchmark puts in its place.
    for (int k = 0; k < 2; ++k) {
        veEngineBeginFrame();
        veEngineEndFrame();
    }
    if (console::vif::Vif1().Errors() != errorsBefore)
        state.SkipWithError("geometry transfers were dropped: the frames were not whole");
    state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["subtiles"] = scene.worldView->visibleCount;
    state.counters["instances"] = static_cast<double>(CSubtileViewPS2::counters.instances) / double(frames);
}
BENCHMARK(BM_WorldViewRaceFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WorldViewLoadLargestWorld(benchmark::State& state) {
    const std::vector<uint8_t> image = BuildWorld(Largest());
    for (auto _ : state) {
        testsupport::WorldViewScene scene(image, TRACKTYPE_BAJA);
        benchmark::DoNotOptimize(scene.worldView->stvList.data());
    }
}
BENCHMARK(BM_WorldViewLoadLargestWorld)->Unit(benchmark::kMillisecond);

}  // namespace
