// The disc cannot be written. Files the game writes for diagnosis (the heap dump, screen dumps) go to
// an output directory on the host instead, chosen by the host program.
#pragma once

#include <cstdio>

namespace console {

void SetOutputDirectory(const char* dir);
const char* OutputDirectory();
// Opens `name` (its last path component) for writing under the output directory; null when no
// directory is set or the file cannot be created.
std::FILE* OutputOpen(const char* name);

}  // namespace console
