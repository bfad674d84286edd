#include "engine/sys/xrand.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(XRand, SequenceFromTheStartState) {
    engine::LastRand = 1;
    // state = state * 214013 + 2531011; result bits 16..30. First: 2745024 >> 16 = 41.
    for (int want : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(x_rand(), want);
}

TEST(XRand, IntRange) {
    engine::LastRand = 1;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(x_rand_int(5, 5), 5);
    engine::LastRand = 1;
    EXPECT_EQ(x_rand_int(9, 16), 9 + 41 % 8);
    for (int i = 0; i < 1000; ++i) {
        const int r = x_rand_int(-3, 3);
        ASSERT_GE(r, -3);
        ASSERT_LE(r, 3);
    }
    // An empty range gives lo instead of dividing by zero.
    EXPECT_EQ(x_rand_int(4, 3), 4);
    EXPECT_EQ(x_rand_int(10, -10), 10);
    // The widest range does not overflow.
    const int w = x_rand_int(INT_MIN, INT_MAX);
    EXPECT_LE(w, INT_MIN + 32767);
}

}  // namespace
