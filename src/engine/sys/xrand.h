// The system library's random numbers: a linear congruential generator with a 64-bit state, of which
// only the low 31 bits reach the results (so it is the familiar 32-bit-state generator).
#pragma once

#include <cstdint>

// Generator state; starts at 1 and is never reseeded by the game (tests set it back).
namespace engine {
extern uint64_t LastRand;
}  // namespace engine

// 0..32767.
int x_rand();
// lo + x_rand() mod (hi - lo + 1). An empty range (hi < lo) gives lo.
int x_rand_int(int lo, int hi);
