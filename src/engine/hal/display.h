// Views and cameras, the display mode word and the display resolution. Exactly one view is active at a
// time; geometry and immediate primitives draw through it.
#pragma once

#include <cstdint>

#include "engine/hal/engine.h"

struct _ve_clear_region;
struct ve_texture_handle;

inline constexpr uint16_t kViewCentred = 0x0001;
inline constexpr uint16_t kViewClear = 0x0002;
inline constexpr uint16_t kViewCreated = 0x0004;
inline constexpr uint16_t kView2D = 0x0008;
inline constexpr uint16_t kViewAspectFromViewport = 0x0010;
inline constexpr uint16_t kView3D = 0x8000;

struct _ve_view {
    float nearPlane;
    float farPlane;
    float offsetX, offsetY;
    uint32_t ioffsetX, ioffsetY;
    _ve_vector3d cameraPosition;
    _ve_vector3d cameraOrientation;  // degrees
    _matrix4 cameraMatrix;
    uint16_t originX, originY;
    uint16_t viewPortWidth, viewPortHeight;
    uint16_t sytemFlags;
    float zplane2d;
    float zbump;
    float veViewAspectRatioX, veViewAspectRatioY;
    float veViewPlaneDist;
    _matrix4 veViewLocalToWorld;
    _ve_clear_region* clearRegion;
};

extern uint32_t veDisplayMode;
extern _ve_view* veDisplayActiveView;
extern const ve_texture_handle* veDisplayActiveTexture;
extern float veDisplay2DZPlane;
extern uint16_t veDisplayXRes, veDisplayYRes;

void veDisplayInit(uint16_t xres, uint16_t yres);
uint16_t veDisplayGetXRes();
uint16_t veDisplayGetYRes();
void veDisplaySetMode(uint32_t mode);
uint32_t veDisplayGetMode();
int veDisplaySetEngine2DZPlane(float z);
void veDisplayCreateView3D(_ve_view* view, uint16_t originX, uint16_t originY, uint16_t width,
                           uint16_t height, uint16_t flags, float nearPlane, float farPlane);
void veDisplayCreateView2D(_ve_view* view, uint16_t originX, uint16_t originY, uint16_t width,
                           uint16_t height, uint16_t flags, float z);
void veDisplaySetCameraPositionOrientation(_ve_view* view, const _ve_vector3d* position,
                                           const _ve_vector3d* orientation);
void veDisplaySetCameraMatrix(_ve_view* view, const _matrix4* m);
void veDisplayActivateView(_ve_view* view);
void veDisplaySetActiveView(_ve_view* view);
_ve_view* veDisplayGetActiveView();
void veDisplaySetActiveTexture(const ve_texture_handle* handle);
int veDisplayScreenDump();
void veDisplayEnableDisplay();
void veDisplayDisableDisplay();

// The engine's default view (640 x 448, centred, camera at the origin).
namespace engine {
extern _ve_view defaultEngineView;
extern _ve_vector3d defaultEngineCameraPos;
extern _ve_vector3d defaultEngineCameraRot;
}  // namespace engine
