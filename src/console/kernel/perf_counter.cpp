#include "console/kernel/perf_counter.h"

#include <atomic>

#include "console/kernel/clock.h"

namespace {
// Atomics: a vertical-blank handler running on another thread may restart the counter while the main
// loop reads it. Each value is read on its own, so a reader can be off by one restart, as on the console.
std::atomic<bool> g_running{false};
std::atomic<uint64_t> g_startCycles{0};  // clock value at the last start
std::atomic<uint32_t> g_initial0{0};     // counter 0's value at the last start
std::atomic<uint32_t> g_frozen0{0};      // counter 0's value while stopped
std::atomic<uint32_t> g_counter1{0};

uint32_t Counter0() {
    if (!g_running) return g_frozen0;
    return g_initial0.load() + static_cast<uint32_t>(console::ClockCycles() - g_startCycles.load());
}
}  // namespace

void scePcStart(int control, int counter0, int counter1) {
    (void)control;
    g_startCycles = console::ClockCycles();
    g_initial0 = static_cast<uint32_t>(counter0);
    g_counter1 = static_cast<uint32_t>(counter1);
    g_running = true;
}

void scePcStop() {
    g_frozen0 = Counter0();
    g_running = false;
}

int scePcGetCounter0() {
    return static_cast<int>(Counter0());
}
int scePcGetCounter1() {
    return static_cast<int>(g_counter1);
}

namespace console {
bool PcRunning() {
    return g_running;
}
void PcReset() {
    g_running = false;
    g_startCycles = 0;
    g_initial0 = 0;
    g_frozen0 = 0;
    g_counter1 = 0;
}
}  // namespace console
