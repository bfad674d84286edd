// Three directional lights and an ambient term, packed into the two matrices every view packet carries
// to VU1: the light matrix (normalised directions in the object's space) and the colour matrix (the
// three light colours and the ambient colour). Colours are on the GS scale, 128 = full intensity.
//
// Light matrix layout (shared with the lit microprograms): row k (k = 0..2) is the unit vector pointing
// from the surface towards light k, that is the light's travel direction negated, with w = 0; a zero
// direction gives a zero row (the light is off); row 3 is zero. A vertex with unit normal n then gets
// ambient + sum over k of colour_k * max(0, n . row_k).
#pragma once

#include "engine/hal/engine.h"
#include "engine/sys/math.h"

namespace engine {
extern _ve_vector3d light0, light1, light2;
extern _ve_vector3d color0, color1, color2;
extern _ve_vector3d ambient;
extern _matrix4 lightMatrix;
extern _matrix4 colorMatrix;
}  // namespace engine

// Index 0..2; any other index is ignored.
void veLightSetLightDirection(int index, const _ve_vector3d* direction);
void veLightSetColor(int index, const _ve_vector3d* colour);
void veLightSetAmbient(const _ve_vector3d* colour);
void veLightCreateLightColorMatrix();
// `normalMatrix`: the cofactors of the object's local-to-world 3x3 in its upper 3x3.
void veLightCreateNormalizedLightMatrix(const _matrix4* normalMatrix);
_matrix4* veLightGetLightMatrix();
_matrix4* veLightGetColorMatrix();
// Back to the start-up values (engine start-up and tests).
void veLightReset();

// Normalises d0, d1 and d2 and lays them out as the light matrix described above.
void sceVu0NormalLightMatrix(_matrix4* out, const _ve_vector3d* d0, const _ve_vector3d* d1,
                             const _ve_vector3d* d2);
