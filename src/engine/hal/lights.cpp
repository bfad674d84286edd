#include "engine/hal/lights.h"

#include <cmath>
#include <cstring>

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

namespace engine {
_ve_vector3d light0 = {0.0f, 0.5f, 0.5f, 0.0f};
_ve_vector3d light1 = {0.0f, 0.0f, 0.0f, 0.0f};
_ve_vector3d light2 = {0.0f, 0.0f, 0.0f, 0.0f};
_ve_vector3d color0 = {102.4f, 102.4f, 102.4f, 0.0f};
_ve_vector3d color1 = {76.8f, 76.8f, 76.8f, 0.0f};
_ve_vector3d color2 = {0.0f, 128.0f, 0.0f, 0.0f};
_ve_vector3d ambient = {19.2f, 19.2f, 19.2f, 0.0f};
_matrix4 lightMatrix;
_matrix4 colorMatrix;
}  // namespace engine

namespace {

_ve_vector3d* Light(int i) {
    return i == 0 ? &light0 : i == 1 ? &light1 : i == 2 ? &light2 : nullptr;
}
_ve_vector3d* Colour(int i) {
    return i == 0 ? &color0 : i == 1 ? &color1 : i == 2 ? &color2 : nullptr;
}

void Row(_matrix4* m, int row, const _ve_vector3d& v) {
    const float r[4] = {v.x, v.y, v.z, v.w};
    std::memcpy(&m->M[row * 4], r, sizeof r);
}

}  // namespace

void veLightSetLightDirection(int index, const _ve_vector3d* d) {
    if (_ve_vector3d* l = Light(index); l && d) *l = *d;
}

void veLightSetColor(int index, const _ve_vector3d* c) {
    if (_ve_vector3d* l = Colour(index); l && c) *l = *c;
}

void veLightSetAmbient(const _ve_vector3d* c) {
    if (c) ambient = *c;
}

void veLightCreateLightColorMatrix() {
    Row(&colorMatrix, 0, color0);
    Row(&colorMatrix, 1, color1);
    Row(&colorMatrix, 2, color2);
    Row(&colorMatrix, 3, ambient);
}

void veLightCreateNormalizedLightMatrix(const _matrix4* n) {
    _ve_vector3d d[3];
    const _ve_vector3d* lights[3] = {&light0, &light1, &light2};
    for (int k = 0; k < 3; ++k) {
        const _ve_vector3d& l = *lights[k];
        float c[3];
        for (int i = 0; i < 3; ++i)
            c[i] = l.x * n->M[i * 4 + 0] + l.y * n->M[i * 4 + 1] + l.z * n->M[i * 4 + 2];
        d[k] = {c[0], c[1], c[2], 0.0f};
    }
    sceVu0NormalLightMatrix(&lightMatrix, &d[0], &d[1], &d[2]);
}

void sceVu0NormalLightMatrix(_matrix4* out, const _ve_vector3d* d0, const _ve_vector3d* d1,
                             const _ve_vector3d* d2) {
    std::memset(out, 0, sizeof *out);
    const _ve_vector3d* d[3] = {d0, d1, d2};
    for (int k = 0; k < 3; ++k) {
        const float len = std::sqrt(d[k]->x * d[k]->x + d[k]->y * d[k]->y + d[k]->z * d[k]->z);
        if (!(len > 0.0f) || !std::isfinite(len)) continue;
        Row(out, k, {-d[k]->x / len, -d[k]->y / len, -d[k]->z / len, 0.0f});
    }
}

_matrix4* veLightGetLightMatrix() {
    return &lightMatrix;
}
_matrix4* veLightGetColorMatrix() {
    return &colorMatrix;
}

void veLightReset() {
    light0 = {0.0f, 0.5f, 0.5f, 0.0f};
    light1 = light2 = {0.0f, 0.0f, 0.0f, 0.0f};
    color0 = {102.4f, 102.4f, 102.4f, 0.0f};
    color1 = {76.8f, 76.8f, 76.8f, 0.0f};
    color2 = {0.0f, 128.0f, 0.0f, 0.0f};
    ambient = {19.2f, 19.2f, 19.2f, 0.0f};
    std::memset(&lightMatrix, 0, sizeof lightMatrix);
    std::memset(&colorMatrix, 0, sizeof colorMatrix);
}
