#include "engine/sys/xinit.h"

#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "engine/sys/math.h"

void x_Init(int, char**) {
    x_DebugFontInit();
    x_MemoryInit();
    x_InitSTDIO();
    x_InitMATH();
}
