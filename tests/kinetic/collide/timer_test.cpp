// Profiling timers on the monotonic clock.
#include <gtest/gtest.h>

#include "kinetic/collide/kn_ps2_timer.h"
#include "kinetic/collide/performance_timer.h"
#include "kinetic/collide/timer_bank.h"

TEST(TimerTest, TimeBaseStartsOnce) {
    KN_PS2Timer::start();
    EXPECT_EQ(KN_PS2Timer::start(), 0);
    EXPECT_TRUE(KN_PS2Timer::m_started);
    IPerformanceTimer t;
    EXPECT_EQ(t.getTicksPerMs(), KN_PS2Timer::m_ticksPerSecond / 1000);
    int64_t a = KN_PS2Timer::currentTick(), b = KN_PS2Timer::currentTick();
    EXPECT_LE(a, b);  // monotonic
}

TEST(TimerTest, StopAccumulatesIntervals) {
    IPerformanceTimer t;
    t.start();
    EXPECT_TRUE(t.isRunning());
    volatile double sink = 0;
    for (int i = 0; i < 10000; ++i) sink = sink + i;
    t.stop();
    const auto c1 = t.getCount();
    EXPECT_FALSE(t.isRunning());
    EXPECT_EQ(c1.total, c1.stop - c1.start);
    EXPECT_GT(c1.total, 0);
    t.start();
    t.stop();
    const auto c2 = t.getCount();
    EXPECT_EQ(c2.total, c1.total + (c2.stop - c2.start));
    EXPECT_EQ(t.getIntervals(), 2);
    t.reset();
    EXPECT_EQ(t.getCount().total, 0);
    EXPECT_EQ(t.getIntervals(), 0);
}
