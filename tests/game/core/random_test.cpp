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

TEST_F(RandomTest, TableIsAPermutationAndTheFirstOutputsAreKnown) {
    std::array<uint8_t, 256> t;
    std::copy(random_table, random_table + 256, t.begin());
    std::sort(t.begin(), t.end());
    for (int i = 0; i < 256; ++i) EXPECT_EQ(t[i], i);
    // Computed independently from the table (indices 17, 23, 29, 37 and the accumulator at 19).
    EXPECT_EQ(GetRandom32Bits(), 0xE51E4577u);
    EXPECT_EQ(RandomNumber, 0xE51E4577u);
    EXPECT_EQ(GetRandom32Bits(), 0x9BD4C088u);
    EXPECT_EQ(GetRandom32Bits(), 0x4D8A4CBAu);
    EXPECT_EQ(ri0, 51);
    EXPECT_EQ(ri3, 111);
}

TEST_F(RandomTest, RandomNumberScalesTheDrawAndEmptyRangesTakeNoStep) {
    // 0xE51E4577: lo = 0x4577 = 17783, hi = 0xE51E = 58654; 17783/65535 + 58654/65535/65535.
    EXPECT_NEAR(GetRandomNumber(0.0f, 1.0f), 0.271365f, 1e-6f);
    SetUp();
    EXPECT_EQ(GetRandomNumber(5.0f, 2.0f), 5.0f);
    EXPECT_TRUE(std::isnan(GetRandomNumber(NAN, 2.0f)));  // a NaN bound fails the test too
    EXPECT_EQ(GetRandomNumber(1.0f, NAN), 1.0f);
    EXPECT_EQ(GetRandomNumber(3.0f, 3.0f), 3.0f);  // equal bounds do take a step
    EXPECT_EQ(GetRandom32Bits(), 0x9BD4C088u);
}

TEST_F(RandomTest, ResultNeverExceedsMax) {
    // The fraction can reach 1 + 1/65535 (all bits set): such a draw is clamped to max, while the state
    // advances exactly as without the clamp.
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

TEST_F(RandomTest, UpdateRandomStirsFromTheTableAndWrapsItsIndex) {
    const uint8_t* T = random_table;
    const struct {
        uint8_t start;
        long n;
        uint8_t k;  // the index read from
    } cases[] = {{7, 256, 7}, {253, 0, 253}, {0, -1, 255}};
    for (const auto& c : cases) {
        SetUp();
        ri4 = c.start;
        UpdateRandom(c.n);
        EXPECT_EQ(ri4, c.k);
        const uint8_t k = c.k;
        const uint32_t a = T[k] + T[uint8_t(k + 1)];
        const uint32_t s1 = (T[uint8_t(k + 2)] + 8u) % 32u, s2 = (T[uint8_t(k + 3)] + 16u) % 32u;
        EXPECT_EQ(Randomizer, ((a << s1) << s2) << 24) << int(c.start);
        EXPECT_EQ(RandomNumber, 0u);  // no output
    }
}

}  // namespace
