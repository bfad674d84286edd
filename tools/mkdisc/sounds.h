// The sample disc's synthesised sounds, all deterministic.
#pragma once

#include <cstdint>
#include <vector>

// A sine of `frequency` Hz. Looped tones are a whole number of blocks long and the frequency is moved
// to the nearest one with a whole number of cycles in that length, so the loop joins without a click.
std::vector<int16_t> SynthTone(double frequency, int32_t sampleRate, int frames, int amplitude, bool loop);
// An engine-like buzz: a sawtooth with a little wobble, looping cleanly like SynthTone.
std::vector<int16_t> SynthEngine(double frequency, int32_t sampleRate, int frames, int amplitude);
// A noise burst that dies away (crashes, landings), from a fixed seed.
std::vector<int16_t> SynthNoiseBurst(int32_t sampleRate, int frames, int amplitude, uint32_t seed);
