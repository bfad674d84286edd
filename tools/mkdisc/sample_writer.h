// Sample images for the audio files: the 64-byte sample header (engine/hal/sound.h) followed by ADPCM
// data, and the synthesised sounds the sample disc uses.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/hal/sound.h"

struct SampleParams {
    int32_t sampleRate = 22050;
    bool looped = false;
    uint32_t envelope = 0;
    _Pan5Dot1 pan = {0.0f, -1.0f, 1.0f, 0.0f, 0.0f};  // centred, front, full volume
};

// Header (length = the data's size) then the data.
std::vector<uint8_t> BuildSampleImage(const SampleParams& params, const std::vector<uint8_t>& adpcm);
// Encodes PCM and builds the image.
std::vector<uint8_t> EncodeSampleImage(const SampleParams& params, const std::vector<int16_t>& pcm);

// Synthesised sounds, all deterministic.
// A sine of `frequency` Hz. Looped tones are a whole number of blocks long and the frequency is moved
// to the nearest one with a whole number of cycles in that length, so the loop joins without a click.
std::vector<int16_t> SynthTone(double frequency, int32_t sampleRate, int frames, int amplitude, bool loop);
// An engine-like buzz: a sawtooth with a little wobble, looping cleanly like SynthTone.
std::vector<int16_t> SynthEngine(double frequency, int32_t sampleRate, int frames, int amplitude);
// A noise burst that dies away (crashes, landings), from a fixed seed.
std::vector<int16_t> SynthNoiseBurst(int32_t sampleRate, int frames, int amplitude, uint32_t seed);
