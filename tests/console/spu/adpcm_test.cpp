#include "console/spu/adpcm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "console/spu/driver_modules_fixture.h"

namespace {

using testsupport::RawBlock;

TEST(Adpcm, FiltersPredictFromTheLastTwoSamples) {
    // Filter 1: s + h1 * 60 / 64.  h1 = 640 -> 600 for a zero nibble, and it decays from there.
    int32_t h1 = 640, h2 = 0;
    EXPECT_EQ(AdpcmDecodeNibble(0, 12, 1, &h1, &h2), 600);
    EXPECT_EQ(h1, 600);
    EXPECT_EQ(h2, 640);
    // Filter 2: (h1 * 115 - h2 * 52) >> 6 with h1 = 600, h2 = 640: (69000 - 33280) >> 6 = 558.
    EXPECT_EQ(AdpcmDecodeNibble(0, 12, 2, &h1, &h2), 558);
}

// A block whose filter terms are mostly not multiples of 64, both signs, and samples that clip:
// rounding or flooring the term, or keeping the clamped sample as history, would each give other
// samples. The expected output is worked out here in floating point: the term truncated toward zero,
// the history the unclamped sum.
TEST(Adpcm, FilterTermIsTruncatedTowardZeroAndTheSumIsTheHistory) {
    const int nibbles[28] = {7, 0, -3, 0, 0, -8, 0, 0, 1, 0, 0, 0, 0, 0,
                             7, 7, 0,  0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0};
    const int kShift = 0, kFilter = 4;  // 122 / 64 and -60 / 64
    std::vector<uint8_t> block = RawBlock(nibbles, kShift, 0);
    block[0] |= kFilter << 4;
    int32_t h1 = 0, h2 = 0;
    int16_t out[28];
    AdpcmDecodeBlock(block.data(), out, &h1, &h2);

    double e1 = 0, e2 = 0;  // the expected history
    bool floors = false, clips = false, clippedHistoryMatters = false;
    for (int i = 0; i < 28; ++i) {
        const double term = e1 * 122.0 - e2 * 60.0;
        const double sum = nibbles[i] * 4096.0 + std::trunc(term / 64.0);
        floors |= std::trunc(term / 64.0) != std::floor(term / 64.0);
        clips |= sum > 32767.0 || sum < -32768.0;
        clippedHistoryMatters |= (e1 > 32767.0 || e1 < -32768.0) && sum >= -32768.0 && sum <= 32767.0;
        EXPECT_EQ(out[i], std::clamp(sum, -32768.0, 32767.0)) << "sample " << i;
        e2 = e1;
        e1 = sum;
    }
    EXPECT_EQ(h1, e1);
    EXPECT_EQ(h2, e2);
    // The block does tell the rules apart.
    EXPECT_TRUE(floors);
    EXPECT_TRUE(clips);
    EXPECT_TRUE(clippedHistoryMatters);
}

// The cases that showed the old flooring rule apart from common decoders: -1 under filter 1 decays to
// 0 (floor would hold -1 for ever), and a negative filter-2 term rounds up.
TEST(Adpcm, SmallNegativeHistoryDecaysToZero) {
    int v[28] = {-1};
    std::vector<uint8_t> first = RawBlock(v, 12, 0);
    int zeros[28] = {};
    std::vector<uint8_t> second = RawBlock(zeros, 12, 0);
    second[0] |= 1 << 4;
    int32_t h1 = 0, h2 = 0;
    int16_t a[28], b[28];
    AdpcmDecodeBlock(first.data(), a, &h1, &h2);
    EXPECT_EQ(a[0], -1);
    AdpcmDecodeBlock(second.data(), b, &h1, &h2);
    for (int i = 0; i < 28; ++i) EXPECT_EQ(b[i], 0) << i;
    // (-600 * 115 + -640 * -52) / 64 = -558.125: -558, where flooring gives -559.
    h1 = -600;
    h2 = -640;
    EXPECT_EQ(AdpcmDecodeNibble(0, 12, 2, &h1, &h2), -558);
}

TEST(Adpcm, OutOfRangeHeadersAreClampedAndOutputSaturates) {
    EXPECT_TRUE(AdpcmHeaderValid(0x4C));
    EXPECT_FALSE(AdpcmHeaderValid(0x0D));  // shift 13
    EXPECT_FALSE(AdpcmHeaderValid(0x50));  // filter 5
    EXPECT_EQ(AdpcmShift(0x0F), 12);
    EXPECT_EQ(AdpcmFilter(0xF0), 4);
    // A block with shift 15 decodes exactly like shift 12.
    int v[28];
    for (int i = 0; i < 28; ++i) v[i] = (i % 16) - 8;
    int16_t a[28], b[28];
    int32_t h1 = 0, h2 = 0, g1 = 0, g2 = 0;
    AdpcmDecodeBlock(RawBlock(v, 15, 0).data(), a, &h1, &h2);
    AdpcmDecodeBlock(RawBlock(v, 12, 0).data(), b, &g1, &g2);
    for (int i = 0; i < 28; ++i) EXPECT_EQ(a[i], b[i]) << i;
    // Filter 4 feeding a full-scale step runs into the 16-bit limit instead of wrapping.
    h1 = 28672;
    h2 = 0;
    EXPECT_EQ(AdpcmDecodeNibble(7, 0, 4, &h1, &h2), 32767);
    h1 = -32768;
    h2 = 0;
    EXPECT_EQ(AdpcmDecodeNibble(8, 0, 4, &h1, &h2), -32768);
    // Crafted blocks cannot drive the kept sum past its bound (nor the filter arithmetic past 32 bits).
    h1 = h2 = 0;
    int16_t out[28];
    const int up[28] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
    std::vector<uint8_t> push = RawBlock(up, 0, 0);
    for (int round = 0; round < 2000; ++round) {
        push[0] = static_cast<uint8_t>((round % 3 ? 4 : 2) << 4);
        AdpcmDecodeBlock(push.data(), out, &h1, &h2);
        ASSERT_LE(std::abs(h1), kAdpcmHistoryLimit);
        ASSERT_LE(std::abs(h2), kAdpcmHistoryLimit);
    }
    EXPECT_EQ(out[27], 32767);
}

}  // namespace
