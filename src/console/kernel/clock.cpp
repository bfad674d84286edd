#include "console/kernel/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace console {
namespace {

// Deterministic time lives in g_virtualCycles. In real time, cycles are the wall clock since
// g_realBase, offset by g_realOffset so that switching modes never makes time jump backwards.
std::atomic<ClockMode> g_mode{ClockMode::Deterministic};
std::atomic<uint64_t> g_virtualCycles{0};
std::atomic<uint64_t> g_vblanks{0};
std::chrono::steady_clock::time_point g_realBase = std::chrono::steady_clock::now();
uint64_t g_realOffset = 0;

uint64_t NanosToCycles(uint64_t ns) {
    // Split so that the product cannot overflow 64 bits for any realistic run length.
    const uint64_t s = ns / 1000000000ull;
    const uint64_t rem = ns % 1000000000ull;
    return s * kCpuCyclesPerSecond + rem * kCpuCyclesPerSecond / 1000000000ull;
}

uint64_t RealCycles() {
    const auto d = std::chrono::steady_clock::now() - g_realBase;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return g_realOffset + NanosToCycles(ns < 0 ? 0 : static_cast<uint64_t>(ns));
}

}  // namespace

void ClockSetMode(ClockMode mode) {
    if (mode == g_mode.load()) return;
    if (mode == ClockMode::RealTime) {
        g_realOffset = g_virtualCycles.load();
        g_realBase = std::chrono::steady_clock::now();
    } else {
        g_virtualCycles.store(RealCycles());
    }
    g_mode.store(mode);
}

ClockMode ClockGetMode() {
    return g_mode.load();
}

uint64_t ClockCycles() {
    return g_mode.load() == ClockMode::Deterministic ? g_virtualCycles.load() : RealCycles();
}

uint64_t ClockTickVblank() {
    if (g_mode.load() == ClockMode::Deterministic) g_virtualCycles.fetch_add(kCyclesPerVblank);
    return g_vblanks.fetch_add(1) + 1;
}

uint64_t ClockWaitVblank() {
    if (g_mode.load() == ClockMode::RealTime) {
        const uint64_t now = RealCycles();
        const uint64_t target = (now / kCyclesPerVblank + 1) * kCyclesPerVblank;
        const uint64_t waitNs = (target - now) * 1000000000ull / kCpuCyclesPerSecond + 1;
        std::this_thread::sleep_for(std::chrono::nanoseconds(waitNs));
        while (RealCycles() < target) std::this_thread::yield();
    }
    return ClockTickVblank();
}

uint64_t ClockVblankCount() {
    return g_vblanks.load();
}

void ClockAdvanceCycles(uint64_t cycles) {
    if (g_mode.load() == ClockMode::Deterministic) g_virtualCycles.fetch_add(cycles);
}

void ClockReset() {
    g_mode.store(ClockMode::Deterministic);
    g_virtualCycles.store(0);
    g_vblanks.store(0);
    g_realOffset = 0;
    g_realBase = std::chrono::steady_clock::now();
}

}  // namespace console
