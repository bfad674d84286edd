// Writes the sample disc: every file the game reads, generated from the same record definitions the
// game's readers use.
#pragma once

#include <string>

// Writes the disc into `dir` (created if needed). Returns false with a message on stderr on failure.
bool WriteSampleDisc(const std::string& dir);
