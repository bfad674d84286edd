// The game's own random source: a table-driven generator with five byte indices and two 32-bit words
// of state. It serves the AI, the bike, the rider, the cameras and the HUD; the game controller stirs
// it with UpdateRandom. It is separate from the system library's x_rand and the C library's rand().
#pragma once

#include <cstdint>

// Process-wide state, zero at program start and never reset by the game.
extern uint8_t ri0, ri1, ri2, ri3, ri4;
extern uint32_t RandomNumber;  // the last output
extern uint32_t Randomizer;    // running accumulator
extern const uint8_t random_table[256];

// One step; returns the new RandomNumber.
uint32_t GetRandom32Bits();
// A float in [min, max]; min when !(min <= max), without a step.
float GetRandomNumber(float min, float max);
// Stirs the state with an outside value; produces no output.
void UpdateRandom(long n);
