// The world: loading the largest (4 x 4 tile) world from the disc into a world model, and the terrain
// queries the bikes make, 100,000 height-and-normal lookups along paths across the world.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "engine/sys/bitmap_format.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "world/spline_format.h"
#include "world/subtile_model.h"
#include "world/terrain_map_format.h"
#include "world/world_file_format.h"
#include "world/world_loader.h"
#include "world/world_model.h"

namespace {

constexpr int kGrid = 20;

// A 4 x 4 world of rolling hills, a 32 x 32 bitmap per subtile and 30 placements.
std::vector<uint8_t> LargestWorld() {
    WorldDescription w;
    w.tilesPerSide = 4;
    w.gridSize = kGrid;
    const int cells = 4 * worldfile::kTileCells;
    w.heights.resize(static_cast<size_t>(cells) * cells);
    for (int z = 0; z < cells; ++z)
        for (int x = 0; x < cells; ++x)
            w.heights[static_cast<size_t>(z) * cells + x] =
                static_cast<uint16_t>(20000 + 6000 * std::sin(x / 40.0) * std::cos(z / 55.0));
    BitmapImage img;
    img.width = img.height = 32;
    img.pixels.resize(32 * 32);
    for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = static_cast<uint8_t>(i % 7);
    for (uint32_t i = 0; i < 256; ++i) img.palette.push_back(0xFF000000u | i * 0x010203u);
    const std::vector<uint8_t> bitmap = WriteBitmap(img);
    w.colourBitmaps.assign(256, bitmap);
    w.detailBitmap = bitmap;
    w.typeTable = {MakeTypeRecord(1, 40, 0, 1, 0, 10)};
    w.descriptions.resize(1);
    w.descriptions[0].geometries.push_back(std::vector<uint8_t>(64, 0));
    for (int i = 0; i < 30; ++i) {
        WorldPlacement p;
        p.record.x = 500.0f + 500.0f * i;
        p.record.z = 300.0f + 450.0f * i;
        w.placements.push_back(p);
    }
    // A waypoint loop around the middle; one surface code everywhere.
    SplineSection splines;
    for (int i = 0; i < 64; ++i) {
        const float a = static_cast<float>(i) * 6.2831853f / 64.0f;
        const float x = 8960.0f + 6000.0f * std::cos(a), z = 8960.0f + 6000.0f * std::sin(a);
        splines[0].points.push_back(SplinePointFromWorld(x, -3000.0f, z, 1.0f, kGrid, 16));
    }
    w.splineSection = WriteSplineSection(splines);
    w.terrainMap = terrainmap::WriteMap(std::vector<uint8_t>(terrainmap::kSide * terrainmap::kSide, 2));
    for (auto& t : w.bonuses.type) t = TRACK_BONUS_NONE;
    return WriteWorldFile(w);
}

std::string g_disc;

// A disc directory holding WORLD/o01.bin, removed when the program ends.
std::string MakeDisc() {
    char tmpl[] = "/tmp/qz-world-bench-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    g_disc = dir;
    std::atexit([] {
        std::remove((g_disc + "/WORLD/o01.bin").c_str());
        std::remove((g_disc + "/WORLD").c_str());
        std::remove(g_disc.c_str());
    });
    mkdir((dir + "/WORLD").c_str(), 0755);
    const auto image = LargestWorld();
    std::FILE* f = std::fopen((dir + "/WORLD/o01.bin").c_str(), "wb");
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
    return dir;
}

struct QuietLog {
    QuietLog() : saved(x_GetIODriver()->FnPrint) {
        x_GetIODriver()->FnPrint = [](const char*) {};
    }
    ~QuietLog() { x_GetIODriver()->FnPrint = saved; }
    void (*saved)(const char*);
};

void BM_LoadLargestWorld(benchmark::State& state) {
    static const std::string dir = MakeDisc();
    x_InitSTDIO();
    PS2CD_ResetFiles();
    console::CdMount(dir.c_str());
    QuietLog quiet;
    for (auto _ : state) {
        void* image = LoadWorldFile("WORLD\\o01.bin");
        if (!image) {
            state.SkipWithError("world refused");
            break;
        }
        auto* model = new CWorldModel;
        BuildWorldModel(*model, image);
        benchmark::DoNotOptimize(model->stmList.size());
        delete model;
        x_free(image);
    }
    CWorldModel::resetStatics();
    CSubtileModel::resetStatics();
    console::CdUnmount();
}
BENCHMARK(BM_LoadLargestWorld)->Unit(benchmark::kMillisecond);

// 100,000 queries per iteration along eight riders' paths (each a step of a few units, as bikes move
// between frames) or at scattered points (every query a different subtile).
void BM_HeightAndNormal(benchmark::State& state) {
    const bool scattered = state.range(0) != 0;
    static const std::vector<uint8_t> bytes = LargestWorld();
    void* image = x_fn_malloc(static_cast<uint32_t>(bytes.size()), "", 0);
    std::memcpy(image, bytes.data(), bytes.size());
    auto* model = new CWorldModel;
    BuildWorldModel(*model, image);
    constexpr int kQueries = 100000;
    std::vector<float> xs(kQueries), zs(kQueries);
    const float side = 896.0f * kGrid;
    uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (int i = 0; i < kQueries; ++i) {
        if (scattered) {
            xs[i] = (next() % 1000000) * (side - 100) / 1000000.0f;
            zs[i] = (next() % 1000000) * (side - 100) / 1000000.0f;
        } else {
            const int rider = i % 8;
            const float t = static_cast<float>(i / 8) * 1.7f;
            xs[i] = std::fmod(1000.0f + rider * 1500.0f + t, side - 100);
            zs[i] = std::fmod(800.0f + rider * 1200.0f + 0.6f * t, side - 100);
        }
    }
    float sum = 0;
    for (auto _ : state) {
        for (int i = 0; i < kQueries; ++i) {
            float h;
            qzVector3d n;
            model->getHeightAndNormalAt(xs[i], zs[i], h, n);
            sum += h + n.y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kQueries);
    delete model;
    x_free(image);
    CWorldModel::resetStatics();
    CSubtileModel::resetStatics();
}
BENCHMARK(BM_HeightAndNormal)->Arg(0)->Arg(1)->ArgName("scattered")->Unit(benchmark::kMicrosecond);

}  // namespace
