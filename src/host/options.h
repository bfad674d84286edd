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
    // Where the geometry stage (VIF1, VU1, GIF) runs: kStageAuto as ChosenStage says.
    int stage;
    bool help;  // --help or -h: print the usage and stop
};

// Fills `out` from the arguments, defaults first. False for an unknown option or a bad value (the
// message names what the option takes).
// Allocates nothing (the heap may not be set up yet).
bool ParseOptions(int argc, char** argv, const char* defaultDisc, Options* out, Error* error);

// Where the stage runs for a run whose rasteriser has `rasterThreads` threads: the choice given, else
// beside the game when the rasteriser has threads of its own (on one processor the game and the stage
// would only take turns), else inline.
StageChoice ChosenStage(const Options& options, long rasterThreads);

extern const char kUsage[];
// What --help prints after the usage: the options and the window's keys in a few lines.
extern const char kHelp[];

}  // namespace host
