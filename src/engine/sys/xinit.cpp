#include "engine/sys/xinit.h"

#include "engine/sys/files.h"
#include "engine/sys/heap.h"

void x_Init(int, char**) {
    x_DebugFontInit();
    x_MemoryInit();
    x_InitSTDIO();
}
