#include "race/control/controller.h"

#include "engine/hal/control.h"

uint32_t CController::_initialized = 0;

namespace {

constexpr int kPresets = 4;
constexpr int kMappedControls = 20;  // virtual controls 0..19; 20 is the capture preset's alone

// Physical control per virtual control, per preset.
constexpr PhysicalControl kPresetMap[kPresets][kMappedControls] = {
    {kControlUp,         kControlDown,        kControlLeft,        kControlRight, kControlL1,
     kControlL2,         kControlR1,          kControlR2,          kControlCross, kControlTriangle,
     kControlSquare,     kControlCircle,      kControlSelect,      kControlStart, kControlLeftStickX,
     kControlLeftStickY, kControlRightStickX, kControlRightStickY, kControlL3,    kControlR3},
    {kControlUp,         kControlDown,        kControlLeft,        kControlRight,  kControlL1,
     kControlL2,         kControlR1,          kControlR2,          kControlCircle, kControlSquare,
     kControlCross,      kControlTriangle,    kControlSelect,      kControlStart,  kControlLeftStickX,
     kControlLeftStickY, kControlRightStickX, kControlRightStickY, kControlL3,     kControlR3},
    {kControlUp,         kControlDown,        kControlLeft,        kControlRight, kControlL1,
     kControlL2,         kControlSquare,      kControlR2,          kControlCross, kControlR1,
     kControlCircle,     kControlTriangle,    kControlSelect,      kControlStart, kControlLeftStickX,
     kControlLeftStickY, kControlRightStickX, kControlRightStickY, kControlL3,    kControlR3},
    {kControlUp,         kControlDown,        kControlLeft,        kControlRight, kControlL2,
     kControlCross,      kControlR2,          kControlSquare,      kControlR1,    kControlCircle,
     kControlL1,         kControlTriangle,    kControlSelect,      kControlStart, kControlLeftStickX,
     kControlLeftStickY, kControlRightStickX, kControlRightStickY, kControlL3,    kControlR3},
};

}  // namespace

CController::CController(unsigned int padNumber, unsigned int preset)
    : _padNumber(static_cast<int32_t>(padNumber)),
      _activeObject(-1),
      _currentDigitalData(0),
      _previousDigitalData(0),
      _currentAnalogData{},
      _previousAnalogData{} {
    if (!_initialized) {
        veControlCreateVirtualPads(kVirtualControls, 0, nullptr);
        veControlUpdatePhysicalConnectionBits();
        const uint32_t connected = veControlGetPhysicalPadConnectionBits();
        const int first = veControlFindFirstPhysicalPad(connected);
        if (first >= 0) {
            veControlMapVirtualPadToPhysicalPad(first, 0);
            const int second = veControlFindNextPhysicalPad(connected, first);
            if (second >= 0) veControlMapVirtualPadToPhysicalPad(second, 1);
        }
        _initialized = 1;
    }
    mapControllers(preset);
}

CController::~CController() {
    veControlDestroyVirtualPads();
    _initialized = 0;
}

void CController::mapControllers(unsigned int preset) {
    veControlUpdateVirtualConnectionBits();
    if (!veControlGetIsVirtualPadConnected(_padNumber)) return;
    if (preset == kCapturePreset) {
        veControlMapSimpleVirtualControl(_padNumber, 20, kControlCross);
        return;
    }
    if (preset >= kPresets) return;
    for (int v = 0; v < kMappedControls; ++v)
        veControlMapSimpleVirtualControl(_padNumber, v, kPresetMap[preset][v]);
}

void CController::ProcessInput(std::vector<CPacket>& packets) {
    // The engine's maintenance reads the physical pads again; with two players it runs twice a step,
    // which the control layer tolerates (it keeps each pad's state, not its edges).
    veControlMaintenance();
    const unsigned int digital = veControlGetVirtualPadDigitalBits(_padNumber);
    int analog[4];
    for (int k = 0; k < 4; ++k)
        analog[k] = veControlGetVirtualControlAnalogState(_padNumber, kFirstStickControl + k);
    PadActionToInputActions(digital, analog, packets);
}
