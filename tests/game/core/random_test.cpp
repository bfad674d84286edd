#include "game/core/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Every test starts from the power-on state (all zero).
class RandomTest : public ::testing::Test {
protected:
    void SetUp() override {
        ri0 = ri1 = ri2 = ri3 = ri4 = 0;
        RandomNumber = 0;
        Randomizer = 0;
    }
};

TEST_F(RandomTest, TableIsAPermutation) {
    std::array<uint8_t, 256> t;
    std::copy(random_table, random_table + 256, t.begin());
    std::sort(t.begin(), t.end());
    for (int i = 0; i < 256; ++i) EXPECT_EQ(t[i], i);
    EXPECT_EQ(random_table[0], 0x7A);
    EXPECT_EQ(random_table[255], 0xB6);
}

TEST_F(RandomTest, FirstOutputsFromPowerOn) {
    // Worked by hand for the first step: indices 17, 23, 29, 37, 19 give bytes 1E, 6C, B9 ... and the
    // accumulator; the three values below were computed independently from the table.
    EXPECT_EQ(GetRandom32Bits(), 0xE51E4577u);
    EXPECT_EQ(RandomNumber, 0xE51E4577u);
    EXPECT_EQ(GetRandom32Bits(), 0x9BD4C088u);
    EXPECT_EQ(GetRandom32Bits(), 0x4D8A4CBAu);
    EXPECT_EQ(ri0, 51);
    EXPECT_EQ(ri3, 111);
}

TEST_F(RandomTest, FirstStepComposition) {
    GetRandom32Bits();
    const uint8_t* T = random_table;
    const uint32_t rn = T[17] | T[23] << 8 | T[29] << 16 | uint32_t(T[37]) << 24;
    const uint32_t acc =
        T[(19 + 23) & 255] * 16605227u + T[19] + T[(19 + 37) & 255] * 257u + T[(19 + 29) & 255] * 59617u;
    EXPECT_EQ(Randomizer, acc);
    EXPECT_EQ(RandomNumber, rn ^ acc);
}

TEST_F(RandomTest, FirstRandomNumberBetweenZeroAndOne) {
    // 0xE51E4577: lo = 0x4577 = 17783, hi = 0xE51E = 58654; 17783/65535 + 58654/65535/65535.
    EXPECT_NEAR(GetRandomNumber(0.0f, 1.0f), 0.271365f, 1e-6f);
}

TEST_F(RandomTest, EmptyRangeReturnsMinWithoutAStep) {
    EXPECT_EQ(GetRandomNumber(5.0f, 2.0f), 5.0f);
    EXPECT_TRUE(std::isnan(GetRandomNumber(NAN, 2.0f)));  // a NaN bound fails the test too
    EXPECT_EQ(GetRandomNumber(1.0f, NAN), 1.0f);
    EXPECT_EQ(GetRandom32Bits(), 0xE51E4577u);  // sequence untouched
}

TEST_F(RandomTest, EqualBoundsConsumeAStep) {
    EXPECT_EQ(GetRandomNumber(3.0f, 3.0f), 3.0f);
    EXPECT_EQ(GetRandom32Bits(), 0x9BD4C088u);
}

TEST_F(RandomTest, ResultNeverExceedsMax) {
    // The fraction can reach 1 + 1/65535 (all bits set): such a draw is clamped to max, while the state
    // advances exactly as without the clamp.
    for (int i = 0; i < 100000; ++i) {
        const float v = GetRandomNumber(0.0f, 7.0f);
        ASSERT_LE(v, 7.0f);
        ASSERT_GE(v, 0.0f);
    }
    // Find a state whose next output has a full low half (fraction above 1), then draw from it.
    SetUp();
    for (int i = 0; i < 2000000; ++i) {
        const uint8_t s0 = ri0, s1 = ri1, s2 = ri2, s3 = ri3, s4 = ri4;
        const uint32_t sr = Randomizer;
        const uint32_t r = GetRandom32Bits();
        if ((r & 0xFFFF) == 0xFFFF && (r >> 16) > 0) {
            ri0 = s0, ri1 = s1, ri2 = s2, ri3 = s3, ri4 = s4, Randomizer = sr;
            EXPECT_EQ(GetRandomNumber(10.0f, 20.0f), 20.0f);
            EXPECT_EQ(RandomNumber, r);
            return;
        }
    }
    ADD_FAILURE() << "no output with a full low half found";
}

TEST_F(RandomTest, UpdateRandomStirs) {
    ri4 = 7;
    UpdateRandom(256);  // wraps back to the same index
    EXPECT_EQ(ri4, 7);
    const uint8_t* T = random_table;
    const uint32_t a = T[7] + T[8];
    const uint32_t s1 = (T[9] + 8u) % 32u, s2 = (T[10] + 16u) % 32u;
    EXPECT_EQ(Randomizer, ((a << s1) << s2) << 24);

    SetUp();
    ri4 = 253;
    UpdateRandom(0);  // reads T[253], T[254], T[255] and T[0]
    const uint32_t a2 = T[253] + T[254];
    const uint32_t t1 = (T[255] + 8u) % 32u, t2 = (T[0] + 16u) % 32u;
    EXPECT_EQ(Randomizer, ((a2 << t1) << t2) << 24);
    EXPECT_EQ(RandomNumber, 0u);  // no output

    SetUp();
    UpdateRandom(-1);  // negative values wrap modulo 256
    EXPECT_EQ(ri4, 255);
}

}  // namespace
