// Triangle set-up of the graphics synthesizer stand-in's rasteriser: triangles drawn straight through one
// rasteriser (no GIF, no device), in the sizes a race frame has most of: 1-16 pixels, ones that cover no
// pixel centre, 60-200 pixel ones, and ones shaped as the race's terrain draws them, with the race's common
// state (8-bit palette texture, bilinear, Gouraud, perspective, Z24 GEQUAL) and a flat untextured one; and
// the same small triangles as seen by one band worker of 32 (most of them in other bands). Reports the time a
// triangle (ns_per_tri) and the time stamp counter's cycles a triangle (tsc_per_tri); and the same triangles
// drawn by the band slots their rows reach.
#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "console/gs/gs_registers.h"
#include "console/gs/local_memory.h"
#include "console/gs/rasterizer.h"

namespace {

using namespace console::gs;

struct Tri {
    GsVertex v[3];
};

// A small linear congruential generator: the same triangles on every run.
struct Lcg {
    uint32_t s;
    uint32_t operator()(uint32_t m) {
        s = s * 1103515245u + 12345u;
        return (s >> 8) % m;
    }
};

// Triangles spread over a 640 x 448 screen; `size` is the largest extent in 1/16 pixels.
std::vector<Tri> MakeTriangles(int count, int minSize, int size, uint32_t seed) {
    std::vector<Tri> out(static_cast<size_t>(count));
    Lcg rnd{seed};
    for (Tri& t : out) {
        const int cx = int(rnd(620 * 16)) + 160, cy = int(rnd(430 * 16)) + 160;
        for (GsVertex& v : t.v) {
            v = GsVertex{};
            v.x = cx + minSize / 2 + int(rnd(uint32_t(size - minSize + 1))) - size / 2;
            v.y = cy + minSize / 2 + int(rnd(uint32_t(size - minSize + 1))) - size / 2;
            v.z = 100000 + rnd(1000);
            v.r = uint8_t(rnd(256));
            v.g = uint8_t(rnd(256));
            v.b = uint8_t(rnd(256));
            v.a = 0x80;
            v.q = 0.5f + float(rnd(100)) / 100.0f;
            v.s = float(rnd(100)) / 100.0f * v.q;
            v.t = float(rnd(100)) / 100.0f * v.q;
        }
    }
    return out;
}

// Triangles shaped as a race frame's terrain draws them (most of its triangles): 2-30 pixels wide, half of
// them within one row of centres, three in ten 2-4 rows high, the rest up to 12; one colour at all three
// vertices for most, perspective texture coordinates.
std::vector<Tri> MakeTerrainTriangles(int count, uint32_t seed) {
    std::vector<Tri> out(static_cast<size_t>(count));
    Lcg rnd{seed};
    for (Tri& t : out) {
        const int cx = int(rnd(600 * 16)) + 160, cy = int(rnd(420 * 16)) + 160;
        const int w = 32 + int(rnd(28 * 16));
        const uint32_t kind = rnd(10);
        const int h = kind < 5 ? 8 + int(rnd(16)) : kind < 8 ? 32 + int(rnd(48)) : 80 + int(rnd(112));
        const int xs[3] = {cx, cx + w, cx + int(rnd(uint32_t(w)))};
        const int ys[3] = {cy, cy + int(rnd(9)) - 4, cy + (rnd(2) ? h : -h)};
        const bool oneColour = rnd(100) < 85;
        for (int i = 0; i < 3; ++i) {
            GsVertex& v = t.v[i];
            v = GsVertex{};
            v.x = xs[i];
            v.y = ys[i];
            v.z = 100000 + rnd(1000);
            v.r = oneColour ? 0x80 : uint8_t(rnd(256));
            v.g = oneColour ? 0x80 : uint8_t(rnd(256));
            v.b = oneColour ? 0x80 : uint8_t(rnd(256));
            v.a = 0x80;
            v.q = 0.5f + float(rnd(100)) / 100.0f;
            v.s = float(rnd(100)) / 100.0f * v.q;
            v.t = float(rnd(100)) / 100.0f * v.q;
        }
    }
    return out;
}

DrawState RaceState(bool textured) {
    DrawState st;
    st.fbBase = 0;
    st.fbw = 10;
    st.fpsm = kPsmCt32;
    st.zBase = 140 * LocalMemory::kPageBytes;
    st.zpsm = kPsmZ24;
    st.zte = true;
    st.ztst = kZtstGequal;
    st.scx1 = 639;
    st.scy1 = 447;
    st.gouraud = textured;
    st.textured = textured;
    if (textured) {
        static uint32_t clut[256];
        for (uint32_t i = 0; i < 256; ++i) clut[i] = i * 0x01010101u;
        st.tBase = 300 * LocalMemory::kPageBytes;
        st.tbw = 1;
        st.tpsm = kPsmT8;
        st.tw = st.th = 6;
        st.tfx = kTfxModulate;
        st.bilinearMag = true;
        st.clut = clut;
    }
    st.texFast = Rasterizer::TexFastApplies(st);
    st.version = 1;
    return st;
}

// Arguments: triangle kind (0: 1-16 pixels, 1: no pixel centre, 2: 60-200 pixels, 3: terrain's shapes),
// textured, band worker.
void BM_TriangleSetup(benchmark::State& state) {
    const int kind = int(state.range(0));
    const bool textured = state.range(1) != 0, band = state.range(2) != 0;
    auto mem = std::make_unique<LocalMemory>();
    Rasterizer rast(*mem);
    if (band) rast.SetBand(5, 32);
    const DrawState st = RaceState(textured);
    const int sizes[3][2] = {{40, 120}, {1, 12}, {300, 640}};
    const std::vector<Tri> tris =
        kind == 3 ? MakeTerrainTriangles(4096, 7) : MakeTriangles(4096, sizes[kind][0], sizes[kind][1], 7);
    uint64_t drawn = 0, tsc = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto c0 = std::chrono::steady_clock::now();
        const uint64_t t0 = __rdtsc();
        for (const Tri& t : tris) rast.DrawTriangle(st, t.v[0], t.v[1], t.v[2], t.v[2]);
        tsc += __rdtsc() - t0;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - c0).count();
        drawn += tris.size();
    }
    state.counters["ns_per_tri"] = seconds * 1e9 / double(drawn);
    state.counters["tsc_per_tri"] = double(tsc) / double(drawn);
    state.counters["px_per_tri"] = double(rast.PixelsProcessed()) / double(drawn);
}
// The same triangles as the raster threads' slots see them: each drawn by the rasteriser of every slot of
// 32 whose bands its rows reach, as the queue lists it (one thread here, slot after slot for each
// triangle). Reports the time stamp counter's cycles a triangle and the listings a triangle (slots_per_tri).
void BM_TriangleSetupSlots(benchmark::State& state) {
    constexpr int kSlots = 32;
    const int kind = int(state.range(0));
    auto mem = std::make_unique<LocalMemory>();
    std::vector<std::unique_ptr<Rasterizer>> slots;
    for (int i = 0; i < kSlots; ++i) {
        slots.push_back(std::make_unique<Rasterizer>(*mem, true));
        slots.back()->SetBand(i, kSlots);
    }
    const DrawState st = RaceState(true);
    const int sizes[3][2] = {{40, 120}, {1, 12}, {300, 640}};
    const std::vector<Tri> tris = MakeTriangles(4096, sizes[kind][0], sizes[kind][1], 7);
    // The bands each triangle's rows can reach.
    std::vector<std::pair<int, int>> bands;
    uint64_t listed = 0;
    for (const Tri& t : tris) {
        const int32_t y0 = std::min({t.v[0].y, t.v[1].y, t.v[2].y}),
                      y1 = std::max({t.v[0].y, t.v[1].y, t.v[2].y});
        const int r0 = std::max((y0 + 7) >> 4, st.scy0), r1 = std::min((y1 - 8) >> 4, st.scy1);
        bands.emplace_back(r0 >> Rasterizer::kBandShift, r1 >> Rasterizer::kBandShift);
        if (r0 <= r1) listed += uint64_t(bands.back().second - bands.back().first + 1);
    }
    uint64_t drawn = 0, tsc = 0;
    for (auto _ : state) {
        const uint64_t t0 = __rdtsc();
        for (size_t i = 0; i < tris.size(); ++i) {
            const Tri& t = tris[i];
            for (int b = bands[i].first; b <= bands[i].second; ++b)
                slots[size_t(b % kSlots)]->DrawTriangle(st, t.v[0], t.v[1], t.v[2], t.v[2]);
        }
        tsc += __rdtsc() - t0;
        drawn += tris.size();
    }
    state.counters["tsc_per_tri"] = double(tsc) / double(drawn);
    state.counters["slots_per_tri"] = double(listed) / double(tris.size());
}
BENCHMARK(BM_TriangleSetupSlots)->ArgNames({"kind"})->Arg(0)->Arg(2);

BENCHMARK(BM_TriangleSetup)
    ->ArgNames({"kind", "tex", "band"})
    ->Args({0, 1, 0})
    ->Args({0, 0, 0})
    ->Args({1, 1, 0})
    ->Args({2, 1, 0})
    ->Args({3, 1, 0})
    ->Args({0, 1, 1});

}  // namespace
