// Spline queries of a race frame on an oval track of a 4 x 4-tile world at grid spacing 8: the waypoint
// search that finds each racer's new spline time from its position (the nearest-point query, gated by
// the checkpoint walk over the terrain map), and plain point-and-direction lookups.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/sys/files.h"
#include "world/spline_format.h"
#include "world/spline_manager.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"

namespace {

constexpr int kTiles = 16;
constexpr float kGrid = 8.0f;
constexpr int kQueries = 100000;

struct Track {
    std::vector<uint8_t> map, section;
    std::vector<float> times;
    std::vector<qzVector3d> racers;
    CSplineManager* manager = nullptr;
};

// An ellipse of 160 points around the world's centre (about 14,000 units round), eight checkpoint
// bands across it, racers scattered up to 30 units ahead of their times and 20 to the side.
Track& TheTrack() {
    static Track track = [] {
        Track t;
        const float side = 896.0f * kGrid, cx = side / 2, cz = side / 2, rx = 2800, rz = 1600;
        const int n = 160;
        std::vector<uint8_t> codes(size_t(terrainmap::kSide) * terrainmap::kSide, loam);
        for (uint32_t z = 0; z < terrainmap::kSide; ++z)
            for (uint32_t x = 0; x < terrainmap::kSide; ++x) {
                const float wx = (x + 0.5f) / 2 * kGrid - cx, wz = (z + 0.5f) / 2 * kGrid - cz;
                const float angle = std::atan2(wz / rz, wx / rx) + 3.14159265f;
                const int band = int(angle / (2 * 3.14159265f) * 64);
                if (band % 8 == 0) codes[size_t(z) * terrainmap::kSide + x] = uint8_t(checkpoint0 + band / 8);
            }
        t.map = terrainmap::WriteMap(codes);
        SplineSection s;
        for (int i = 0; i < n; ++i) {
            const float a = 2 * 3.14159265f * float(i) / float(n);
            s[0].points.push_back(
                SplinePointFromWorld(cx + rx * std::cos(a), 0, cz + rz * std::sin(a), 1.0f, kGrid, kTiles));
        }
        s[0].loopConnect = 0;
        s[0].lapWaypoint = 1;
        t.section = WriteSplineSection(s);
        CTerrainType::getInstance()->setPointer(t.map.data(), t.map.size(), kTiles, int(kGrid));
        t.manager = CSplineManager::getSplineManager();
        t.manager->loadSplines(t.section.data(), t.section.size(), kGrid, kTiles);
        const CQZSpline& way = t.manager->spline(CSplineManager::WayPoint);
        const float length = way.GetPointTime(n - 1);
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return float(seed >> 8) / float(1u << 24);
        };
        for (int q = 0; q < kQueries; ++q) {
            const float time = 1.0f + next() * (length - 200.0f);
            qzVector3d p, d;
            t.manager->getPoint(time + next() * 30.0f, CSplineManager::WayPoint, p, d);
            const float side20 = (next() - 0.5f) * 40.0f;
            t.times.push_back(time);
            t.racers.emplace_back(p.x - d.z * side20, p.y, p.z + d.x * side20);
        }
        return t;
    }();
    return track;
}

void BM_SplineNearestPoint(benchmark::State& state) {
    Track& t = TheTrack();
    for (auto _ : state) {
        float sum = 0.0f;
        for (int q = 0; q < kQueries; ++q) sum += t.manager->advanceControlTime(t.times[q], t.racers[q], 255);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
}
BENCHMARK(BM_SplineNearestPoint)->Unit(benchmark::kMillisecond);

void BM_SplinePointAndDirection(benchmark::State& state) {
    Track& t = TheTrack();
    for (auto _ : state) {
        qzVector3d p, d;
        float sum = 0.0f;
        for (int q = 0; q < kQueries; ++q) {
            t.manager->getPoint(t.times[q], CSplineManager::WayPoint, p, d);
            sum += p.x + d.z;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
}
BENCHMARK(BM_SplinePointAndDirection)->Unit(benchmark::kMillisecond);

}  // namespace
