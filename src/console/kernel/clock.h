// The console's time base. Everything that measures time (the CPU performance counter, vertical
// blanks, pads and sound pacing) reads it in CPU cycles at 294,912,000 a second.
//
// Two modes:
// - Deterministic (the default, used headless and in tests): time stands still until a vertical blank
//   is delivered; each ClockTickVblank() adds exactly 1/60 s (4,915,200 cycles). Runs are repeatable.
// - Real time (used with a window): cycles follow the monotonic clock; ClockWaitVblank() sleeps until
//   the next 60 Hz boundary.
#pragma once

#include <cstdint>

namespace console {

inline constexpr uint64_t kCpuCyclesPerSecond = 294912000ull;
inline constexpr uint64_t kVblanksPerSecond = 60ull;
inline constexpr uint64_t kCyclesPerVblank = kCpuCyclesPerSecond / kVblanksPerSecond;  // 4,915,200

enum class ClockMode { Deterministic, RealTime };

// Switches mode (before any thread reads the clock); the cycle count carries on from where it was.
void ClockSetMode(ClockMode mode);
ClockMode ClockGetMode();

// Cycles since the clock started (power-on or the last ClockReset).
uint64_t ClockCycles();

// Delivers one vertical blank. Deterministic: advances the clock by kCyclesPerVblank. Real time: only
// counts it (the clock follows the wall clock). Returns the number of vblanks delivered so far.
uint64_t ClockTickVblank();

// Waits for the next vertical blank and delivers it. Deterministic: the same as ClockTickVblank().
// Real time: sleeps until the clock reaches the next multiple of kCyclesPerVblank, then counts it.
uint64_t ClockWaitVblank();

uint64_t ClockVblankCount();

// Deterministic mode only: lets work cost virtual time (e.g. a long load); ignored in real time.
void ClockAdvanceCycles(uint64_t cycles);

// Back to power-on: zero cycles, zero vblanks, deterministic mode.
void ClockReset();

}  // namespace console
