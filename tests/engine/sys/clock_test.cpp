#include "engine/sys/clock.h"

#include <gtest/gtest.h>

#include "console/kernel/clock.h"
#include "console/kernel/perf_counter.h"

namespace {

class EngineClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        console::ClockReset();
        console::PcReset();
        veClockReset();
    }
    void TearDown() override { SetUp(); }
};

TEST_F(EngineClockTest, AccumulatesAtEachBlank) {
    console::ClockTickVblank();  // nothing counts before the first maintenance
    EXPECT_EQ(veClockGetCycles() + veClockGetFrameCycles(), 0u);
    EXPECT_EQ(x_GetTime(), 0.0f);
    veClockMaintenance();  // starts the counter
    EXPECT_TRUE(console::PcRunning());
    EXPECT_EQ(veClockGetCycles(), 0u);
    console::ClockAdvanceCycles(1000);
    EXPECT_EQ(veClockGetFrameCycles(), 1000u);  // within the frame
    EXPECT_EQ(veClockGetCycles(), 1000u);
    // 60 blanks, each followed by the handler: one second in total.
    for (int i = 0; i < 60; ++i) {
        console::ClockTickVblank();
        veClockMaintenance();
        EXPECT_EQ(veClockGetFrameCycles(), 0u);  // restarted
    }
    EXPECT_EQ(veClockGetCycles(), 294912000u + 1000u);
    EXPECT_NEAR(veClockGetSeconds(), 1.0f + 1000.0f / veClockGetCPUClockSpeed(), 1e-6f);
    EXPECT_EQ(x_GetTime(), veClockGetSeconds());
    console::ClockAdvanceCycles(294912000 / 2);  // half a second into the next frame
    EXPECT_NEAR(veClockGetSeconds(), 1.5f, 1e-5f);
}

}  // namespace
