#include "engine/hal/engine.h"

#include <cstring>

#include "console/kernel/vsync.h"
#include "console/mem/scratchpad.h"
#include "engine/hal/control.h"
#include "engine/hal/display.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/microcode.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/boot.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "engine/sys/xinit.h"
#include "engine/vu1/programs.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

uint32_t veEngineDMACountLimit = 10000;
uint32_t veEngineNonBonedViewMatrixLimit = 1000;
uint32_t veEngineBonedViewMatrixLimit = 200;
uint32_t veEngineInstancedObjectLimit = 40;
uint32_t veEngineInstancedMotionLimit = 300;
uint32_t veEnginePrimBufferLimit = 0x80000;
uint32_t veEngineClearDMACountLimit = 32;

uint8_t* veEngineDmaTags[2] = {nullptr, nullptr};
uint8_t* veEngineDmaTagPtr = nullptr;
uint8_t* veNonBonedEngineViews[2] = {nullptr, nullptr};
uint8_t* veBonedEngineViews[2] = {nullptr, nullptr};
uint8_t* veInstanceTable[2] = {nullptr, nullptr};
uint8_t* veMotionInstanceTable[2] = {nullptr, nullptr};
uint8_t* veNonBonedEngineViewsPtr = nullptr;
uint8_t* veBonedEngineViewsPtr = nullptr;
uint8_t* veInstanceTablePtr = nullptr;
uint8_t* veMotionInstanceTablePtr = nullptr;

_matrix4* veEnginePerspective = nullptr;
_matrix4* veEngineClip = nullptr;
_matrix4* veEngineLocalToWorld = nullptr;
_matrix4* veEngineLocalToClip = nullptr;
_matrix4* veEngineClipToScreen = nullptr;
_matrix4* veEngineLocalToScreen = nullptr;
_matrix4* veEngineCamera = nullptr;
_matrix4* veEngineTempMatrix = nullptr;
_matrix4* veEngineTemp2Matrix = nullptr;
_ve_vector3d* veEngineTempVector = nullptr;
_ve_vector3d* veEngineTemp2Vector = nullptr;
_ve_vector3d* veEngineTemp3Vector = nullptr;
_ve_vector3d* veEngineTemp4Vector = nullptr;
_matrix4* veEngineBoneArray = nullptr;

float veEngineNearPlane = 1.0f, veEngineFarPlane = 65536.0f;
float veEngineScreenOffsetX = 2048.0f, veEngineScreenOffsetY = 2048.0f;
float veEngineFrustumX = 2047.0f, veEngineFrustumY = 2047.0f;
float veEngineMinZ = 1.0f, veEngineMaxZ = 16777215.0f;
float veEngineAspectRatioX = 1.0f, veEngineAspectRatioY = 0.9f;

_ve_vector3d veDefaultGeoRGBAScale = {1.0f, 1.0f, 1.0f, 1.0f};
_ve_vector3d veEngineGeoRGBAScale;
_ve_vector3d veDefaultGeoRGBAOverWrite = {128.0f, 128.0f, 128.0f, 128.0f};
_ve_vector3d veEngineGeoRGBAOverWrite;
_matrix4 veEngineDefaultLocalToWorld;

std::atomic<uint64_t> veEngineFrame{0};
std::atomic<uint32_t> veEngineBeginFrameOccured{0};

uint64_t veCpuBeginCycles = 0, veCpuEndCycles = 0, veCpuNumCycles = 0;
std::atomic<uint64_t> veDmaBeginCycles{0}, veDmaEndCycles{0}, veDmaNumCycles{0};

namespace {

// Allocates a zero-filled per-frame table, replacing one from an earlier start-up.
uint8_t* Table(uint8_t* old, uint32_t bytes) {
    if (old) x_free(old);
    auto* p = static_cast<uint8_t*>(x_fn_malloc(bytes ? bytes : 16, "", 0));
    if (!p) {
        x_printf("veEngineAllocateDynamicVariables: no memory for a %u-byte frame table\n", bytes);
        return nullptr;
    }
    std::memset(p, 0, bytes ? bytes : 16);
    return p;
}

}  // namespace

void veEngineSetDMACountLimit(uint32_t n) {
    veEngineDMACountLimit = n;
}
void veEngineSetNonBonedViewMatrixLimit(uint32_t n) {
    veEngineNonBonedViewMatrixLimit = n;
}
void veEngineSetBonedViewMatrixLimit(uint32_t n) {
    veEngineBonedViewMatrixLimit = n;
}
void veEngineSetInstancedObjectLimit(uint32_t n) {
    veEngineInstancedObjectLimit = n;
}

void veEngineSetPrimBufferLimit(uint32_t bytes) {
    veEnginePrimBufferLimit = bytes;
    if (vePrimHeaders[0].bufAlloc || vePrimHeaders[1].bufAlloc) vePrimAllocateBuffers();
}

uint32_t veEngineDmaTagRoom() {
    const int p = static_cast<int>(veEngineFrame.load() & 1);
    if (!veEngineDmaTags[p] || !veEngineDmaTagPtr) return 0;
    const uint8_t* end = veEngineDmaTags[p] + size_t(veEngineDMACountLimit) * 16;
    if (veEngineDmaTagPtr < veEngineDmaTags[p] || veEngineDmaTagPtr > end) return 0;
    return static_cast<uint32_t>(end - veEngineDmaTagPtr);
}

void veEngineSetNearPlane(float f) {
    veEngineNearPlane = f;
}
void veEngineSetFarPlane(float f) {
    veEngineFarPlane = f;
}
void veEngineSetScreenOffsetXY(float x, float y) {
    veEngineScreenOffsetX = x;
    veEngineScreenOffsetY = y;
}
void veEngineSetFrustumXY(float x, float y) {
    veEngineFrustumX = x;
    veEngineFrustumY = y;
}
void veEngineSetMinMaxZ(float mn, float mx) {
    veEngineMinZ = mn;
    veEngineMaxZ = mx;
}
void veEngineSetAspectXY(float x, float y) {
    veEngineAspectRatioX = x;
    veEngineAspectRatioY = y;
}

void veEngineAllocateDynamicVariables() {
    for (int i = 0; i < 2; ++i) {
        veEngineDmaTags[i] = Table(veEngineDmaTags[i], veEngineDMACountLimit * 16);
        veNonBonedEngineViews[i] =
            Table(veNonBonedEngineViews[i], veEngineNonBonedViewMatrixLimit * kVuView2Bytes);
        veBonedEngineViews[i] = Table(veBonedEngineViews[i], veEngineBonedViewMatrixLimit * kVuViewBytes);
        veInstanceTable[i] = Table(veInstanceTable[i], veEngineInstancedObjectLimit * kMatrixInfoBytes);
        veMotionInstanceTable[i] =
            Table(veMotionInstanceTable[i], veEngineInstancedMotionLimit * kMotionInstanceBytes);
    }
    vePrimAllocateBuffers();
    veDisplayClearAllocateBuffers();
}

void veEngineHardwareAllocateMatrices() {
    uint8_t* p = console::Scratchpad();
    auto matrix = [&p]() {
        auto* m = reinterpret_cast<_matrix4*>(p);
        p += sizeof(_matrix4);
        return m;
    };
    veEnginePerspective = matrix();
    veEngineClip = matrix();
    veEngineLocalToWorld = matrix();
    veEngineLocalToClip = matrix();
    veEngineClipToScreen = matrix();
    veEngineLocalToScreen = matrix();
    veEngineCamera = matrix();
    veEngineTempMatrix = matrix();
    veEngineTemp2Matrix = matrix();
    _ve_vector3d** vectors[4] = {&veEngineTempVector, &veEngineTemp2Vector, &veEngineTemp3Vector,
                                 &veEngineTemp4Vector};
    for (auto* v : vectors) {
        *v = reinterpret_cast<_ve_vector3d*>(p);
        p += sizeof(_ve_vector3d);
    }
    veEngineBoneArray = reinterpret_cast<_matrix4*>(p);
    std::memset(console::Scratchpad(), 0,
                static_cast<size_t>(p - console::Scratchpad()) + kEngineBoneCount * 64);
}

void veEngineHardwareInit() {
    engine::vu1::RegisterEnginePrograms();
    veEngineDmaTagPtr = veEngineDmaTags[0];
    veNonBonedEngineViewsPtr = veNonBonedEngineViews[0];
    veBonedEngineViewsPtr = veBonedEngineViews[0];
    veInstanceTablePtr = veInstanceTable[0];
    veMotionInstanceTablePtr = veMotionInstanceTable[0];
}

int veEngineInit(int argc, char** argv) {
    x_BuildHostPrefix();
    x_Init(argc, argv);
    veEngineFrame.store(0);
    veEngineBeginFrameOccured.store(0);
    veEngineAllocateDynamicVariables();
    veEngineHardwareAllocateMatrices();
    veDmaHardwareInit();
    veDisplayHardwareInit();
    veTextureInitTextureManager();
    veDisplaySetMode(0);
    veEngineResetMicroCode();
    veEngineHardwareSetDefaultMicroCode();
    veEngineGeoRGBAScale = veDefaultGeoRGBAScale;
    veEngineGeoRGBAOverWrite = veDefaultGeoRGBAOverWrite;
    veEngineDisableDebugTimings();
    veTextureInitTextureManager();
    veDisplayInit(640, 448);
    veEngineHardwareWaitOdd();
    veDisplaySetEngine2DZPlane(16777215.0f);
    veEngineSetNearPlane(1.0f);
    veEngineSetFarPlane(65536.0f);
    veEngineSetScreenOffsetXY(2048.0f, 2048.0f);
    veEngineSetFrustumXY(2047.0f, 2047.0f);
    veEngineSetMinMaxZ(1.0f, 16777215.0f);
    veEngineSetAspectXY(1.0f, 0.9f);
    std::memset(&defaultEngineView, 0, sizeof defaultEngineView);
    veDisplayCreateView3D(&defaultEngineView, 0, 0, veDisplayGetXRes(), veDisplayGetYRes(), kViewCentred,
                          1.0f, 65535.0f);
    veDisplaySetCameraPositionOrientation(&defaultEngineView, &defaultEngineCameraPos,
                                          &defaultEngineCameraRot);
    M4_Identity(&veEngineDefaultLocalToWorld);
    *veEngineLocalToWorld = veEngineDefaultLocalToWorld;
    defaultEngineView.veViewLocalToWorld = veEngineDefaultLocalToWorld;
    veEngineHardwareInit();
    veRenderContextInit();
    veDisplaySetActiveView(nullptr);
    veDisplayActivateView(&defaultEngineView);
    x_DebugFontInit();
    for (int i = 0; i < kEngineBoneCount; ++i) M4_Identity(&veEngineBoneArray[i]);
    vePrimInitSystem();
    veRenderEnvironmentInit();
    veControlInit();
    return 1;
}

void veEngineBeginFrame() {
    veEngineHardwareBeginFrame();
}
void veEngineEndFrame() {
    veEngineHardwareEndFrame();
}

void veEngineHardwareBeginFrame() {
    if (veEngineBeginFrameOccured.load()) veEngineHardwareEndFrame();
    veEngineBeginFrameOccured.store(1);
    veCpuEndCycles = veClockGetCycles();
    veCpuNumCycles = veCpuEndCycles - veCpuBeginCycles;
    // The previous list has to have run and been shown; blanks are delivered while we wait.
    while (!veDisplayFrameRenderDone.load()) console::VsyncWait();
    veCpuBeginCycles = veClockGetCycles();
    veTextureResetTextureManager();
    vePrimFlushBuffers();
    vePrimFlipBuffers();
    const int p = static_cast<int>(veEngineFrame.load() & 1);
    veEngineDmaTagPtr = veEngineDmaTags[p];
    veNonBonedEngineViewsPtr = veNonBonedEngineViews[p];
    veBonedEngineViewsPtr = veBonedEngineViews[p];
    veInstanceTablePtr = veInstanceTable[p];
    veMotionInstanceTablePtr = veMotionInstanceTable[p];
    veDmaExecuteTasks();
    veDisplayFrameRenderDone.store(0);
    veDisplaySetActiveView(nullptr);
}

void veEngineHardwareEndFrame() {
    if (!veEngineBeginFrameOccured.load()) return;
    veEngineBeginFrameOccured.store(0);
    veDisplayReadyToRender.store(1);
    veEngineFrame.fetch_add(1);
    veDisplayShowStatistics();
}

void veEngineHardwareWaitOdd() {
    while (sceGsSyncV(0) == 0) {
    }
}

void veEngineSetMaxFPS(uint32_t n) {
    veDisplaySetMaxFPS(n);
}
uint32_t veEngineGetFPS() {
    return veDisplayGetFPS();
}
float veEngineHardwareGetCpuTime() {
    return static_cast<float>(veCpuNumCycles) / veClockGetCPUClockSpeed();
}
float veEngineGetCpuTime() {
    return veEngineHardwareGetCpuTime();
}
float veEngineGetDmaTime() {
    return veDmaGetTime();
}
void veEngineDisableDebugTimings() {
    veDisplaySetDebugTimings(0);
}
