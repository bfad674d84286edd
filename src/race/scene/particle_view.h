// Draws the particle system's list for one human view as immediate-mode, alpha-blended lines,
// triangles and quads in world space, keeping the texture bound across particles that share it.
#pragma once

#include <cstdint>

#include "game/view/view_object_3d.h"

class CParticleView : public C3DViewObject {
public:
    CParticleView(int modelObjectId, int descriptionId) : C3DViewObject(modelObjectId, descriptionId) {}

    void render(C3DView* view) override;
    void update(C3DView*, float) override {}

    // Particles drawn and texture loads of the last render (a run with one texture loads it once).
    uint32_t drawn = 0;
    uint32_t textureLoads = 0;
};
