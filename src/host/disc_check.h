// What the program checks before the game starts, so that a wrong --disc or --out is named at once, with
// the reason, instead of surfacing as a failure deep in the run.
#pragma once

#include "host/error.h"

namespace host {

// The files a run cannot start without (the I/O-processor modules start-up loads and the common-objects
// file), as paths below the disc directory.
extern const char* const kDiscFilesNeeded[];
extern const int kDiscFilesNeededCount;

// The first of kDiscFilesNeeded the disc directory lacks (names matched case-insensitively, as the disc
// matches them), or null when it has them all. Takes nothing from the engine heap.
const char* MissingDiscFile(const char* discDir);

// Makes `dir` when missing (its parent must exist) and checks that a file can be written into it; false with
// the reason in `error` (a file in the way, no permission, ...). Allocates nothing.
bool PrepareOutputDirectory(const char* dir, Error* error);

}  // namespace host
