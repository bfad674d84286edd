// Eight bikes racing from the start grid of the largest generated world (a 4 x 4 tile baja track), full
// throttle and scripted steering, no drawing: the time of each whole 60 Hz model step (packets, physics
// with the vehicles, lean constraints and terrain, then the bikes' updates) over 1,200 steps. The
// counters give the median and maximum per step in microseconds, and how far the bikes got.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "../tests/bike/bike_world.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_EightBikesOnTheLargestWorld(benchmark::State& state) {
    const TrackSpec& spec = biketest::FirstTrack(TrackKind::Baja);
    std::vector<double> all;
    double speed = 0.0, worstHeight = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        auto world = std::make_unique<biketest::BikeWorld>(spec, 8);
        std::vector<KineticBike*> bikes;
        for (unsigned i = 0; i < 8; ++i) bikes.push_back(world->AddBike(i, i != 0));
        state.ResumeTiming();
        for (int s = 0; s < 1200; ++s) {
            // Each rider weaves at its own pace: left, straight, right.
            std::vector<CPacket> packets;
            for (unsigned i = 0; i < 8; ++i) {
                const float w = std::sin(0.02f * static_cast<float>(s) + 0.7f * static_cast<float>(i));
                const int turn = w < -0.3f ? BIKEACTION_LEFT_TURN : w > 0.3f ? BIKEACTION_RIGHT_TURN : 0;
                const auto amount = static_cast<uint8_t>(60.0f + 80.0f * std::fabs(w));
                packets.push_back(
                    biketest::BikeWorld::Packet(bikes[i], {BIKEACTION_ACCEL, turn}, 100, 0, amount, amount));
            }
            const auto t0 = Clock::now();
            world->Step(std::move(packets));
            all.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        state.PauseTiming();
        for (KineticBike* b : bikes) {
            speed += b->frame.linearVelocityMag;
            const float ground = world->world->getHeightAt(b->position.x, b->position.z);
            worstHeight = std::max(worstHeight, static_cast<double>(std::fabs(b->position.y - ground)));
        }
        world.reset();
        state.ResumeTiming();
    }
    std::sort(all.begin(), all.end());
    state.counters["step_median_us"] = all[all.size() / 2];
    state.counters["step_max_us"] = all.back();
    state.counters["final_max_height_above_ground"] = worstHeight;  // world units
    state.counters["final_mean_speed"] = speed / (8.0 * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_EightBikesOnTheLargestWorld)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
