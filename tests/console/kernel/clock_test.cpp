#include "console/kernel/clock.h"

#include <gtest/gtest.h>

#include "console/kernel/perf_counter.h"

namespace {

class ConsoleClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        console::ClockReset();
        console::PcReset();
    }
    void TearDown() override {
        console::ClockReset();
        console::PcReset();
    }
};

TEST_F(ConsoleClockTest, RealTimeFollowsTheWallClockAndNeverRunsBack) {
    EXPECT_EQ(console::ClockGetMode(), console::ClockMode::Deterministic);  // headless runs repeat exactly
    for (int i = 0; i < 3; ++i) console::ClockTickVblank();
    const uint64_t before = console::ClockCycles();
    console::ClockSetMode(console::ClockMode::RealTime);
    const uint64_t a = console::ClockCycles();
    EXPECT_GE(a, before);
    console::ClockWaitVblank();  // sleeps to the next 1/60 s boundary
    const uint64_t b = console::ClockCycles();
    EXPECT_GE(b, (a / console::kCyclesPerVblank + 1) * console::kCyclesPerVblank);
    EXPECT_LT(b - a, console::kCpuCyclesPerSecond);  // well under a second
    EXPECT_EQ(console::ClockVblankCount(), 4u);
    console::ClockAdvanceCycles(1000000000);  // ignored in real time
    EXPECT_LT(console::ClockCycles() - b, console::kCpuCyclesPerSecond);
    console::ClockSetMode(console::ClockMode::Deterministic);
    const uint64_t c = console::ClockCycles();
    EXPECT_GE(c, b);
    EXPECT_EQ(console::ClockCycles(), c);  // frozen again
}

TEST_F(ConsoleClockTest, PerformanceCounterCountsCyclesWhileRunningInThirtyTwoBits) {
    EXPECT_FALSE(console::PcRunning());
    console::ClockTickVblank();
    EXPECT_EQ(scePcGetCounter0(), 0);  // never started
    scePcStart(SCE_PC_CTE | SCE_PC0_CPU_CYCLE, 0, 0);
    EXPECT_TRUE(console::PcRunning());
    console::ClockTickVblank();
    EXPECT_EQ(scePcGetCounter0(), 4915200);
    scePcStop();
    console::ClockTickVblank();
    EXPECT_EQ(scePcGetCounter0(), 4915200);  // stopped: holds its value
    scePcStart(0, 100, 0);                   // restart from a given value
    console::ClockAdvanceCycles(50);
    EXPECT_EQ(scePcGetCounter0(), 150);
    EXPECT_EQ(scePcGetCounter1(), 0);
    // 874 blanks = 4,295,884,800 cycles: past 2^32 by 917,504 (the 150 from before included).
    for (int i = 0; i < 874; ++i) console::ClockTickVblank();
    EXPECT_EQ(static_cast<uint32_t>(scePcGetCounter0()), 150u + 4295884800ull - 4294967296ull);
}

}  // namespace
