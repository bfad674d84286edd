// The CPU's performance counters. Counter 0 counts processor cycles from the console clock while it
// runs; it is a 32-bit register, so it wraps. Counter 1 counts nothing here (the game only reads 0).
#pragma once

#include <cstdint>

// Control word bits; the stand-in accepts any control word and always counts cycles on counter 0.
inline constexpr int SCE_PC_CTE = static_cast<int>(0x80000000u);
inline constexpr int SCE_PC0_CPU_CYCLE = 1 << 5;
inline constexpr int SCE_PC_EXL0 = 1 << 1;
inline constexpr int SCE_PC_K0 = 1 << 2;
inline constexpr int SCE_PC_S0 = 1 << 3;
inline constexpr int SCE_PC_U0 = 1 << 4;

// Starts (or restarts) the counters with the given initial values.
void scePcStart(int control, int counter0, int counter1);
// Stops them; they keep their values until the next start.
void scePcStop();
int scePcGetCounter0();
int scePcGetCounter1();

namespace console {
// True between scePcStart and scePcStop.
bool PcRunning();
// Back to power-on: never started, both counters 0.
void PcReset();
}  // namespace console
