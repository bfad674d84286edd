// The life of the program: start-up, then the loop between the front end and a race.
#pragma once

#include "game/core/game_options.h"

extern GameState gameState;
extern CGameOptions gameOptions;
extern unsigned char inCareer;

// Start-up: boot, engine and sound limits, default options, and the common-objects master file.
// Returns the loaded common-objects image, or null when it could not be loaded.
void* qzStartUp(int argc, char** argv);

// The whole program as the console ran it. Returns the program's exit code.
int qzMain(int argc, char** argv);

// The front-end step of the loop: what runs while gameState is GAMESTATE_FRONTEND. By default the
// front-end shell (title, menus, and the attract loop when nobody plays); a host or test may install
// another.
class CFrontEndStep {
public:
    virtual ~CFrontEndStep() = default;
    // A new pass opening on screen `screen` with the options the race will read.
    virtual void begin(CGameOptions* options, int screen) = 0;
    // One front-end frame; true once the front end is done and the race can start.
    virtual bool update() = 0;
    virtual void end() {}
};
// Installs the front-end step (null: the front-end shell). The step is not owned.
void qzSetFrontEndStep(CFrontEndStep* step);

// Runs the loop until qzQuitRequested (the console's loop never ended). Returns -1 when the sound
// processor cannot be set up on entry to the front end.
int qzRunLoop(void* common);

// Set by the host (for example after the number of frames it was asked to show); the loop ends at the
// next frame boundary and qzMain returns 0. The console version never ended.
extern volatile bool qzQuitRequested;
