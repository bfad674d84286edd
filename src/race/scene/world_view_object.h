// The placed scenery of a world: CWorldViewObject draws one placed object (static, dynamic, pickup,
// jump or landing) at the level of detail the race's object thresholds give, in the world's colour,
// and wakes dynamic objects that come close to a viewer; CViewObjectClip draws one out-of-bounds tile
// with thresholds of its own (the terrain's).
#pragma once

#include <cstdint>

#include "game/view/view_object_3d.h"

class CObjectDescription;

class CWorldViewObject : public C3DViewObject {
public:
    // Objects of this type are drawn (at the coarsest level) at any distance.
    static constexpr int32_t kAlwaysDrawnType = 29;

    CWorldViewObject(int modelObjectId, int descriptionId) : C3DViewObject(modelObjectId, descriptionId) {}
    void render(C3DView* view) override;
};

class CViewObjectClip : public C3DViewObject {
public:
    CViewObjectClip(int modelObjectId, int descriptionId) : C3DViewObject(modelObjectId, descriptionId) {}
    void render(C3DView* view) override;
    void calculateLodDepth(C3DView* view, CModelObject* modelObject) override;
    void calculateLodDepthClip(C3DView* view, CModelObject* modelObject) override;

    uint32_t overrideObjectLod1DepthSquared = 0;
    uint32_t overrideObjectLod2DepthSquared = 0;
    uint32_t overrideObjectFarClipDepthSquared = 0;
};

// The shared object LOD 1 threshold (the shadows fade out by it).
uint32_t getObjectLod1DepthSquared();
