#include "engine/hal/engine.h"

#include "engine/sys/boot.h"
#include "engine/sys/xinit.h"

namespace {
EngineLimits g_limits;
}

void veEngineSetDMACountLimit(int count) { g_limits.dmaCount = count; }
void veEngineSetNonBonedViewMatrixLimit(int count) { g_limits.nonBonedViewMatrices = count; }
void veEngineSetBonedViewMatrixLimit(int count) { g_limits.bonedViewMatrices = count; }
void veEngineSetInstancedObjectLimit(int count) { g_limits.instancedObjects = count; }
void veEngineSetPrimBufferLimit(int bytes) { g_limits.primBufferBytes = bytes; }
const EngineLimits* veEngineGetLimits() { return &g_limits; }

int veEngineInit(int argc, char** argv) {
    x_BuildHostPrefix();
    x_Init(argc, argv);
    return 0;
}
