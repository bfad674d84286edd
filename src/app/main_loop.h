// The life of the program: start-up, then the loop between the front end and a race.
#pragma once

#include <cstdint>

#include "frontend/screens/frontend_step.h"
#include "game/core/global_options.h"

// How the program ended: its exit code and, for a failure the game's log has not already explained, the
// line main gives the user (null otherwise).
struct QzExit {
    int code = 0;
    const char* why = nullptr;
};

// Start-up: boot, engine and sound limits, default options, and the common-objects master file.
// Returns the loaded common-objects image, or null when a driver module or that file could not be
// loaded: the log says which, and `why` the line for the user (the file and the reason).
void* qzStartUp(int argc, char** argv, const char** why);

// The whole program as the console ran it.
QzExit qzMain(int argc, char** argv);

// The developers' switches, set by the host before qzMain. Soak mode: the attract races take every track
// in turn, each lasting `raceFrames` shown frames (0 switches it off). Debug drawing: every race draws its
// colliders and riders' bodies as wire frames and its HUD's debug lines.
void qzSetSoak(uint32_t raceFrames);
void qzSetDebugDraw(bool on);

// Installs the front-end step (null: the front-end shell). The step is not owned.
void qzSetFrontEndStep(CFrontEndStep* step);

// Runs the loop until qzQuitRequested (the console's loop never ended). Ends with code -1 when the sound
// processor cannot be set up on entry to the front end, 1 when the front end cannot open.
QzExit qzRunLoop(void* common);

// Set by the host (for example after the number of frames it was asked to show); the loop ends at the
// next frame boundary and qzMain returns 0. The console version never ended.
extern volatile bool qzQuitRequested;
