// The active view turned into the working matrices (scratchpad) that the VU1 programs take: camera,
// perspective, clip and clip-to-screen, and their products with the local-to-world matrix. Matrices are
// row-major with points as row vectors (translation in row 3).
#pragma once

#include <cstdint>

#include "engine/sys/math.h"

struct _ve_view;

extern uint32_t veEngineViewBuildFlag;

void veEngineSetViewBuildFlag();
void veEngineBuildView(_ve_view* view);
void veEngineBuildViewMatricesf(float d);
void veEngineConcatenateView(const _matrix4* camera);
_matrix4* veEngineGetLocalToScreen();
_matrix4* veEngineGetLocalToClip();
_matrix4* veEngineGetClipToScreen();
void veEngineSetLocalToWorld(const _matrix4* m);
void veEngineReSetLocalToWorld();
