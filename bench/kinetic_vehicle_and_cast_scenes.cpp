// The physics benchmark scenes of the vehicle framework and the segment queries:
// S3: eight two-wheel raycast vehicles with roll constraints on the height field, throttle rising from 0
//     to 1 over the first second, steering angle 0.2 sin(t), 1,200 steps of 1/60 s;
// S4: 10,000 vertical casts, 50 above to 50 below the surface, against the height field and the 500
//     fixed boxes of S2, each keeping the nearest hit.
// The counters give the median and maximum per step (S3) or the time of all 10,000 casts (S4), in
// microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../tests/kinetic/vehicle/test_vehicle.h"
#include "kinetic/collide/group_segment_test.h"
#include "kinetic/collide/segment_test.h"
#include "kinetic_scene_world.h"

namespace {

using namespace kinetic_bench;
using namespace Kinetic::testing_vehicle;

using Clock = std::chrono::steady_clock;

double micros(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

struct VehicleScene {
    VehicleScene() : world(true, 257), chassisBox(boxGeometry(Vector3(0.3f, 1.0f, 0.5f))) {
        for (int k = 0; k < 8; ++k) {
            const float x = 60.0f + 5.0f * static_cast<float>(k), z = 60.0f;
            auto solver = std::make_unique<IntersectionSolver>();
            solver->addBodiesFromSubspace(world.kit.m_defaultSubspace, true);
            rigs.push_back(std::make_unique<VehicleRig>(world.kit, solver.get(), chassisBox.get(),
                                                        Vector3(x, -groundHeight(x, z) - 1.2f, z)));
            solvers.push_back(std::move(solver));
        }
    }
    ~VehicleScene() { rigs.clear(); }
    SceneWorld world;
    std::unique_ptr<Geometry> chassisBox;
    std::vector<std::unique_ptr<IntersectionSolver>> solvers;
    std::vector<std::unique_ptr<VehicleRig>> rigs;
};

void BM_KineticS3Vehicles(benchmark::State& state) {
    std::vector<double> all;
    double upright = 0.0, speed = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto scene = std::make_unique<VehicleScene>();
        state.ResumeTiming();
        for (int s = 1; s <= 1200; ++s) {
            const float t = static_cast<float>(s - 1) / 60.0f;
            for (auto& r : scene->rigs) {
                r->input->m_acceleratorPedalInput = std::min(1.0f, t);
                r->input->m_steeringWheelInput = std::sin(t);  // 0.2 rad at full input
            }
            const auto t0 = Clock::now();
            scene->world.kit.m_defaultWorld->stepTo(static_cast<float>(s) / 60.0f, 1);
            all.push_back(micros(t0, Clock::now()));
        }
        state.PauseTiming();
        for (auto& r : scene->rigs) {
            upright = std::max(upright, static_cast<double>(std::fabs(r->lean())));
            speed += r->forwardSpeed();
        }
        scene.reset();
        state.ResumeTiming();
    }
    std::sort(all.begin(), all.end());
    state.counters["step_median_us"] = all[all.size() / 2];
    state.counters["step_max_us"] = all.back();
    state.counters["steps"] = 1200;
    state.counters["final_max_lean_rad"] = upright;
    state.counters["final_mean_speed"] = speed / (8.0 * static_cast<double>(state.iterations()));
}

// Successive pairs of the scene's linear congruential generator.
struct Lcg {
    uint64_t s = 12345;
    float next() {
        s = (1103515245ull * s + 12345ull) % 2147483648ull;
        return static_cast<float>(static_cast<double>(s) / 2147483648.0);
    }
};

// Folds a cast's outcome (hit or not, distance, normal, kind of shape) into a running hash, so that two
// builds can be compared hit for hit.
uint64_t foldHit(uint64_t h, const ClosestHitSegmentTest& t) {
    auto mix = [&h](uint32_t v) { h = (h ^ v) * 1099511628211ull; };
    mix(t.m_isTestValid);
    if (!t.m_isTestValid) return h;
    const float f[4] = {t.m_hit.m_distance, t.m_hit.m_normal.x, t.m_hit.m_normal.y, t.m_hit.m_normal.z};
    for (float x : f) {
        uint32_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        mix(bits);
    }
    mix(static_cast<uint32_t>(t.m_hit.m_primitive->getType()));
    return h;
}

void castAll(benchmark::State& state, bool grouped) {
    SceneWorld world(false, 257);
    addPostGrid(world, false);
    world.kit.m_defaultWorld->stepTo(1.0f / 60.0f, 1);  // bounding boxes as the game has them
    IntersectionSolver solver;
    solver.addBodiesFromSubspace(world.kit.m_defaultSubspace, true);
    std::vector<double> all;
    int hits = 0, boxHits = 0;
    uint64_t hash = 0;
    // Grouped casts keep one group and its query from cast to cast, as the wheels do.
    GroupSegmentTest group;
    group.addTest(new ClosestHitSegmentTest(Segment()));
    auto* t = static_cast<ClosestHitSegmentTest*>(group.m_tests[0]);
    for (auto _ : state) {
        Lcg lcg;
        hits = boxHits = 0;
        hash = 14695981039346656037ull;
        const auto t0 = Clock::now();
        for (int i = 0; i < 10000; ++i) {
            const float x = 10.0f + 236.0f * lcg.next(), z = 10.0f + 236.0f * lcg.next();
            const float surface = -groundHeight(x, z);
            const Segment seg =
                Segment::between(Vector3(x, surface - 50.0f, z), Vector3(x, surface + 50.0f, z));
            if (grouped) {
                t->restart(seg);
                group.restart();
                solver.solveGroupTest(group);
                hits += t->m_isTestValid;
                hash = foldHit(hash, *t);
                boxHits += t->m_isTestValid && t->m_hit.m_primitive->getType() == CD_CXGEOMETRIC;
            } else {
                ClosestHitSegmentTest t(seg);
                solver.solveSingleTest(t);
                hits += t.m_isTestValid;
                hash = foldHit(hash, t);
                boxHits += t.m_isTestValid && t.m_hit.m_primitive->getType() == CD_CXGEOMETRIC;
            }
        }
        all.push_back(micros(t0, Clock::now()));
    }
    std::sort(all.begin(), all.end());
    state.counters["all_casts_median_us"] = all[all.size() / 2];
    state.counters["all_casts_max_us"] = all.back();
    state.counters["hits"] = hits;
    state.counters["box_hits"] = boxHits;
    state.counters["hit_hash_low24"] = static_cast<double>(hash & 0xFFFFFF);
    state.counters["hit_hash_high24"] = static_cast<double>((hash >> 40) & 0xFFFFFF);
}

void BM_KineticS4Casts(benchmark::State& state) {
    castAll(state, false);
}

// The same casts as one-segment groups, which cull primitives by the group's box first.
void BM_KineticS4CastsGrouped(benchmark::State& state) {
    castAll(state, true);
}

}  // namespace

BENCHMARK(BM_KineticS3Vehicles)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KineticS4Casts)->Iterations(9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KineticS4CastsGrouped)->Iterations(9)->Unit(benchmark::kMillisecond);
