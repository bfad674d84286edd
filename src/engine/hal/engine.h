// Engine start-up, the per-frame limits and tables, and the frame protocol.
//
// The engine draws through a pipeline: the main program builds frame N's DMA task list while the list of
// frame N-1 runs (here: synchronously, inside the begin of frame N) into the drawing frame buffer, and
// the vertical-blank handler copies a finished frame into the display buffer and releases the next
// begin of frame. Everything per frame exists twice and alternates with the frame counter's parity.
//
// Host use: the limit setters, then veEngineInit once; then per frame veEngineBeginFrame, drawing,
// veEngineEndFrame. A frame is shown at the first vertical blank after its DMA list has run and the
// following frame has ended; veDisplaySetFrameShownCallback (display_sync.h) reports each shown frame,
// whose picture console::gs::Gs().ReadDisplay() then returns.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/sys/math.h"

// ---- limits --------------------------------------------------------------------------------------

extern uint32_t veEngineDMACountLimit;
extern uint32_t veEngineNonBonedViewMatrixLimit;
extern uint32_t veEngineBonedViewMatrixLimit;
extern uint32_t veEngineInstancedObjectLimit;
extern uint32_t veEngineInstancedMotionLimit;
extern uint32_t veEnginePrimBufferLimit;
extern uint32_t veEngineClearDMACountLimit;

void veEngineSetDMACountLimit(uint32_t count);
void veEngineSetNonBonedViewMatrixLimit(uint32_t count);
void veEngineSetBonedViewMatrixLimit(uint32_t count);
void veEngineSetInstancedObjectLimit(uint32_t count);
// Also reallocates the primitive buffers at once when they exist.
void veEngineSetPrimBufferLimit(uint32_t bytes);

// Record sizes of the per-frame tables: the unskinned and skinned view packets (22 and 62 quadwords),
// the instanced-draw matrix packet and the skinned-instance clip record (7 quadwords).
inline constexpr uint32_t kVuView2Bytes = 22 * 16;
inline constexpr uint32_t kVuViewBytes = 62 * 16;
inline constexpr uint32_t kMatrixInfoBytes = 280 * 16;
inline constexpr uint32_t kMotionInstanceBytes = 7 * 16;

// ---- per-frame tables (index = frame parity) -------------------------------------------------------

extern uint8_t* veEngineDmaTags[2];
extern uint8_t* veEngineDmaTagPtr;
extern uint8_t* veNonBonedEngineViews[2];
extern uint8_t* veBonedEngineViews[2];
extern uint8_t* veInstanceTable[2];
extern uint8_t* veMotionInstanceTable[2];
extern uint8_t* veNonBonedEngineViewsPtr;
extern uint8_t* veBonedEngineViewsPtr;
extern uint8_t* veInstanceTablePtr;
extern uint8_t* veMotionInstanceTablePtr;
// Room left in the current DMA tag buffer, in bytes (drawing code checks before it writes tags).
uint32_t veEngineDmaTagRoom();

// ---- scratchpad working matrices -------------------------------------------------------------------

struct _ve_vector3d {
    float x, y, z, w;
};

extern _matrix4* veEnginePerspective;
extern _matrix4* veEngineClip;
extern _matrix4* veEngineLocalToWorld;
extern _matrix4* veEngineLocalToClip;
extern _matrix4* veEngineClipToScreen;
extern _matrix4* veEngineLocalToScreen;
extern _matrix4* veEngineCamera;
extern _matrix4* veEngineTempMatrix;
extern _matrix4* veEngineTemp2Matrix;
extern _ve_vector3d* veEngineTempVector;
extern _ve_vector3d* veEngineTemp2Vector;
extern _ve_vector3d* veEngineTemp3Vector;
extern _ve_vector3d* veEngineTemp4Vector;
extern _matrix4* veEngineBoneArray;  // 40 matrices
inline constexpr int kEngineBoneCount = 40;

void veEngineHardwareAllocateMatrices();

// ---- view parameters -------------------------------------------------------------------------------

extern float veEngineNearPlane, veEngineFarPlane;
extern float veEngineScreenOffsetX, veEngineScreenOffsetY;
extern float veEngineFrustumX, veEngineFrustumY;
extern float veEngineMinZ, veEngineMaxZ;
extern float veEngineAspectRatioX, veEngineAspectRatioY;

void veEngineSetNearPlane(float f);
void veEngineSetFarPlane(float f);
void veEngineSetScreenOffsetXY(float x, float y);
void veEngineSetFrustumXY(float x, float y);
void veEngineSetMinMaxZ(float min, float max);
void veEngineSetAspectXY(float x, float y);

// Geometry colour defaults.
extern _ve_vector3d veDefaultGeoRGBAScale, veEngineGeoRGBAScale;
extern _ve_vector3d veDefaultGeoRGBAOverWrite, veEngineGeoRGBAOverWrite;
extern _matrix4 veEngineDefaultLocalToWorld;

// ---- frame status words (shared with the vertical-blank and DMA-end handlers) ----------------------

extern std::atomic<uint64_t> veEngineFrame;
extern std::atomic<uint32_t> veEngineBeginFrameOccured;

// ---- timing (cycles of the engine clock) -----------------------------------------------------------

extern uint64_t veCpuBeginCycles, veCpuEndCycles, veCpuNumCycles;
extern std::atomic<uint64_t> veDmaBeginCycles, veDmaEndCycles, veDmaNumCycles;

// ---- operations ------------------------------------------------------------------------------------

// Start-up; returns 1.
int veEngineInit(int argc, char** argv);
void veEngineAllocateDynamicVariables();
void veEngineHardwareInit();

void veEngineBeginFrame();
void veEngineEndFrame();
void veEngineHardwareBeginFrame();
void veEngineHardwareEndFrame();
// Waits for vertical blanks until one begins the odd field.
void veEngineHardwareWaitOdd();

void veEngineSetMaxFPS(uint32_t n);
uint32_t veEngineGetFPS();
float veEngineGetCpuTime();
float veEngineHardwareGetCpuTime();
float veEngineGetDmaTime();
void veEngineDisableDebugTimings();
