// Sample images: what the writer encodes, the engine's check reads back with the header it was given.
#include "engine/hal/sound_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(SampleImage, WriterOutputPassesTheEngineCheckWithItsHeader) {
    SampleParams params;
    params.sampleRate = 32000;
    params.looped = true;
    params.envelope = 1;
    params.pan = {-0.5f, 0.25f, 0.75f, 0.0f, 0.1f};
    std::vector<int16_t> pcm(28 * 40);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(9000 * std::sin(0.07 * double(i)));
    const std::vector<uint8_t> img = EncodeSampleImage(params, pcm);
    ASSERT_EQ(img.size(), 64 + pcm.size() / 28 * 16);
    _SampleHeaderRam h;
    ASSERT_EQ(veSoundCheckSampleImage(img.data(), static_cast<uint32_t>(img.size()), &h), 0);
    EXPECT_EQ(h.length, static_cast<int32_t>(img.size() - 64));
    EXPECT_EQ(h.looped, 1);
    EXPECT_EQ(h.sampleRate, 32000);
    EXPECT_EQ(h.envelope, 1u);
    EXPECT_FLOAT_EQ(h.pan.panLR, -0.5f);
    EXPECT_FLOAT_EQ(h.pan.panFB, 0.25f);
    EXPECT_FLOAT_EQ(h.pan.panVolume, 0.75f);
    EXPECT_FLOAT_EQ(h.pan.lfeVolume, 0.1f);
    for (int i = 36; i < 64; ++i) EXPECT_EQ(img[static_cast<size_t>(i)], 0) << i;  // pad
    // One-shot images are accepted too; truncating the image is not.
    params.looped = false;
    const std::vector<uint8_t> shot = EncodeSampleImage(params, std::vector<int16_t>(28 * 3, 100));
    EXPECT_EQ(veSoundCheckSampleImage(shot.data(), static_cast<uint32_t>(shot.size()), nullptr), 0);
    EXPECT_EQ(veSoundCheckSampleImage(shot.data(), static_cast<uint32_t>(shot.size() - 1), nullptr), -1);
}

}  // namespace
