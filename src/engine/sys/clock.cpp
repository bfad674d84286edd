#include "engine/sys/clock.h"

#include <atomic>

#include "console/kernel/perf_counter.h"

namespace {
constexpr float kCpuClockSpeed = 294912000.0f;
constexpr int kCounterControl =
    SCE_PC_CTE | SCE_PC0_CPU_CYCLE | SCE_PC_U0 | SCE_PC_S0 | SCE_PC_K0 | SCE_PC_EXL0;

// Written by the vertical-blank handler, read by the main loop.
std::atomic<uint64_t> elapsedCycles{0};
std::atomic<bool> counterStarted{false};
}  // namespace

void veClockMaintenance() {
    if (!counterStarted) {
        scePcStart(kCounterControl, 0, 0);
        counterStarted = true;
    }
    // Added as a signed 32-bit value: more than 2^31 cycles (about 7.3 s) between two blanks would run
    // the clock backwards, which is why blanks must keep coming during long loads.
    elapsedCycles += static_cast<uint64_t>(static_cast<int64_t>(scePcGetCounter0()));
    scePcStart(kCounterControl, 0, 0);
}

uint32_t veClockGetFrameCycles() {
    return static_cast<uint32_t>(scePcGetCounter0());
}

uint64_t veClockGetCycles() {
    return elapsedCycles + static_cast<uint32_t>(scePcGetCounter0());
}

float veClockGetSeconds() {
    return (static_cast<float>(elapsedCycles.load()) +
            static_cast<float>(static_cast<uint32_t>(scePcGetCounter0()))) /
           kCpuClockSpeed;
}

float veClockGetCPUClockSpeed() {
    return kCpuClockSpeed;
}

float x_GetTime() {
    return veClockGetSeconds();
}

void veClockReset() {
    elapsedCycles = 0;
    counterStarted = false;
}
