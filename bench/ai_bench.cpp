// The computer riders' thinking: one AI decision step for seven riders (every rider's facts, its five
// modules, the bike control and the bike controller's packets) in the middle of a race on a generated
// outdoor track. The race runs between the timed steps; a counter gives the median per 60 Hz step in
// microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "../tests/support/ai_race.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_SevenRidersDecide(benchmark::State& state) {
    aitest::AIRace race(biketest::FirstTrack(TrackKind::Outdoor), 2, 7);
    for (int f = 0; f < 30 * 20; ++f) race.Frame();  // into the race, the pack spread out
    std::vector<double> us;
    std::vector<CPacket> packets;
    for (auto _ : state) {
        packets.clear();
        const auto t0 = Clock::now();
        race.Think(packets);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        benchmark::DoNotOptimize(packets.data());
        state.PauseTiming();
        race.Frame();  // the race goes on (its own AI step included) so each step meets a new situation
        state.ResumeTiming();
    }
    std::sort(us.begin(), us.end());
    state.counters["step_median_us"] = us[us.size() / 2];
    state.counters["step_max_us"] = us.back();
}
BENCHMARK(BM_SevenRidersDecide)->Unit(benchmark::kMicrosecond)->Iterations(3000);

}  // namespace
