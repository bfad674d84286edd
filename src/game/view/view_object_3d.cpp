#include "game/view/view_object_3d.h"

#include <cmath>
#include <limits>

#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry.h"
#include "engine/hal/view_matrices.h"
#include "game/files/geometry.h"
#include "game/model/bounding_box.h"
#include "game/model/model.h"
#include "game/model/model_object.h"
#include "game/model/object_description.h"

uint32_t C3DViewObject::objectLod1DepthSquared = 0;
uint32_t C3DViewObject::objectLod2DepthSquared = 0;
uint32_t C3DViewObject::objectFarClipDepthSquared = 0;

namespace {

CModelObject* ModelObject(int id) {
    CModel* m = CModel::modelPtr;
    if (!m || id < 0 || static_cast<size_t>(id) >= m->objects.size()) return nullptr;
    return m->objects[static_cast<size_t>(id)];
}

}  // namespace

C3DViewObject::C3DViewObject()
    : LOD(0), depth(0), drawWithClipping(CLIP_NONE), clipType(CLIP_TYPE_OBJECTCULL) {}

C3DViewObject::C3DViewObject(int modelObjectId_, int descriptionId_)
    : CViewObject<C3DView>(modelObjectId_, descriptionId_),
      LOD(0),
      depth(0),
      drawWithClipping(CLIP_NONE),
      clipType(CLIP_TYPE_OBJECTCULL) {}

void C3DViewObject::update(C3DView* view, float) {
    modelObjectRemoved(view);
}

void C3DViewObject::modelObjectRemoved(C3DView* view) {
    if (modelObjectId == -1) view->removeObject(this);
}

void C3DViewObject::calculateLodDepth(C3DView* view, CModelObject* modelObject) {
    CModelObject* camera = ModelObject(view->_cameraID);
    if (!camera || !modelObject) {
        // Nothing can be judged without a camera: not drawn.
        LOD = -1;
        drawWithClipping = CLIP_OFFSCREEN;
        return;
    }
    float d2;
    qzMath::qzMathVectorDistanceSquared(&d2, &camera->position, &modelObject->position);
    // d2 is a sum of squares; beyond the 32-bit range (or not a number) counts as the farthest depth.
    const double scaled = static_cast<double>(d2) / 10000.0;
    depth = scaled < 4294967295.0 ? static_cast<uint32_t>(scaled) : std::numeric_limits<uint32_t>::max();
    if (depth > objectFarClipDepthSquared) {
        LOD = -1;
        drawWithClipping = CLIP_OFFSCREEN;
        return;
    }
    LOD = depth > objectLod2DepthSquared ? 2 : depth > objectLod1DepthSquared ? 1 : 0;
}

void C3DViewObject::calculateLodDepthClip(C3DView* view, CModelObject* modelObject) {
    calculateLodDepth(view, modelObject);
    if (LOD == -1) return;
    CBoundingBox* box = modelObject->getBounds();
    if (!box || !box->bboxValid || !box->b) return;
    const int r = veEngineBBoxOutsideFrustum(box->b);
    if (r & 0x3F) {
        LOD = -1;
        drawWithClipping = CLIP_OFFSCREEN;
        depth = objectFarClipDepthSquared + 100;
    } else {
        drawWithClipping = r ? CLIP_TRICULL : CLIP_NONE;
    }
}

void C3DViewObject::render(C3DView* view) {
    CModelObject* object = ModelObject(modelObjectId);
    if (!object) return;
    CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!d) return;
    veSetDefaultTestEnv1(1, 6, 100, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(1, 6, 100, 0, 0, 0, 1, 2);
    _matrix4 m;
    Q_SetupMatrix(&object->qOrientation, &m);
    M4_SetTranslation(&m, &object->position);
    veEngineSetLocalToWorld(&m);
    if (clipType == CLIP_TYPE_TRICLIP)
        veDisplaySetMode(0x80000);
    else if (clipType == CLIP_TYPE_OBJECTCULL)
        veDisplaySetMode(0x40000);
    const uint32_t lod = static_cast<uint32_t>(LOD);
    const int geometryId = lod < d->geometryIdList.size() ? d->geometryIdList[lod] : -1;
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(geometryId);
    if (!g || !g->geo) return;
    // Activating the view resets local-to-world to the identity: place the object again after it.
    veDisplayActivateView(&view->_view3d);
    veEngineSetLocalToWorld(&m);
    // Levels without a texture list keep the geometry's textures.
    if (lod < 5) g->replaceTextures(&d->textureIdList[lod]);
    veEngineDrawGeometry(g->geo);
    veEngineReSetLocalToWorld();
}
