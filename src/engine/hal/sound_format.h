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
// PCM samples in one ADPCM block: sounds meant to loop are a whole number of blocks long.
inline constexpr int kSampleBlockFrames = 28;

// Encodes PCM and builds the image.
std::vector<uint8_t> EncodeSampleImage(const SampleParams& params, const std::vector<int16_t>& pcm);
