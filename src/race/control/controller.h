// A human player's pad as the game reads it: the player's virtual pad on the engine's control layer with
// the game's 21 virtual controls mapped by a control preset, read once per input step into the current
// and previous digital word and the four stick values, then handed to the concrete controller.
#pragma once

#include <cstdint>
#include <vector>

#include "game/model/packet.h"

inline constexpr int kVirtualControls = 21;
inline constexpr int kFirstStickControl = 14;  // left X, left Y, right X, right Y
// The preset that maps only the capture control (virtual control 20, cross).
inline constexpr unsigned int kCapturePreset = 99;

class CController {
public:
    // The first controller made sets up the virtual pads (bound to the first two connected physical
    // pads); every controller then maps its pad with `preset`.
    CController(unsigned int padNumber, unsigned int preset);
    virtual ~CController();
    CController(const CController&) = delete;
    CController& operator=(const CController&) = delete;

    void mapControllers(unsigned int preset);
    // Reads the pad and hands the step to PadActionToInputActions.
    void ProcessInput(std::vector<CPacket>& packets);
    virtual void PadActionToInputActions(unsigned int digitalBits, int* analog,
                                         std::vector<CPacket>& packets) = 0;

    static uint32_t _initialized;

    int32_t _padNumber;
    int32_t _activeObject;
    uint32_t _currentDigitalData;
    uint32_t _previousDigitalData;
    int32_t _currentAnalogData[4];
    int32_t _previousAnalogData[4];
};
