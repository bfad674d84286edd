// Command line of the host program.
#pragma once

#include <cstddef>

struct HostOptions {
    const char* discDir;  // directory standing in for the disc
    const char* outDir;   // diagnostic files, frames and sound go here
    long frames;          // stop after this many shown frames (0: run until the game ends)
    bool window;
    bool realtime;
    long pngEvery;        // 0: no PNG output
    const char* wavPath;  // null: no WAV output
    const char* padScript[2];
    long heapMb;
};

// Fills `out` from the arguments, defaults first. Returns false with a one-line message in `error`
// for an unknown option or a bad value. Allocates nothing (the heap may not be set up yet).
bool ParseHostOptions(int argc, char** argv, const char* defaultDisc, HostOptions* out, char* error,
                      size_t errorSize);

extern const char kHostUsage[];
