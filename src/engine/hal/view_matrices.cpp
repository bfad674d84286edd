#include "engine/hal/view_matrices.h"

#include <cstring>

#include "engine/hal/display.h"
#include "engine/hal/engine.h"
#include "engine/hal/prim.h"

uint32_t veEngineViewBuildFlag = 0;

namespace {

void Rows(_matrix4* m, float a0, float a1, float a2, float a3, float b0, float b1, float b2, float b3, float c0,
          float c1, float c2, float c3, float d0, float d1, float d2, float d3) {
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
    Rows(veEngineClip, d / fx, 0, 0, 0, 0, d / fy, 0, 0, 0, 0, (f + n) / (f - n), 1, 0, 0, -2.0f * f * n / (f - n), 0);
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

_matrix4* veEngineGetLocalToScreen() { return veEngineLocalToScreen; }
_matrix4* veEngineGetLocalToClip() { return veEngineLocalToClip; }
_matrix4* veEngineGetClipToScreen() { return veEngineClipToScreen; }

void veEngineSetLocalToWorld(const _matrix4* m) {
    *veEngineLocalToWorld = *m;
    defaultEngineView.veViewLocalToWorld = *m;
}

void veEngineReSetLocalToWorld() { *veEngineLocalToWorld = defaultEngineView.veViewLocalToWorld; }
