// The race's pause state as the model obeys it. The pause object writes it (its pauseSwitch, pauseDraw
// and selfPauseObject are these variables); the model, the clock and the views read it.
#pragma once

#include <cstdint>

class CModelObject;

struct CPauseState {
    static int32_t pauseSwitch;            // 1 while the race is paused
    static int32_t pauseDraw;              // 1 while the pause menu holds the picture
    static CModelObject* selfPauseObject;  // the one object still updated while paused
};
