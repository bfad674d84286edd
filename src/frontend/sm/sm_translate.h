// Event translator: one input event becomes the screen messages of the current screen: Accept, Cancel,
// Start, the directions and one message per other button, a down / press / up sequence for every mapped
// button, left-stick direction repeats at a rate that follows the deflection, stick polar and position
// messages, and a device message when a pad comes or goes.
#pragma once

#include <cstdint>

#include "frontend/sm/sm_types.h"

struct _sm_buttonmap {
    int16_t Gadget;  // a row with a gadget <= 0 ends the map
    int16_t Spare;
    int32_t Button;
};

extern const _sm_buttonmap PS2ButtonMap[17];

using SM_EVENTTRANSPROC = int (*)(_input_event* event);  // answers 1 to consume the event

void SM_InitTranslatorModule();
void SM_KillTranslatorModule();
void SM_RegisterEventTransCallback(SM_EVENTTRANSPROC callback);
void SM_TranslateEvent(_input_event* event);
