// Base of everything drawn in a 3D view: level of detail from the squared camera distance, frustum
// clipping from the object's box, and drawing of the description's geometry for that level.
#pragma once

#include <cstdint>

#include "game/view/view_3d.h"
#include "game/view/view_object.h"

class CModelObject;

enum ClipFlags : int32_t {
    CLIP_NONE = 0,       // wholly inside the frustum
    CLIP_TRICULL = 1,    // crosses it
    CLIP_OFFSCREEN = 2,  // outside, or beyond the far distance
};

enum ClipType : int32_t {
    CLIP_TYPE_NONE = 0,
    CLIP_TYPE_TRICLIP = 1,
    CLIP_TYPE_OBJECTCULL = 2,
    CLIP_TYPE_TRICULL = 2,
};

class C3DViewObject : public CViewObject<C3DView> {
public:
    // Distance thresholds (squared distance / 10000), set per track by the race.
    static uint32_t objectLod1DepthSquared;
    static uint32_t objectLod2DepthSquared;
    static uint32_t objectFarClipDepthSquared;

    C3DViewObject();
    C3DViewObject(int modelObjectId, int descriptionId);

    void render(C3DView* view) override;
    void update(C3DView* view, float value) override;
    void modelObjectRemoved(C3DView* view) override;
    virtual void calculateLodDepthClip(C3DView* view, CModelObject* modelObject);
    virtual void calculateLodDepth(C3DView* view, CModelObject* modelObject);

    int32_t LOD;
    uint32_t depth;
    ClipFlags drawWithClipping;
    ClipType clipType;
};
