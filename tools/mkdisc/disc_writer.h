// Writes the sample disc: every file the game reads, generated from the same record definitions the
// game's readers use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes the disc into `dir` (created if needed). Returns false with a message on stderr on failure.
bool WriteSampleDisc(const std::string& dir);

// The collision data block the disc writes at common-objects sub-file `subFile` (empty for a sub-file
// that holds no collision data).
std::vector<uint8_t> CommonCollisionBlock(int subFile);
