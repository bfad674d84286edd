// The life of the program: start-up, then the loop between the front end and a race.
#pragma once

#include "game/core/game_options.h"

extern GameState gameState;
extern CGameOptions gameOptions;
extern unsigned char inCareer;

// How the program ended: its exit code and, for a failure the game's log has not already explained, the
// line main gives the user (null otherwise).
struct QzExit {
    int code = 0;
    const char* why = nullptr;
};

// Start-up: boot, engine and sound limits, default options, and the common-objects master file.
// Returns the loaded common-objects image, or null when a driver module or that file could not be
// loaded (the log says which).
void* qzStartUp(int argc, char** argv);

// The whole program as the console ran it.
QzExit qzMain(int argc, char** argv);

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
// Installs the front-end step (null: the front-end shell). The step is not owned.
void qzSetFrontEndStep(CFrontEndStep* step);

// Runs the loop until qzQuitRequested (the console's loop never ended). Ends with code -1 when the sound
// processor cannot be set up on entry to the front end, 1 when the front end cannot open.
QzExit qzRunLoop(void* common);

// Set by the host (for example after the number of frames it was asked to show); the loop ends at the
// next frame boundary and qzMain returns 0. The console version never ended.
extern volatile bool qzQuitRequested;
