// What the program checks before the game starts, so that a wrong --disc or --out is named at once, with
// the reason, instead of surfacing as a failure deep in the run.
#pragma once

#include "console/cd/disc_faults.h"
#include "host/error.h"

namespace host {

// The files a run cannot start without (the I/O-processor modules start-up loads and the common-objects
// file), as paths below the disc directory.
extern const char* const kDiscFilesNeeded[];
extern const int kDiscFilesNeededCount;

// The first of kDiscFilesNeeded the disc directory lacks (names matched case-insensitively, as the disc
// matches them), or null when it has them all. Takes nothing from the engine heap.
const char* MissingDiscFile(const char* discDir);

// The first of kDiscFilesNeeded that the disc directory has (or has something of that name) but that
// cannot be read: a folder or file the user running the program may not read, a folder where a file
// should be, a file where a folder should be. False with the file, the reason and what to do in
// `error`; true when each is there and readable or simply missing (MissingDiscFile says which).
bool NeededDiscFilesReadable(const char* discDir, Error* error);

// Tells the CD stand-in how a whole disc is had again, for the advice given with a disc fault: the build
// tree's disc (`defaultDisc`, the same directory by another name too) is rebuilt by 'make disc'; any
// other directory is written again by mkdisc (built beside this program).
void SetRemakeAdvice(const char* discDir, const char* defaultDisc);

// The line for a disc file the game went on without: the file, the reason and what to do.
void DescribeDiscFault(const console::DiscFileFault& fault, Error* out);
// The line recalling, at the end of a run, every disc file it went on without (false when none).
bool RecallDiscFaults(Error* out);

// Makes `dir` when missing (its parent must exist) and checks that a file can be written into it; false with
// the reason in `error` (a file in the way, no permission, ...). Allocates nothing.
bool PrepareOutputDirectory(const char* dir, Error* error);

}  // namespace host
