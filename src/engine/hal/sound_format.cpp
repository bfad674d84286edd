#include "engine/hal/sound_format.h"

#include <cmath>
#include <cstring>

#include "console/spu/adpcm.h"
#include "console/spu/adpcm_encoder.h"

static_assert(kSampleBlockFrames == kAdpcmBlockSamples);

std::vector<uint8_t> BuildSampleImage(const SampleParams& params, const std::vector<uint8_t>& adpcm) {
    _SampleHeaderDisc h;
    std::memset(&h, 0, sizeof h);
    h.length = static_cast<int32_t>(adpcm.size());
    h.looped = params.looped ? 1 : 0;
    h.sampleRate = params.sampleRate;
    h.envelope = params.envelope;
    h.pan = params.pan;
    std::vector<uint8_t> out(sizeof h + adpcm.size());
    std::memcpy(out.data(), &h, sizeof h);
    if (!adpcm.empty()) std::memcpy(out.data() + sizeof h, adpcm.data(), adpcm.size());
    return out;
}

std::vector<uint8_t> EncodeSampleImage(const SampleParams& params, const std::vector<int16_t>& pcm) {
    return BuildSampleImage(params, AdpcmEncode(pcm.data(), pcm.size(), params.looped));
}
