#include "game/core/mem_log.h"

#include "engine/sys/files.h"
#include "engine/sys/heap.h"

void PrintMemoryLine(const char* labelFormat) {
    // The label is one of the game's own constant formats.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    x_printf(labelFormat, x_TotalMemory() / 1024, x_TotalMemoryFree() / 1024,
             static_cast<int>(x_LargestBlockFree() / 1024));
#pragma GCC diagnostic pop
}
