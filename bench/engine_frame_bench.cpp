// One engine frame headless: begin (which runs the previous frame's DMA list and waits for the blank
// that shows it: the filtered copy into the display buffer and the clear), drawing, end. An empty frame,
// and a frame of 1,000 flat 2D quads of 16 x 16 pixels.
#include <benchmark/benchmark.h>

#include "../tests/support/engine_boot.h"
#include "engine/hal/display.h"
#include "engine/hal/engine.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"

namespace {

_ve_vertex V(float x, float y, uint32_t c) {
    _ve_vertex v{};
    v.x = x;
    v.y = y;
    v.w = 1.0f;
    v.q = 1.0f;
    v.r = c & 0xFF;
    v.g = (c >> 8) & 0xFF;
    v.b = (c >> 16) & 0xFF;
    v.a = 128;
    return v;
}

void BM_EngineEmptyFrame(benchmark::State& state) {
    testsupport::BootEngineOnce();
    for (auto _ : state) {
        veEngineBeginFrame();
        veEngineEndFrame();
    }
}
BENCHMARK(BM_EngineEmptyFrame)->Unit(benchmark::kMillisecond);

void BM_EngineFrame1000Quads(benchmark::State& state) {
    testsupport::BootEngineOnce();
    static _ve_view view;
    veDisplayCreateView2D(&view, 0, 0, 640, 448, kViewAspectFromViewport, 0.5f);
    int frame = 0;
    for (auto _ : state) {
        veEngineBeginFrame();
        veDisplayActivateView(&view);
        veRenderContextDisable(kRenderTexture);
        for (int i = 0; i < 1000; ++i) {
            const float x = static_cast<float>((i * 37 + frame) % 620);
            const float y = static_cast<float>((i * 53) % 430);
            const uint32_t c = 0x102030u * static_cast<uint32_t>(i + 1);
            _ve_quad q{V(x, y, c), V(x + 16, y, c), V(x + 16, y + 16, c), V(x, y + 16, c)};
            vePrimDrawQuad(&q);
        }
        veEngineEndFrame();
        ++frame;
    }
    state.counters["quads"] = 1000;
}
BENCHMARK(BM_EngineFrame1000Quads)->Unit(benchmark::kMillisecond);

}  // namespace
