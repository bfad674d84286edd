// Input devices and the event queue: the pads are polled once a frame and every change becomes an
// `_input_event` (pad plugged in or pulled out, button down or up, each stick's position) queued in time
// stamp order for the event translator.
#pragma once

#include <cstdint>

#include "frontend/sm/sm_types.h"

inline constexpr int INPUTQ_SIZE = 256;
inline constexpr int16_t INPUT_DEVICE_PAD = 8;
inline constexpr int16_t INPUT_GADGET_REMOVED = 424;
inline constexpr int16_t INPUT_GADGET_INSERTED = 425;
inline constexpr int16_t INPUT_GADGET_BUTTON0 = 427;
inline constexpr int16_t INPUT_GADGET_LOCATOR0 = 443;
inline constexpr int16_t INPUT_GADGET_LSTICK = 445;
inline constexpr int16_t INPUT_GADGET_RSTICK = 446;

void INPUTQ_InitModule();
void INPUTQ_KillModule();
void INPUTQ_EnQueue(const _input_event* event);
int INPUTQ_DeQueue(_input_event* event);

void INPUT_CheckDevices();
int INPUT_GetNextEvent(_input_event* event);
int INPUT_GetLocatorX(int16_t device, int16_t gadget);
int INPUT_GetLocatorY(int16_t device, int16_t gadget);
int INPUT_GetLocatorZ(int16_t device, int16_t gadget);
void Event_Button(int device, int bit, int pressed);
void Event_Stick(int device, int gadget, int x, int y);

void SM_InitInputModule();
void SM_KillInputModule();
void SM_InputCheckDevices();
int SM_InputGetNextEvent(_input_event* event);

// Where the poll reads the pads: the engine's pad layer unless a test or a script installs its own
// (null restores the engine's).
struct INPUT_PadSource {
    uint32_t (*ConnectionBits)();
    uint32_t (*DigitalBits)(int pad);
    int8_t (*Analog)(int pad, int control);  // controls 0x10..0x13: right x, right y, left x, left y
};
void INPUT_SetPadSource(const INPUT_PadSource* source);
