#include "console/spu/adpcm_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "console/spu/adpcm.h"

namespace {

double SnrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& got) {
    double sig = 0, err = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        sig += static_cast<double>(ref[i]) * ref[i];
        const double e = static_cast<double>(ref[i]) - got[i];
        err += e * e;
    }
    return 10.0 * std::log10(sig / (err > 0 ? err : 1e-9));
}

std::vector<int16_t> Sine(double freq, int rate, int n, double amp) {
    std::vector<int16_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] =
            static_cast<int16_t>(std::lround(amp * std::sin(2 * M_PI * freq * i / rate)));
    return v;
}

TEST(AdpcmEncoder, SineSurvivesTheRoundTrip) {
    const std::vector<int16_t> pcm = Sine(1000.0, 48000, 4800, 20000);
    const std::vector<uint8_t> enc = AdpcmEncode(pcm.data(), pcm.size(), false);
    ASSERT_EQ(enc.size(), (4800u + 27) / 28 * 16);
    const std::vector<int16_t> dec = AdpcmDecodeAll(enc.data(), enc.size());
    ASSERT_GE(dec.size(), pcm.size());
    // 4-bit ADPCM of a clean tone: well above 30 dB.
    EXPECT_GT(SnrDb(pcm, std::vector<int16_t>(dec.begin(), dec.begin() + 4800)), 30.0);
    for (size_t b = 0; b < enc.size(); b += 16) EXPECT_TRUE(AdpcmHeaderValid(enc[b])) << b;
}

TEST(AdpcmEncoder, FullScaleAndSilenceStayBounded) {
    std::vector<int16_t> square(2800);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 50) % 2 ? -32768 : 32767;
    const std::vector<uint8_t> enc = AdpcmEncode(square.data(), square.size(), false);
    const std::vector<int16_t> dec = AdpcmDecodeAll(enc.data(), enc.size());
    // Away from the edges the levels come back close (no wrap-around to the other sign).
    EXPECT_GT(dec[25], 30000);
    EXPECT_LT(dec[75], -30000);
    // No nibble clips, so a decoder that keeps the unclamped sum as history plays the same samples.
    int32_t h1 = 0, h2 = 0;
    for (size_t i = 0; i < square.size(); ++i) {
        const uint8_t* block = &enc[i / 28 * 16];
        const int k = static_cast<int>(i % 28);
        const int32_t sum = AdpcmUnclamped(block[2 + k / 2] >> (k % 2 * 4) & 0x0F, AdpcmShift(block[0]),
                                           AdpcmFilter(block[0]), h1, h2);
        ASSERT_EQ(sum, dec[i]) << i;
        h2 = h1;
        h1 = sum;
    }
    const std::vector<int16_t> zeros(100, 0);
    const std::vector<uint8_t> z = AdpcmEncode(zeros.data(), zeros.size(), false);
    for (int16_t s : AdpcmDecodeAll(z.data(), z.size())) EXPECT_EQ(s, 0);
}

TEST(AdpcmEncoder, ExactlyRepresentableInputDecodesExactly) {
    // Multiples of 256 in -8..7 steps are nibbles at shift 4 with no prediction.
    std::vector<int16_t> pcm(56);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(((static_cast<int>(i) % 16) - 8) * 256);
    const std::vector<uint8_t> enc = AdpcmEncode(pcm.data(), pcm.size(), false);
    const std::vector<int16_t> dec = AdpcmDecodeAll(enc.data(), enc.size());
    ASSERT_EQ(dec.size(), 56u);
    for (size_t i = 0; i < pcm.size(); ++i) EXPECT_EQ(dec[i], pcm[i]) << i;
}

TEST(AdpcmEncoder, LoopFlagsMarkStartAndEnd) {
    const std::vector<int16_t> pcm = Sine(500.0, 22050, 100, 8000);
    std::vector<uint8_t> oneShot = AdpcmEncode(pcm.data(), pcm.size(), false);
    ASSERT_EQ(oneShot.size(), 4u * 16);  // 100 samples -> 4 blocks, padded with silence
    EXPECT_EQ(oneShot[1], 0);
    EXPECT_EQ(oneShot[16 * 3 + 1], kAdpcmFlagLoopEnd);
    std::vector<uint8_t> looped = AdpcmEncode(pcm.data(), pcm.size(), true);
    EXPECT_EQ(looped[1], kAdpcmFlagLoopStart);
    EXPECT_EQ(looped[16 + 1], 0);
    EXPECT_EQ(looped[16 * 3 + 1], kAdpcmFlagLoopEnd | kAdpcmFlagRepeat);
    std::vector<uint8_t> single = AdpcmEncode(pcm.data(), 28, true);
    ASSERT_EQ(single.size(), 16u);
    EXPECT_EQ(single[1], kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat);
    std::vector<uint8_t> empty = AdpcmEncode(nullptr, 0, false);
    ASSERT_EQ(empty.size(), 16u);
    EXPECT_EQ(empty[1], kAdpcmFlagLoopEnd);
    // The decoder stops at the first loop-end block.
    oneShot.insert(oneShot.end(), 32, 0x11);
    EXPECT_EQ(AdpcmDecodeAll(oneShot.data(), oneShot.size()).size(), 4u * 28);
}

}  // namespace
