// Game pads: up to eight physical pads (two ports, four multitap slots each) read once per frame, every
// button and stick kept as a uniform control record, sticks converted through a radial dead zone, and
// virtual pads for the game: per player, a table of virtual controls each pointing at one control of
// the physical pad the player is bound to.
#pragma once

#include <cstdint>

// One control.
struct __CONTROL {
    uint16_t currentDigitalTime;   // frames since the digital state last changed (1 in the frame of it)
    uint16_t previousDigitalTime;  // what currentDigitalTime was when the state last changed
    uint8_t currentDigitalState;   // 1 pressed
    uint8_t previousDigitalState;
    int8_t analog;  // stick -127..127 (0 centre, + right/up) or button pressure
    uint8_t type;   // bit 0 digital, bit 1 analog axis, bit 2 pressure
};

inline constexpr uint8_t kControlTypeDigital = 1;
inline constexpr uint8_t kControlTypeAxis = 2;
inline constexpr uint8_t kControlTypePressure = 4;

// Physical control numbers; bits 0..15 of a pad's digital word follow the same order.
enum PhysicalControl {
    kControlL2,
    kControlR2,
    kControlL1,
    kControlR1,
    kControlTriangle,
    kControlCircle,
    kControlCross,
    kControlSquare,
    kControlSelect,
    kControlL3,
    kControlR3,
    kControlStart,
    kControlUp,
    kControlRight,
    kControlDown,
    kControlLeft,
    kControlRightStickX,
    kControlRightStickY,
    kControlLeftStickX,
    kControlLeftStickY,
};

inline constexpr int kNumPhysicalPads = 8;
inline constexpr int kNumPhysicalControls = 20;
inline constexpr int kMaxVirtualControls = 32;

// Pad-library state per physical pad (pad n: port n / 4, slot n % 4).
struct _RAW_DATA {
    alignas(64) uint8_t buffer[256];  // the pad library's per-pad buffer
    uint8_t* analogData;              // buttonData + 4: right X, right Y, left X, left Y
    uint8_t* pressureData;            // buttonData + 8: 12 pressure bytes
    uint16_t currentDigital;          // 1 = pressed
    uint16_t previousDigital;
    uint8_t buttonData[32];
    uint8_t idTable[8];
    uint8_t alignment[6];
    uint8_t direct[6];
    int8_t port;
    int8_t slot;
    uint8_t currentState;
    uint8_t previousState;
    uint8_t currentMode;
    uint8_t previousMode;
    uint8_t hasModeChanged;
    uint8_t isModeSet;
    uint8_t isActuatorSet;
    uint8_t isPressureSet;
    uint8_t isAnalog;
    uint8_t isOpen;
    uint8_t rumbleChanged;
};

using veControlComplexHandler = void (*)();

void veControlInit();
void veControlInitPhysicalPads();
void veControlOpenPads();
void veControlCreatePhysicalPads();
void veControlMaintenance();
uint32_t veControlReadPhysicalPads();
void veControlUpdateRumble();
void veControlUpdatePadState(_RAW_DATA* pad);
int veControlIsModeAvailable(_RAW_DATA* pad, int id, int* index);
void veControlUpdatePhysicalPad(int pad);
void veControlClampAnalogData(int pad);
void veControlUpdatePhysicalConnectionBits();
uint32_t veControlGetPhysicalPadConnectionBits();
uint32_t veControlGetPhysicalPadDigitalBits(int pad);
int8_t veControlGetPhysicalControlAnalogState(int pad, int control);
int veControlGetNumPhysicalPads();
int veControlGetNumPhysicalControls();
__CONTROL* veControlGetPhysicalPadAddress();
int veControlFindFirstPhysicalPad(uint32_t mask);
int veControlFindNextPhysicalPad(uint32_t mask, int previous);

void veControlCreateVirtualPads(int controlsPerPad, int complexPerPad, veControlComplexHandler handler);
void veControlDestroyVirtualPads();
void veControlMapVirtualPadToPhysicalPad(int physicalPad, int virtualPad);
void veControlMapSimpleVirtualControl(int virtualPad, int virtualControl, int physicalControl);
uint32_t veControlGetVirtualPadDigitalBits(int virtualPad);
int8_t veControlGetVirtualControlAnalogState(int virtualPad, int virtualControl);
void veControlUpdateVirtualConnectionBits();
bool veControlGetIsVirtualPadConnected(int virtualPad);

// Read-only access for tests and diagnostics.
const _RAW_DATA* veControlGetRawData(int pad);
const __CONTROL* veControlGetVirtualControl(int virtualPad, int virtualControl);
// Back to before veControlInit: tables freed (tests).
void veControlReset();
