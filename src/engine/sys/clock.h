// The engine clock: CPU cycles (294,912,000 a second) accumulated at every vertical blank from the
// CPU's performance counter 0, plus the counter's running value since the last blank.
#pragma once

#include <cstdint>

// Called once a vertical blank (by the vertical-blank handler). The first call starts the counter;
// every call adds the counter, as a signed 32-bit value, to the elapsed cycles and restarts it from 0.
void veClockMaintenance();
// Cycles since the last vertical blank (the counter).
uint32_t veClockGetFrameCycles();
// Elapsed cycles plus the counter.
uint64_t veClockGetCycles();
// (elapsed cycles + the counter) / 294912000, in single precision.
float veClockGetSeconds();
float veClockGetCPUClockSpeed();
float x_GetTime();

// Back to the state before the first veClockMaintenance (elapsed cycles 0, counter not started by the
// clock). For a restart of the engine and for tests.
void veClockReset();
