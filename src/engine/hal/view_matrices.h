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

// VIF code quadwords of the view packets, sent as they stand. The skinned packet carries 60 quadwords
// of matrices (local-to-screen, light, colour and 12 bones), so its unpack moves 60 quadwords.
inline constexpr uint32_t vc1a[4] = {0x10000000, 0, 0, 0x6C3C0000};
inline constexpr uint32_t vc1b[4] = {0x10000000, 0, 0, 0x6C140000};
inline constexpr uint32_t vc2[4] = {0, 0, 0, 0x14000000};

// The unskinned view packet (22 quadwords): local-to-screen, local-to-clip, clip-to-screen, light and
// colour matrices, unpacked to VU1 0-19, then MSCAL 0.
struct alignas(16) _ve_vu_view2 {
    uint32_t vifCommand1[4];
    _matrix4 vuMats[5];
    uint32_t vifCommand2[4];
};
static_assert(sizeof(_ve_vu_view2) == 22 * 16);
// The skinned view packet (62 quadwords): local-to-screen, light, colour, 12 bones.
struct alignas(16) _ve_vu_view {
    uint32_t vifCommand1[4];
    _matrix4 vuMats[3];
    _matrix4 vuBones[12];
    uint32_t vifCommand2[4];
};
static_assert(sizeof(_ve_vu_view) == 62 * 16);

// Queues the view packet for the next draws (the skinned one in display mode 0x200). Returns 0, or -1
// when the frame's view table or tag buffer is full (nothing is queued then).
int veEngineHardwareDownloadMatrices();
inline int veActivateView() {
    return veEngineHardwareDownloadMatrices();
}
// The unskinned packet with the geometry colour (scale or overwrite) in the colour matrix's first row.
int veEngineHardwareDownLoadNonBonedPreLitMatrices();
// For a 3D active view: build the matrices and queue the view packet.
void veEngineDmaViewMatrices();

// Inline matrix and memory routines.
void veMathMatrixMultiply(_matrix4* out, const _matrix4* a, const _matrix4* b);  // out = b then a
void veMathSetIdentityMatrix(_matrix4* m);
void veMathUniScaleZeroTranslation(_matrix4* m, const float* s);
void veMathMatrixCopy(_matrix4* dst, const _matrix4* src);
void* veMemCpyQuadWord(void* dst, const void* src, int n);  // n >= 1 quadwords; returns dst
void* veMemCpyQuadWord4(void* dst, const void* src);
void veMathQuaternionCopy(void* dst, const void* src);  // 16 bytes
// *out = 1 / sqrt(1 - q[0]^2), q[0] the scalar component.
void veMathQuaternionOneOverSin(const float* q, float* out);
int32_t f32_to_s32(float x);  // toward zero
