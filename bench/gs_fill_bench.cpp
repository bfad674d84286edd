// Fill rate of the graphics synthesizer stand-in: a 640 x 448 screen covered by a grid of triangles
// (square cells, two triangles each), sent as one GIF packet per frame, drawn with 1 to 4 rasteriser threads.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "console/gif/gif_interpreter.h"
#include "console/gs/gs_device.h"

namespace {

using namespace console::gs;
using console::gif::GifInterpreter;
using console::gif::GifTag;
using console::gif::MakeGifTag;

struct Qw {
    uint64_t lo, hi;
};

enum class Scene { kFlatZ, kTexturedBlendZ, kTexturedBilinearBlendZ };

std::vector<Qw> BuildFrame(Scene scene, int cell) {
    std::vector<Qw> regs;
    auto ad = [&regs](uint32_t reg, uint64_t v) { regs.push_back(Qw{v, reg}); };
    const bool tex = scene != Scene::kFlatZ;
    ad(kRegFrame_1, 0 | (10ull << 16));   // 640 wide CT32 at page 0
    ad(kRegZbuf_1, 0x8C | (1ull << 24));  // Z24 at page 0x8C
    ad(kRegXyoffset_1, (uint64_t(1728 * 16)) | (uint64_t(1824 * 16) << 32));
    ad(kRegScissor_1, 639ull << 16 | (447ull << 48));
    ad(kRegTest_1, (1ull << 16) | (uint64_t(kZtstGequal) << 17));
    ad(kRegAlpha_1, 0x44);
    ad(kRegTex0_1,
       0x3480ull | (1ull << 14) | (6ull << 26) | (6ull << 30) | (1ull << 34));  // 64 x 64 CT32, modulate
    ad(kRegTex1_1, scene == Scene::kTexturedBilinearBlendZ ? 0x60 : 0);
    ad(kRegClamp_1, 0);
    const uint64_t prim = kPrimTriangle | (tex ? (1u << 3) | (1u << 4) | (1u << 6) : 0);
    ad(kRegPrim, prim);
    uint32_t z = 1000;
    auto vertex = [&](int x, int y, float s, float t, uint32_t c) {
        uint32_t sb, tb;
        std::memcpy(&sb, &s, 4);
        std::memcpy(&tb, &t, 4);
        if (tex) ad(kRegSt, sb | (uint64_t(tb) << 32));
        ad(kRegRgbaq, (c & 0xFFFFFF) | (0x60ull << 24) | (uint64_t(0x3F800000u) << 32));
        ad(kRegXyz2, uint64_t((1728 + x) * 16) | (uint64_t((1824 + y) * 16) << 16) | (uint64_t(z) << 32));
    };
    // Cells of cell x cell pixels (the last row and column cut to the screen), the texture repeated
    // once per 32 pixels.
    for (int cy = 0; cy < 448; cy += cell) {
        for (int cx = 0; cx < 640; cx += cell) {
            ++z;
            const int w = std::min(cell, 640 - cx), h = std::min(cell, 448 - cy);
            const float su = float(w) / 32.0f, tv = float(h) / 32.0f;
            const uint32_t c = 0x808080u + uint32_t(cx + cy);
            vertex(cx, cy, 0, 0, c);
            vertex(cx + w, cy, su, 0, c ^ 0x202020);
            vertex(cx, cy + h, 0, tv, c ^ 0x101010);
            vertex(cx + w, cy, su, 0, c ^ 0x202020);
            vertex(cx + w, cy + h, su, tv, c);
            vertex(cx, cy + h, 0, tv, c ^ 0x101010);
        }
    }
    std::vector<Qw> pkt;
    const GifTag tag = MakeGifTag(uint32_t(regs.size()), true, console::gif::kFlgPacked, 1, 0xE);
    Qw t;
    std::memcpy(&t, &tag, 16);
    pkt.push_back(t);
    pkt.insert(pkt.end(), regs.begin(), regs.end());
    return pkt;
}

void RunScene(benchmark::State& state, Scene scene) {
    const int cell = int(state.range(0));
    auto gs = std::make_unique<GsDevice>();
    gs->SetRasterThreads(int(state.range(1)));
    GifInterpreter gif(*gs);
    // A 64 x 64 texture in the texture pool.
    for (uint32_t i = 0; i < 64 * 64; ++i)
        gs->Memory().Write32(0x3480 * 256 + i * 4, i * 0x01030507u | 0x80000000u);
    const std::vector<Qw> frame = BuildFrame(scene, cell);
    const uint64_t before = gs->PixelsProcessed();
    gif.Write(3, frame.data(), frame.size());
    const uint64_t perFrame = gs->PixelsProcessed() - before;
    for (auto _ : state) {
        gif.Write(3, frame.data(), frame.size());
        gs->Flush();
        benchmark::ClobberMemory();
    }
    state.counters["pixels_per_frame"] = double(perFrame);
    state.counters["pixel_rate"] =
        benchmark::Counter(double(perFrame) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_GsFillFlatZ(benchmark::State& state) {
    RunScene(state, Scene::kFlatZ);
}
void BM_GsFillTexturedModulateBlendZ(benchmark::State& state) {
    RunScene(state, Scene::kTexturedBlendZ);
}
void BM_GsFillTexturedBilinearModulateBlendZ(benchmark::State& state) {
    RunScene(state, Scene::kTexturedBilinearBlendZ);
}

// Arguments: cell size in pixels (640: two triangles over the whole screen; 32: 560 triangles), threads.
void FillArgs(benchmark::internal::Benchmark* b) {
    b->ArgsProduct({{640, 32}, {1, 2, 4}})->ArgNames({"cell", "threads"})->Unit(benchmark::kMicrosecond);
    b->UseRealTime();
}
BENCHMARK(BM_GsFillFlatZ)->Apply(FillArgs);
BENCHMARK(BM_GsFillTexturedModulateBlendZ)->Apply(FillArgs);
BENCHMARK(BM_GsFillTexturedBilinearModulateBlendZ)->Apply(FillArgs);

}  // namespace

namespace {

// The copy the vertical blank makes of every shown frame: a bilinear DECAL sprite reading the 640 x 448
// frame buffer as a texture into the display buffer.
void BM_GsDisplayCopySprite(benchmark::State& state) {
    auto gs = std::make_unique<GsDevice>();
    gs->SetRasterThreads(int(state.range(0)));
    GifInterpreter gif(*gs);
    for (uint32_t i = 0; i < 640 * 448; ++i) gs->Memory().Write32(i * 4, i * 0x9E3779B1u);
    std::vector<Qw> regs;
    auto ad = [&regs](uint32_t reg, uint64_t v) { regs.push_back(Qw{v, reg}); };
    ad(kRegFrame_1, 0x118 | (10ull << 16));
    ad(kRegZbuf_1, 0x8C | (1ull << 24) | (1ull << 32));
    ad(kRegXyoffset_1, (uint64_t(1728 * 16)) | (uint64_t(1824 * 16) << 32));
    ad(kRegScissor_1, 639ull << 16 | (447ull << 48));
    ad(kRegClamp_1, 0);
    ad(kRegTest_1, 0x30000);
    ad(kRegTex0_1, 0xEA8028000ull);
    ad(kRegTex1_1, 0x100000261ull);
    ad(kRegPrim, 0x116);
    ad(kRegUv, 0);
    ad(kRegRgbaq, 0x80000000ull | (uint64_t(0x3F800000u) << 32));
    ad(kRegXyz2, uint64_t(1728 * 16) | (uint64_t(1824 * 16) << 16) | (10000ull << 32));
    ad(kRegUv, uint64_t(640 * 16) | (uint64_t(448 * 16) << 16));
    ad(kRegXyz2, uint64_t(2368 * 16) | (uint64_t(2272 * 16) << 16) | (10000ull << 32));
    std::vector<Qw> pkt;
    const GifTag tag = MakeGifTag(uint32_t(regs.size()), true, console::gif::kFlgPacked, 1, 0xE);
    Qw t;
    std::memcpy(&t, &tag, 16);
    pkt.push_back(t);
    pkt.insert(pkt.end(), regs.begin(), regs.end());
    for (auto _ : state) {
        gif.Write(3, pkt.data(), pkt.size());
        gs->Flush();
        benchmark::ClobberMemory();
    }
    state.counters["pixel_rate"] =
        benchmark::Counter(640.0 * 448.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_GsDisplayCopySprite)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(4)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
