#include "engine/hal/view_matrices.h"

#include <cmath>
#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/display.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine.h"
#include "engine/hal/lights.h"
#include "engine/hal/prim.h"
#include "engine/sys/files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

uint32_t veEngineViewBuildFlag = 0;

namespace {

void Rows(_matrix4* m, float a0, float a1, float a2, float a3, float b0, float b1, float b2, float b3,
          float c0, float c1, float c2, float c3, float d0, float d1, float d2, float d3) {
    const float v[16] = {a0, a1, a2, a3, b0, b1, b2, b3, c0, c1, c2, c3, d0, d1, d2, d3};
    std::memcpy(m->M, v, sizeof v);
}

// out = first * second: a point goes through `first`, then `second`.
void Then(_matrix4* out, const _matrix4* first, const _matrix4* second) {
    _matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) s += first->M[i * 4 + k] * second->M[k * 4 + j];
            r.M[i * 4 + j] = s;
        }
    *out = r;
}

}  // namespace

void veEngineSetViewBuildFlag() {
    veEngineViewBuildFlag = 1;
    vePrimSetProjectionReady();
}

void veEngineBuildView(_ve_view* view) {
    if (!veEngineViewBuildFlag || !view) return;
    vePrimSetProjectionReady();
    if (view->sytemFlags & kView3D) {
        veEngineNearPlane = view->nearPlane;
        veEngineFarPlane = view->farPlane;
        veEngineBuildViewMatricesf(view->veViewPlaneDist);
        veEngineConcatenateView(&view->cameraMatrix);
    } else {
        Rows(veEngineLocalToScreen, veEngineAspectRatioX, 0, 0, 0, 0, veEngineAspectRatioY, 0, 0, 0, 0, 1, 0,
             veEngineScreenOffsetX, veEngineScreenOffsetY, view->zbump, 1);
        std::memset(veEngineLocalToClip, 0, sizeof(_matrix4));
        std::memset(veEngineClipToScreen, 0, sizeof(_matrix4));
    }
    veEngineViewBuildFlag = 0;
}

void veEngineBuildViewMatricesf(float d) {
    const float n = veEngineNearPlane, f = veEngineFarPlane;
    const float zmin = veEngineMinZ, zmax = veEngineMaxZ;
    const float ax = veEngineAspectRatioX, ay = veEngineAspectRatioY;
    const float ox = veEngineScreenOffsetX, oy = veEngineScreenOffsetY;
    const float fx = veEngineFrustumX, fy = veEngineFrustumY;
    _matrix4 p, s;
    Rows(&p, d, 0, 0, 0, 0, d, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0);
    const float a = f * n * (zmax - zmin) / (f - n);
    const float b = (zmin * f - zmax * n) / (f - n);
    Rows(&s, ax, 0, 0, 0, 0, ay, 0, 0, 0, 0, a, 0, ox, oy, b, 1);
    Then(veEnginePerspective, &p, &s);
    Rows(veEngineClip, d / fx, 0, 0, 0, 0, d / fy, 0, 0, 0, 0, (f + n) / (f - n), 1, 0, 0,
         -2.0f * f * n / (f - n), 0);
    Rows(veEngineClipToScreen, fx * ax, 0, 0, 0, 0, fy * ay, 0, 0, 0, 0, (zmin - zmax) / 2, 0, ox, oy,
         (zmin + zmax) / 2, 1);
    std::memset(veEngineLocalToClip, 0, sizeof(_matrix4));
}

void veEngineConcatenateView(const _matrix4* camera) {
    *veEngineCamera = *camera;
    Then(veEngineTempMatrix, veEngineLocalToWorld, veEngineCamera);
    Then(veEngineLocalToScreen, veEngineTempMatrix, veEnginePerspective);
    Then(veEngineLocalToClip, veEngineTempMatrix, veEngineClip);
}

_matrix4* veEngineGetLocalToScreen() {
    return veEngineLocalToScreen;
}
_matrix4* veEngineGetLocalToClip() {
    return veEngineLocalToClip;
}
_matrix4* veEngineGetClipToScreen() {
    return veEngineClipToScreen;
}

void veEngineSetLocalToWorld(const _matrix4* m) {
    *veEngineLocalToWorld = *m;
    defaultEngineView.veViewLocalToWorld = *m;
    // The next draw has to rebuild local-to-screen and local-to-clip with the new matrix.
    veEngineViewBuildFlag = 1;
}

void veEngineReSetLocalToWorld() {
    *veEngineLocalToWorld = defaultEngineView.veViewLocalToWorld;
    veEngineViewBuildFlag = 1;
}

namespace {

bool g_viewTableLogged = false;

// Room for one more record of `bytes` in the current half of a per-frame table of `limit` records.
bool TableRoom(uint8_t* const tables[2], const uint8_t* ptr, uint32_t limit, uint32_t bytes) {
    const uint8_t* base = tables[veEngineFrame.load() & 1];
    if (!base || !ptr || ptr < base) return false;
    return static_cast<size_t>(ptr - base) + bytes <= size_t(limit) * bytes;
}

int QueueView(const void* record, uint32_t qwc) {
    uint8_t* tag = veEngineDmaTagPtr;
    // ID 0 (REFE): the record and nothing after it.
    const uint64_t t[2] = {uint64_t(qwc) | (uint64_t(Addr32(record)) << 32), 0};
    std::memcpy(tag, t, 16);
    veEngineDmaTagPtr += 16;
    veDmaAddDmaTask(tag, 1, 1);
    return 0;
}

_ve_vu_view2* NextView2() {
    if (!TableRoom(veNonBonedEngineViews, veNonBonedEngineViewsPtr, veEngineNonBonedViewMatrixLimit,
                   kVuView2Bytes) ||
        veEngineDmaTagRoom() < 16) {
        if (!g_viewTableLogged) {
            x_printf("veEngineHardwareDownloadMatrices: the frame's view table is full\n");
            g_viewTableLogged = true;
        }
        return nullptr;
    }
    auto* v = reinterpret_cast<_ve_vu_view2*>(veNonBonedEngineViewsPtr);
    veNonBonedEngineViewsPtr += kVuView2Bytes;
    std::memcpy(v->vifCommand1, vc1b, 16);
    v->vuMats[0] = *veEngineLocalToScreen;
    v->vuMats[1] = *veEngineLocalToClip;
    v->vuMats[2] = *veEngineClipToScreen;
    v->vuMats[3] = *veLightGetLightMatrix();
    v->vuMats[4] = *veLightGetColorMatrix();
    std::memcpy(v->vifCommand2, vc2, 16);
    return v;
}

}  // namespace

int veEngineHardwareDownloadMatrices() {
    if (veDisplayGetMode() & 0x200) {
        if (!TableRoom(veBonedEngineViews, veBonedEngineViewsPtr, veEngineBonedViewMatrixLimit,
                       kVuViewBytes) ||
            veEngineDmaTagRoom() < 16)
            return -1;
        auto* v = reinterpret_cast<_ve_vu_view*>(veBonedEngineViewsPtr);
        veBonedEngineViewsPtr += kVuViewBytes;
        std::memcpy(v->vifCommand1, vc1a, 16);
        v->vuMats[0] = *veEngineLocalToScreen;
        v->vuMats[1] = *veLightGetLightMatrix();
        v->vuMats[2] = *veLightGetColorMatrix();
        for (int i = 0; i < 12; ++i) v->vuBones[i] = veEngineBoneArray[i];
        std::memcpy(v->vifCommand2, vc2, 16);
        return QueueView(v, 62);
    }
    _ve_vu_view2* v = NextView2();
    if (!v) return -1;
    return QueueView(v, 22);
}

int veEngineHardwareDownLoadNonBonedPreLitMatrices() {
    _ve_vu_view2* v = NextView2();
    if (!v) return -1;
    const _ve_vector3d& c =
        (veDisplayGetMode() & (0x100000 | 0x400000)) ? veEngineGeoRGBAScale : veEngineGeoRGBAOverWrite;
    const float row[4] = {c.x, c.y, c.z, c.w};
    std::memcpy(&v->vuMats[4].M[0], row, sizeof row);
    return QueueView(v, 22);
}

void veEngineDmaViewMatrices() {
    _ve_view* v = veDisplayGetActiveView();
    if (!v || !(v->sytemFlags & kView3D)) return;
    veEngineBuildView(v);
    veEngineHardwareDownloadMatrices();
}

void veMathMatrixMultiply(_matrix4* out, const _matrix4* a, const _matrix4* b) {
    Then(out, b, a);
}
void veMathSetIdentityMatrix(_matrix4* m) {
    M4_Identity(m);
}
void veMathUniScaleZeroTranslation(_matrix4* m, const float* s) {
    for (int i = 0; i < 12; ++i) m->M[i] *= *s;
}
void veMathMatrixCopy(_matrix4* dst, const _matrix4* src) {
    std::memcpy(dst, src, sizeof *dst);
}
void* veMemCpyQuadWord(void* dst, const void* src, int n) {
    if (n > 0) std::memcpy(dst, src, size_t(n) * 16);
    return dst;
}
void* veMemCpyQuadWord4(void* dst, const void* src) {
    return veMemCpyQuadWord(dst, src, 4);
}
void veMathQuaternionCopy(void* dst, const void* src) {
    std::memcpy(dst, src, 16);
}
void veMathQuaternionOneOverSin(const float* q, float* out) {
    *out = 1.0f / std::sqrt(1.0f - q[0] * q[0]);
}
int32_t f32_to_s32(float x) {
    // Out-of-range values saturate rather than being undefined.
    if (!(x > -2147483648.0f)) return x != x ? 0 : INT32_MIN;
    if (x >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(x);
}
