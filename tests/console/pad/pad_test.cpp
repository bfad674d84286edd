#include "console/pad/pad.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/pad/mtap.h"
#include "console/spu/driver_modules_fixture.h"

namespace {

using namespace console;

class Pad : public ::testing::Test {
protected:
    void SetUp() override {
        PadReset();
        MtapReset();
    }
    void TearDown() override {
        PadReset();
        MtapReset();
    }
    static void OpenAll() {
        ASSERT_EQ(sceMtapInit(), 1);
        ASSERT_EQ(scePadInit(0), 1);
        for (int port = 0; port < 4; ++port) ASSERT_EQ(sceMtapPortOpen(port), 1);
        for (int port = 0; port < 2; ++port)
            for (int slot = 0; slot < 4; ++slot) ASSERT_EQ(scePadPortOpen(port, slot, buffer_), 1);
    }
    // The first eight bytes a read gives.
    static std::vector<int> Read(int port, int slot) {
        unsigned char data[32];
        std::memset(data, 0x55, sizeof data);
        const int n = scePadRead(port, slot, data);
        std::vector<int> out(data, data + 8);
        out.push_back(n);
        return out;
    }
    alignas(64) static inline unsigned char buffer_[256];
};

TEST_F(Pad, FirstPadIsIdleFromPowerOnAndReadsGiveActiveLowButtonsAndStickBytes) {
    testsupport::DriverModules modules;
    OpenAll();
    EXPECT_EQ(scePadGetState(0, 0), 6);
    for (int n = 1; n < 8; ++n) EXPECT_EQ(scePadGetState(n / 4, n % 4), 0) << n;
    EXPECT_EQ(Read(0, 0),
              (std::vector<int>{0, 0x73, 0xFF, 0xFF, 128, 128, 128, 128, 32}));  // analog mode, nothing held
    PadInput in = PadIdle();
    in.buttons = kPadCross | kPadStart | kPadLeft | kPadL2;
    in.sticks[0] = 255;
    in.sticks[1] = 128;
    in.sticks[2] = 10;
    in.sticks[3] = 0;
    PadSetInput(1, 2, in);
    EXPECT_EQ(scePadGetState(1, 2), 6);
    // Byte 2: SELECT L3 R3 START up right down left -> START (bit 3) and left (bit 7) low.
    // Byte 3: L2 R2 L1 R1 triangle circle cross square -> L2 (bit 0) and cross (bit 6) low.
    const std::vector<int> data = Read(1, 2);
    EXPECT_EQ(data, (std::vector<int>{0, 0x73, 0x77, 0xBE, 255, 128, 10, 0, 32}));
    // The engine's complement of byte 2 * 256 + byte 3 gives the button word back.
    EXPECT_EQ(static_cast<uint16_t>(~(data[2] * 256 + data[3])), in.buttons);
}

TEST_F(Pad, TheLibraryNeedsItsModulesAndSlotsBehindTheMultitapNeedItsPortOpen) {
    console::IopReset();
    EXPECT_EQ(scePadInit(0), 0);
    EXPECT_EQ(sceMtapInit(), 0);
    EXPECT_EQ(scePadPortOpen(0, 0, buffer_), 0);
    EXPECT_EQ(scePadGetState(0, 0), 0);
    testsupport::DriverModules modules;
    ASSERT_EQ(scePadInit(0), 1);
    PadSetInput(0, 1, PadIdle());
    ASSERT_EQ(scePadPortOpen(0, 0, buffer_), 1);
    ASSERT_EQ(scePadPortOpen(0, 1, buffer_), 1);
    EXPECT_EQ(scePadGetState(0, 0), 6);
    EXPECT_EQ(scePadGetState(0, 1), 0);
    ASSERT_EQ(sceMtapInit(), 1);
    ASSERT_EQ(sceMtapPortOpen(0), 1);
    EXPECT_EQ(scePadGetState(0, 1), 6);
    EXPECT_EQ(scePadPortOpen(2, 0, buffer_), 0);  // only ports 0 and 1 have pads
    EXPECT_EQ(scePadPortOpen(0, 4, buffer_), 0);
}

TEST_F(Pad, UnpluggedPadReadsNothing) {
    testsupport::DriverModules modules;
    OpenAll();
    PadInput in;
    in.connected = false;
    in.buttons = kPadCross;
    PadSetInput(0, 0, in);
    EXPECT_EQ(scePadGetState(0, 0), 0);
    EXPECT_EQ(Read(0, 0), std::vector<int>(9, 0));
    EXPECT_EQ(scePadInfoMode(0, 0, 1, -1), 0);
}

TEST_F(Pad, ModesActuatorsAndPressure) {
    testsupport::DriverModules modules;
    OpenAll();
    EXPECT_EQ(scePadInfoMode(0, 0, 1, -1), 7);  // analog
    EXPECT_EQ((std::vector<int>{scePadInfoMode(0, 0, 4, -1), scePadInfoMode(0, 0, 4, 0),
                                scePadInfoMode(0, 0, 4, 1), scePadInfoMode(0, 0, 4, 2)}),
              (std::vector<int>{2, 4, 7, 0}));
    // Digital mode: sticks read centred whatever is pushed.
    EXPECT_EQ(scePadSetMainMode(0, 0, 0, 0), 1);
    EXPECT_EQ(scePadInfoMode(0, 0, 1, -1), 4);
    PadInput in = PadIdle();
    in.sticks[0] = 0;
    PadSetInput(0, 0, in);
    EXPECT_EQ(Read(0, 0)[4], 128);
    EXPECT_EQ(scePadSetMainMode(0, 0, 1, 0), 1);
    EXPECT_EQ(Read(0, 0)[4], 0);
    EXPECT_EQ(scePadInfoAct(0, 0, -1, 0), 2);
    const unsigned char align[6] = {0, 1, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(scePadSetActAlign(0, 0, align), 1);
    const unsigned char direct[6] = {1, 200, 0, 0, 0, 0};
    EXPECT_EQ(scePadSetActDirect(0, 0, direct), 1);
    EXPECT_EQ(PadActuator(0, 0, 1), 200);
    // Pressure only where the pad has it; then pressed buttons read 255 in their pressure byte.
    EXPECT_EQ(scePadInfoPressMode(0, 0), 0);
    EXPECT_EQ(scePadEnterPressMode(0, 0), 0);
    in.hasPressure = true;
    in.buttons = kPadRight | kPadR2;
    PadSetInput(0, 0, in);
    EXPECT_EQ(scePadInfoPressMode(0, 0), 1);
    EXPECT_EQ(scePadEnterPressMode(0, 0), 1);
    unsigned char data[32];
    scePadRead(0, 0, data);
    EXPECT_EQ(data[8], 255);   // right
    EXPECT_EQ(data[9], 0);     // left
    EXPECT_EQ(data[19], 255);  // R2
}

}  // namespace
