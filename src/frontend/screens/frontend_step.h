// The front end as one step of the program's loop.
#pragma once

#include "game/core/game_options.h"

// The front-end step of the loop: what runs while gameState is GAMESTATE_FRONTEND. By default the
// front-end shell (title, menus, and the attract loop when nobody plays); a host or test may install
// another.
class CFrontEndStep {
public:
    virtual ~CFrontEndStep() = default;
    // A new pass opening on screen `screen` with the options the race will read. Returns null, or why
    // the front end cannot open (the program then ends).
    virtual const char* begin(CGameOptions* options, int screen) = 0;
    // One front-end frame; true once the front end is done and the race can start.
    virtual bool update() = 0;
    virtual void end() {}
};
