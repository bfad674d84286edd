#include "console/kernel/vsync.h"

#include <gtest/gtest.h>

#include "console/gs/gs_device.h"
#include "console/kernel/clock.h"
#include "console/kernel/hw_registers.h"
#include "console/kernel/intc.h"

namespace {

int g_calls = 0;
int CountBlank(int) {
    ++g_calls;
    return 0;
}

// A handler that waits for a blank itself must not recurse.
int WaitingHandler(int) {
    ++g_calls;
    sceGsSyncV(0);
    return 0;
}

class VsyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        console::ClockReset();
        console::VsyncReset();
        g_calls = 0;
    }
    void TearDown() override { console::VsyncReset(); }
};

TEST_F(VsyncTest, EachWaitDeliversOneVirtualSixtiethAndAlternatesTheField) {
    sceGsSyncVCallback(CountBlank);
    const int first = sceGsSyncV(0);
    const int second = sceGsSyncV(0);
    EXPECT_NE(first, second);
    EXPECT_EQ(first, console::VsyncOddField() ? 0 : 1) << "field changed after the call";
    EXPECT_EQ(console::ClockCycles(), 2 * console::kCyclesPerVblank);
    EXPECT_EQ(g_calls, 2);
    EXPECT_EQ(console::VsyncCount(), 2u);
    // The odd field is the one whose CSR FIELD bit is clear.
    const bool fieldBit = (console::HwRead32(console::kRegGsCsr) >> 13) & 1;
    EXPECT_EQ(console::VsyncOddField(), !fieldBit);
}

TEST_F(VsyncTest, HandlersAreReplacedRemovedAndNeverReentered) {
    EXPECT_EQ(sceGsSyncVCallback(CountBlank), nullptr);
    EXPECT_EQ(sceGsSyncVCallback(nullptr), CountBlank);  // the previous handler; null removes it
    console::VsyncWait();
    EXPECT_EQ(g_calls, 0);
    sceGsSyncVCallback(WaitingHandler);  // waits for a blank itself: must not recurse
    console::VsyncWait();
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(console::VsyncCount(), 3u);
}

// Real time: three waits take at least two sixtieths (the first may come early), and blanks missed while
// busy are handed over at the next wait, up to the catch-up cap.
TEST_F(VsyncTest, RealTimeWaitsFollowTheWallClockAndDeliverMissedBlanks) {
    sceGsSyncVCallback(CountBlank);
    console::ClockSetMode(console::ClockMode::RealTime);
    const uint64_t c0 = console::ClockCycles();
    for (int i = 0; i < 3; ++i) console::VsyncWait();
    const uint64_t elapsed = console::ClockCycles() - c0;
    EXPECT_GE(elapsed, 2 * console::kCyclesPerVblank);
    EXPECT_LT(elapsed, 8 * console::kCyclesPerVblank);  // generous: the machine may be busy
    EXPECT_GE(console::VsyncCount(), 3u);
    const int before = g_calls;
    const uint64_t until =
        console::ClockCycles() + 5 * console::kCyclesPerVblank + console::kCyclesPerVblank / 2;
    while (console::ClockCycles() < until) {
    }
    console::VsyncWait();
    console::ClockSetMode(console::ClockMode::Deterministic);
    EXPECT_GE(g_calls - before, 5);
    EXPECT_LE(g_calls - before, 8);
}

std::vector<int> g_order;
int First(int ch) {
    g_order.push_back(10 + ch);
    return 1;
}
int Second(int ch) {
    g_order.push_back(20 + ch);
    return 1;
}

TEST(IntcTest, HandlersRunInInstalledOrderOnlyWhileEnabled) {
    console::IntcReset();
    g_order.clear();
    const int a = AddDmacHandler(2, Second, 0);
    const int b = AddDmacHandler(2, First, 0);  // 0: in front
    EXPECT_GT(a, 0);
    EXPECT_GT(b, a);
    console::IntcDmacEnd(2);
    EXPECT_TRUE(g_order.empty());
    EXPECT_EQ(EnableDmac(2), 0);
    console::IntcDmacEnd(2);
    EXPECT_EQ(g_order, (std::vector<int>{12, 22}));
    EXPECT_EQ(RemoveDmacHandler(2, b), 0);
    EXPECT_EQ(RemoveDmacHandler(2, b), -1);
    console::IntcDmacEnd(2);
    EXPECT_EQ(g_order, (std::vector<int>{12, 22, 22}));
    EXPECT_EQ(AddDmacHandler(12, First, 0), -1);
    EXPECT_EQ(DisableDmac(2), 1);
    console::IntcReset();
}

TEST(HwRegistersTest, DStatStatusBitsClearAndMaskBitsToggle) {
    console::HwRegistersReset();
    console::HwWrite32(console::kRegDStat, 0x40004);
    EXPECT_EQ(console::HwRead32(console::kRegDStat), 0x40000u);
    console::HwWrite32(console::kRegDStat, 0x20002);
    EXPECT_EQ(console::HwRead32(console::kRegDStat), 0x60000u);
    console::HwWrite32(console::kRegDStat, 0x40000);
    EXPECT_EQ(console::HwRead32(console::kRegDStat), 0x20000u);
    console::HwWrite32(console::kRegGifMode, 4);
    EXPECT_EQ(console::HwRead32(console::kRegGifMode), 4u);
    console::HwWrite32(console::kRegVif1Fbrst, 8);
    EXPECT_EQ(console::HwRead32(console::kRegVif1Fbrst), 0u);
}

}  // namespace
