// The sample disc's synthesised sounds: tones loop cleanly, bursts die away, every sound is the same on
// every run.
#include "mkdisc/sounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "console/spu/adpcm.h"
#include "console/spu/adpcm_encoder.h"

namespace {

// Rising zero crossings of a mono signal, as a frequency.
double Frequency(const std::vector<int16_t>& v, int rate) {
    std::vector<double> t;
    for (size_t i = 1; i < v.size(); ++i)
        if (v[i - 1] < 0 && v[i] >= 0)
            t.push_back(static_cast<double>(i - 1) + static_cast<double>(-v[i - 1]) / (v[i] - v[i - 1]));
    return t.size() < 2 ? 0 : (t.size() - 1) * static_cast<double>(rate) / (t.back() - t.front());
}

TEST(SampleSounds, LoopedToneHasWholeCyclesAndBlocks) {
    const std::vector<int16_t> tone = SynthTone(440.0, 22050, 5000, 10000, true);
    ASSERT_EQ(tone.size() % 28, 0u);
    EXPECT_EQ(tone.size(), 5000u / 28 * 28);
    // The frequency moved to a whole number of cycles in the loop: the loop joins smoothly.
    const double cycles = 440.0 * static_cast<double>(tone.size()) / 22050;
    const double f = std::round(cycles) * 22050 / static_cast<double>(tone.size());
    EXPECT_NEAR(f, 440.0, 5.0);
    EXPECT_NEAR(Frequency(tone, 22050), f, 0.5);
    EXPECT_NEAR(tone.front(), 0, 1);
    // Played twice in a row, the join is no bigger a step than a step inside the tone.
    const int maxStep = static_cast<int>(std::ceil(10000 * 2 * M_PI * f / 22050)) + 1;
    EXPECT_LE(std::abs(tone.front() - tone.back()), maxStep);
    const std::vector<uint8_t> enc = AdpcmEncode(tone.data(), tone.size(), true);
    EXPECT_NEAR(Frequency(AdpcmDecodeAll(enc.data(), enc.size()), 22050), f, 0.5);
}

TEST(SampleSounds, SynthesisIsDeterministic) {
    EXPECT_EQ(SynthNoiseBurst(22050, 2000, 8000, 3), SynthNoiseBurst(22050, 2000, 8000, 3));
    EXPECT_NE(SynthNoiseBurst(22050, 2000, 8000, 3), SynthNoiseBurst(22050, 2000, 8000, 4));
    const std::vector<int16_t> burst = SynthNoiseBurst(22050, 2000, 8000, 3);
    // It dies away.
    int early = 0, late = 0;
    for (int i = 0; i < 200; ++i) {
        early = std::max(early, std::abs(int{burst[static_cast<size_t>(i)]}));
        late = std::max(late, std::abs(int{burst[static_cast<size_t>(1800 + i)]}));
    }
    EXPECT_GT(early, 3 * late);
    const std::vector<int16_t> engine = SynthEngine(110.0, 22050, 4410, 9000);
    EXPECT_EQ(engine.size() % 28, 0u);
    EXPECT_EQ(engine, SynthEngine(110.0, 22050, 4410, 9000));
    EXPECT_NEAR(Frequency(engine, 22050), 110.0, 3.0);
}

}  // namespace
