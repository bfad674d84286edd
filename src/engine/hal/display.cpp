#include "engine/hal/display.h"

#include <cstring>

#include "engine/hal/display_hw.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"

uint32_t veDisplayMode = 0;
_ve_view* veDisplayActiveView = nullptr;
const ve_texture_handle* veDisplayActiveTexture = nullptr;
float veDisplay2DZPlane = 16777215.0f;
uint16_t veDisplayXRes = 640, veDisplayYRes = 448;

namespace engine {
_ve_view defaultEngineView;
_ve_vector3d defaultEngineCameraPos = {0.0f, 0.0f, 0.0f, 1.0f};
_ve_vector3d defaultEngineCameraRot = {0.0f, 0.0f, 0.0f, 1.0f};
}  // namespace engine

namespace {

constexpr float kDegToRad = 0.0174533f;

void AspectAndOffsets(_ve_view* v, uint16_t ox, uint16_t oy, uint16_t w, uint16_t h, uint16_t flags) {
    if (flags & kViewAspectFromViewport) {
        v->veViewAspectRatioX =
            static_cast<float>(static_cast<uint32_t>(w)) / static_cast<float>(veDisplayXRes);
        v->veViewAspectRatioY =
            static_cast<float>(static_cast<uint32_t>(h)) / static_cast<float>(veDisplayYRes);
    } else {
        v->veViewAspectRatioX = 1.0f;
        v->veViewAspectRatioY = 0.9f;
    }
    const int baseX = 2048 - (veDisplayXRes >> 1);
    const int baseY = 2048 - (veDisplayYRes >> 1);
    if (flags & kViewCentred) {
        v->offsetX = static_cast<float>(ox + (w >> 1) + baseX);
        v->offsetY = static_cast<float>(oy + (h >> 1) + baseY);
    } else {
        v->offsetX = static_cast<float>(ox + baseX);
        v->offsetY = static_cast<float>(oy + baseY);
    }
}

}  // namespace

void veDisplayInit(uint16_t xres, uint16_t yres) {
    veDisplayXRes = xres;
    veDisplayYRes = yres;
    veDisplaySetResolution();
}

uint16_t veDisplayGetXRes() {
    return veDisplayXRes;
}
uint16_t veDisplayGetYRes() {
    return veDisplayYRes;
}
void veDisplaySetMode(uint32_t mode) {
    veDisplayMode = mode;
}
uint32_t veDisplayGetMode() {
    return veDisplayMode;
}

int veDisplaySetEngine2DZPlane(float z) {
    veDisplay2DZPlane = z;
    return 1;
}

void veDisplayCreateView3D(_ve_view* v, uint16_t ox, uint16_t oy, uint16_t w, uint16_t h, uint16_t flags,
                           float n, float f) {
    AspectAndOffsets(v, ox, oy, w, h, flags);
    v->originX = ox;
    v->originY = oy;
    v->viewPortWidth = w;
    v->viewPortHeight = h;
    v->nearPlane = n;
    v->farPlane = f;
    v->sytemFlags = static_cast<uint16_t>(flags | kView3D | kViewCreated);
    v->zplane2d = 0.0f;
    v->veViewPlaneDist = 512.0f;
}

void veDisplayCreateView2D(_ve_view* v, uint16_t ox, uint16_t oy, uint16_t w, uint16_t h, uint16_t flags,
                           float z) {
    AspectAndOffsets(v, ox, oy, w, h, flags);
    v->originX = ox;
    v->originY = oy;
    v->viewPortWidth = w;
    v->viewPortHeight = h;
    v->sytemFlags = static_cast<uint16_t>(flags | kView2D | kViewCreated);
    if (!(z >= 0.0f)) z = 0.0f;
    if (z > 1.0f) z = 1.0f;
    v->zplane2d = v->zbump = (1.0f - z) * 16777215.0f;
}

void veDisplaySetCameraPositionOrientation(_ve_view* v, const _ve_vector3d* pos, const _ve_vector3d* rot) {
    v->cameraPosition = {pos->x, pos->y, pos->z, 1.0f};
    v->cameraOrientation = {rot->x, rot->y, rot->z, 1.0f};
    M4_Identity(&v->cameraMatrix);
    const _vector3d t = {pos->x, pos->y, pos->z};
    M4_TranslateBy(&v->cameraMatrix, &t);
    M4_RotateZOn(&v->cameraMatrix, rot->z * kDegToRad);
    M4_RotateYOn(&v->cameraMatrix, rot->y * kDegToRad);
    M4_RotateXOn(&v->cameraMatrix, rot->x * kDegToRad);
}

void veDisplaySetCameraMatrix(_ve_view* v, const _matrix4* m) {
    std::memcpy(&v->cameraMatrix, m, sizeof *m);
}

void veDisplayActivateView(_ve_view* v) {
    if (!v) return;
    M4_Identity(veEngineLocalToWorld);
    if (v != veDisplayActiveView) {
        veDisplayActiveView = v;
        veEngineSetAspectXY(v->veViewAspectRatioX, v->veViewAspectRatioY);
        veEngineSetScreenOffsetXY(v->offsetX, v->offsetY);
        if (v->sytemFlags & kViewClear) veDisplayClearViewPort(v);
        if (v->sytemFlags & kView2D) v->zbump = v->zplane2d;
        const int x0 = v->originX, y0 = v->originY;
        const int x1 = v->originX + v->viewPortWidth - 1, y1 = v->originY + v->viewPortHeight - 1;
        veRenderSetScissor(x0, y0, x1, y1);
        veSetRenderXYOffsetEnv(2048 - (veDisplayXRes >> 1), 2048 - (veDisplayYRes >> 1));
        veSetDefaultScissorEnv1(x0, y0, x1, y1);
        veSetDefaultScissorEnv2(x0, y0, x1, y1);
    } else {
        veCopyDefaultDrawEnv1();
        veCopyDefaultDrawEnv2();
    }
    veEngineSetViewBuildFlag();
}

void veDisplaySetActiveView(_ve_view* v) {
    veDisplayActiveView = v;
}
_ve_view* veDisplayGetActiveView() {
    return veDisplayActiveView;
}

void veDisplaySetActiveTexture(const ve_texture_handle* h) {
    veDisplayActiveTexture = h;
    if (h) veRenderSetTexture(h->texAdr, h->bufWidth, h->texType, h->width2, h->height2, h->palAdr);
}

int veDisplayScreenDump() {
    veDisplayHardWareScreenDump();
    return 0;
}

void veDisplayEnableDisplay() {
    veDisplayHardwareEnableDisplay();
}
void veDisplayDisableDisplay() {
    veDisplayHardwareDisableDisplay();
}
