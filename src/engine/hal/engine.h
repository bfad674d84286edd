// Engine start-up: the limits that size the engine's pools are set before veEngineInit, which brings
// up the system library (heap, files, math).
#pragma once

#include <cstdint>

struct EngineLimits {
    int dmaCount;
    int nonBonedViewMatrices;
    int bonedViewMatrices;
    int instancedObjects;
    int primBufferBytes;
};

void veEngineSetDMACountLimit(int count);
void veEngineSetNonBonedViewMatrixLimit(int count);
void veEngineSetBonedViewMatrixLimit(int count);
void veEngineSetInstancedObjectLimit(int count);
void veEngineSetPrimBufferLimit(int bytes);
const EngineLimits* veEngineGetLimits();

int veEngineInit(int argc, char** argv);
