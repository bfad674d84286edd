#include "engine/hal/control.h"

#include <gtest/gtest.h>

#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "console/pad/mtap.h"
#include "console/pad/pad.h"
#include "console/spu/driver_modules_fixture.h"
#include "engine/sys/math.h"
#include "engine_fixture.h"

namespace {

using console::PadInput;

class Control : public ::testing::Test {
protected:
    void SetUp() override { enginetest::StartControls(); }
    void TearDown() override {
        veControlReset();
        console::PadReset();
        console::MtapReset();
    }
    // Pad 0 with these sticks (right X, right Y, left X, left Y), read once.
    static void Sticks(uint8_t rx, uint8_t ry, uint8_t lx = 128, uint8_t ly = 128) {
        PadInput in = console::PadIdle();
        in.sticks[0] = rx;
        in.sticks[1] = ry;
        in.sticks[2] = lx;
        in.sticks[3] = ly;
        console::PadSetInput(0, 0, in);
        veControlMaintenance();
    }
    static int Analog(int control) { return veControlGetPhysicalControlAnalogState(0, control); }
    testsupport::DriverModules modules_;
};

TEST_F(Control, InitOpensEveryPadAndSetsUpTheConnectedOne) {
    EXPECT_EQ(console::VsyncCount(), 90u);  // 90 reads, a vertical blank after each
    EXPECT_EQ(veControlGetNumPhysicalPads(), 8);
    EXPECT_EQ(veControlGetPhysicalPadConnectionBits(), 1u);
    EXPECT_EQ(veControlGetRawData(0)->currentState, 6);
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(veControlGetRawData(n)->isOpen, 1) << n;
        EXPECT_EQ(veControlGetRawData(n)->port * 4 + veControlGetRawData(n)->slot, n);
    }
    EXPECT_EQ(veControlGetRawData(5)->currentState, 0);
    const __CONTROL* table = veControlGetPhysicalPadAddress();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[19].type, 2);  // left stick Y
}

TEST_F(Control, StickDeadZoneAndScale) {
    struct Case {
        uint8_t rx, ry;
        int x, yMin, yMax;
    };
    const Case cases[] = {
        {128, 128, 0, 0, 0},   {150, 140, 0, 0, 0},    // radius 25: inside the dead zone
        {0, 0, 0, 0, 0},                               // a pad that sent zeros
        {255, 128, 127, 0, 0}, {128, 0, 0, 126, 127},  // up: positive Y at full deflection
        {198, 128, 63, 0, 0},                          // radius 70: 40 beyond the dead zone of 80 -> 63.5
        {58, 128, -63, 0, 0},  {128, 255, 0, -128, -126},
    };
    for (const Case& c : cases) {
        Sticks(c.rx, c.ry);
        EXPECT_EQ(Analog(kControlRightStickX), c.x) << int(c.rx) << "," << int(c.ry);
        EXPECT_GE(Analog(kControlRightStickY), c.yMin) << int(c.rx) << "," << int(c.ry);
        EXPECT_LE(Analog(kControlRightStickY), c.yMax) << int(c.rx) << "," << int(c.ry);
    }
    // The left stick goes to controls 18 and 19; non-zero sticks set digital bits 16..19.
    Sticks(128, 128, 255, 128);
    EXPECT_EQ(Analog(kControlLeftStickX), 127);
    EXPECT_EQ(Analog(kControlRightStickX), 0);
    EXPECT_EQ(veControlGetPhysicalPadDigitalBits(0), 1u << 18);
    Sticks(255, 0, 0, 255);
    EXPECT_EQ(veControlGetPhysicalPadDigitalBits(0), 0xFu << 16);
    EXPECT_EQ(veControlGetPhysicalControlAnalogState(0, 20), 0);
    EXPECT_EQ(veControlGetPhysicalControlAnalogState(8, 0), 0);
}

TEST_F(Control, FindPhysicalPads) {
    EXPECT_EQ(veControlFindFirstPhysicalPad(0), -1);
    EXPECT_EQ(veControlFindFirstPhysicalPad(0x0A), 1);
    const struct {
        uint32_t bits;
        int after, next;
    } cases[] = {{0x0A, 1, 3},          {0x0A, 3, -1},  {0xFFFFFFFFu, 31, -1},
                 {0xFFFFFFFFu, 30, 31}, {0x0A, -1, -1}, {0, 0, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(veControlFindNextPhysicalPad(c.bits, c.after), c.next) << c.bits << " " << c.after;
}

TEST_F(Control, VirtualPadsFollowTheirBoundPhysicalPad) {
    veControlCreateVirtualPads(21, 0, nullptr);
    veControlMapSimpleVirtualControl(0, 0, kControlCross);  // ignored: not bound yet
    EXPECT_EQ(veControlGetVirtualControl(0, 0)->type, 0);
    veControlMapVirtualPadToPhysicalPad(0, 0);
    veControlMapSimpleVirtualControl(0, 0, kControlCross);
    veControlMapSimpleVirtualControl(0, 1, kControlLeftStickX);
    veControlMapSimpleVirtualControl(0, 2, kControlStart);
    veControlMapSimpleVirtualControl(0, 21, kControlStart);  // beyond the pad's 21 controls: ignored
    PadInput in = console::PadIdle();
    in.buttons = 0xFFFF;  // everything held
    in.sticks[2] = 0;
    console::PadSetInput(0, 0, in);
    veControlMaintenance();
    EXPECT_EQ(veControlGetVirtualPadDigitalBits(0), 0x7u);  // the dummy controls 3..20 read 0
    EXPECT_EQ(veControlGetVirtualControlAnalogState(0, 1), -127);
    EXPECT_EQ(veControlGetVirtualControlAnalogState(0, 2), 0);  // START has no analog value
    EXPECT_EQ(veControlGetVirtualControlAnalogState(0, 5), 0);  // dummy
    EXPECT_TRUE(veControlGetIsVirtualPadConnected(0));
    EXPECT_FALSE(veControlGetIsVirtualPadConnected(1));  // not bound
    // Binding again points every control back at the dummy.
    veControlMapVirtualPadToPhysicalPad(0, 0);
    veControlMaintenance();
    EXPECT_EQ(veControlGetVirtualPadDigitalBits(0), 0u);
    veControlDestroyVirtualPads();
    EXPECT_EQ(veControlGetVirtualPadDigitalBits(0), 0u);
    EXPECT_EQ(veControlGetVirtualControl(0, 0), nullptr);
}

TEST_F(Control, UnpluggingClearsConnectionBitsAndValues) {
    veControlCreateVirtualPads(21, 0, nullptr);
    veControlMapVirtualPadToPhysicalPad(0, 0);
    veControlMapSimpleVirtualControl(0, 0, kControlCross);
    PadInput in = console::PadIdle();
    in.buttons = console::kPadCross;
    in.sticks[0] = 255;
    console::PadSetInput(0, 0, in);
    veControlMaintenance();
    ASSERT_EQ(veControlGetPhysicalPadConnectionBits(), 1u);
    ASSERT_TRUE(veControlGetIsVirtualPadConnected(0));
    ASSERT_EQ(Analog(kControlRightStickX), 127);
    in.connected = false;
    console::PadSetInput(0, 0, in);
    veControlMaintenance();
    EXPECT_EQ(veControlGetPhysicalPadConnectionBits(), 0u);
    EXPECT_FALSE(veControlGetIsVirtualPadConnected(0));
    EXPECT_EQ(veControlGetPhysicalPadDigitalBits(0), 0u);
    EXPECT_EQ(veControlGetVirtualPadDigitalBits(0), 0u);
    EXPECT_EQ(Analog(kControlRightStickX), 0);
    EXPECT_EQ(veControlGetRawData(0)->isModeSet, 0);
    veControlUpdatePhysicalConnectionBits();
    EXPECT_EQ(veControlGetPhysicalPadConnectionBits(), 0u);
    // Plugged in again: set up again, and a pad behind the multitap shows up too.
    console::PadSetInput(0, 0, console::PadIdle());
    console::PadSetInput(1, 2, console::PadIdle());
    veControlMaintenance();
    EXPECT_EQ(veControlGetPhysicalPadConnectionBits(), (1u << 0) | (1u << 6));
    EXPECT_EQ(veControlGetRawData(0)->isModeSet, 1);
    EXPECT_TRUE(veControlGetIsVirtualPadConnected(0));
}

TEST_F(Control, PressureBytesGoToTheButtonsAnalogValuesAndRumbleIsSent) {
    PadInput in = console::PadIdle();
    in.connected = false;
    console::PadSetInput(0, 0, in);
    veControlMaintenance();
    in = console::PadIdle();
    in.hasPressure = true;
    in.buttons = console::kPadR2 | console::kPadUp;
    console::PadSetInput(0, 0, in);
    veControlMaintenance();
    EXPECT_EQ(veControlGetRawData(0)->isPressureSet, 1);
    veControlMaintenance();
    EXPECT_EQ(Analog(kControlR2), -1);  // 255 as a signed byte, unchanged
    EXPECT_EQ(Analog(kControlUp), -1);
    EXPECT_EQ(Analog(kControlL2), 0);
    // Rumble: the game sets the flag through the raw record; it is sent once.
    _RAW_DATA* r = const_cast<_RAW_DATA*>(veControlGetRawData(0));
    r->direct[1] = 180;
    r->rumbleChanged = 1;
    veControlMaintenance();
    EXPECT_EQ(console::PadActuator(0, 0, 1), 180);
    EXPECT_EQ(r->rumbleChanged, 0);
}

TEST_F(Control, ButtonTimesCountFramesSinceTheLastChange) {
    PadInput in = console::PadIdle();
    in.buttons = console::kPadCross | console::kPadStart;
    console::PadSetInput(0, 0, in);
    for (int i = 0; i < 3; ++i) veControlMaintenance();
    const __CONTROL* cross = &veControlGetPhysicalPadAddress()[kControlCross];
    EXPECT_EQ(cross->currentDigitalState, 1);
    EXPECT_EQ(cross->currentDigitalTime, 3);
    EXPECT_EQ(veControlGetPhysicalPadDigitalBits(0), (1u << kControlCross) | (1u << kControlStart));
    console::PadSetInput(0, 0, console::PadIdle());
    veControlMaintenance();
    EXPECT_EQ(cross->currentDigitalState, 0);
    EXPECT_EQ(cross->previousDigitalState, 1);
    EXPECT_EQ(cross->previousDigitalTime, 3);
    EXPECT_EQ(cross->currentDigitalTime, 1);
    EXPECT_EQ(veControlGetPhysicalPadDigitalBits(0), 0u);
}

}  // namespace
