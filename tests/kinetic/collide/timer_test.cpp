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
