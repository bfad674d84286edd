// Command line of the host program.
#pragma once

#include "host/error.h"

namespace host {

// The smallest engine heap a run is accepted with. Measured: the program keeps 10.7 MB between races
// (common objects, front-end resources, sound, stores); the front end after a race and the largest
// worlds need the rest. At 20 MB every track of the sample disc races in turn and the front end comes
// back; at 19 the front end runs out after the first race.
inline constexpr long kMinHeapMb = 20;

enum StageChoice { kStageAuto, kStageInline, kStageThread, kStageDeferred };

struct Options {
    const char* discDir;  // directory standing in for the disc
    const char* outDir;   // diagnostic files, frames and sound go here
    long frames;          // stop after this many shown frames (0: run until the game ends)
    bool window;
    bool realtime;
    long pngEvery;        // 0: no PNG output
    const char* wavPath;  // null: no WAV output
    const char* padScript[2];
    long heapMb;
    long gsThreads;  // rasteriser threads; 0: chosen from the processor count
    long
        soakFrames;  // 0: the usual attract loop; else attract races of this many frames, every track in turn
    bool debugDraw;  // the game's debug drawing: collider and rider wire frames, the HUD's debug lines
    // Where the geometry stage (VIF1, VU1, GIF) runs: kStageAuto beside the game on a thread of its own
    // when more than one rasteriser thread draws, else inline on the game's thread.
    int stage;
};

// Fills `out` from the arguments, defaults first. False for an unknown option or a bad value.
// Allocates nothing (the heap may not be set up yet).
bool ParseOptions(int argc, char** argv, const char* defaultDisc, Options* out, Error* error);

extern const char kUsage[];

}  // namespace host
