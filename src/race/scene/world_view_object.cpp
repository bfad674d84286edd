#include "race/scene/world_view_object.h"

#include <limits>

#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry.h"
#include "engine/hal/view_matrices.h"
#include "game/files/geometry.h"
#include "game/model/model.h"
#include "game/model/model_object.h"
#include "game/model/object_description.h"
#include "kinetic/dynamics/rigid_body.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/world_model.h"

uint32_t getObjectLod1DepthSquared() {
    return C3DViewObject::objectLod1DepthSquared;
}

namespace {

CModelObject* ModelObject(int id) {
    CModel* m = CModel::modelPtr;
    if (!m || id < 0 || static_cast<size_t>(id) >= m->objects.size()) return nullptr;
    return m->objects[static_cast<size_t>(id)];
}

// The object's placement, the pixel test of both contexts (alpha above 100, depth greater or equal).
void Place(const CModelObject* obj, _matrix4* m) {
    veSetDefaultTestEnv1(1, 6, 100, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(1, 6, 100, 0, 0, 0, 1, 2);
    Q_SetupMatrix(&obj->qOrientation, m);
    M4_SetTranslation(m, &obj->position);
}

void SetClipMode(ClipType type) {
    if (type == CLIP_TYPE_TRICLIP)
        veDisplaySetMode(0x80000);
    else if (type == CLIP_TYPE_OBJECTCULL)
        veDisplaySetMode(0x40000);
}

// The geometry of `lod` of the description, or null.
CGeometry* GeometryAt(const CObjectDescription* d, int32_t lod) {
    if (!d) return nullptr;
    const auto u = static_cast<uint32_t>(lod);
    const int id = u < d->geometryIdList.size() ? d->geometryIdList[u] : -1;
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(id);
    return g && g->geo ? g : nullptr;
}

}  // namespace

void CViewObjectClip::calculateLodDepth(C3DView* view, CModelObject* obj) {
    CModelObject* camera = ModelObject(view->_cameraID);
    if (!camera || !obj) {
        LOD = -1;
        drawWithClipping = CLIP_OFFSCREEN;
        return;
    }
    float d2;
    qzMath::qzMathVectorDistanceSquared(&d2, &camera->position, &obj->position);
    const double scaled = static_cast<double>(d2) / 10000.0;
    depth = scaled < 4294967295.0 ? static_cast<uint32_t>(scaled) : std::numeric_limits<uint32_t>::max();
    if (depth > overrideObjectFarClipDepthSquared) {
        LOD = -1;
        drawWithClipping = CLIP_OFFSCREEN;
    } else {
        LOD = depth > overrideObjectLod2DepthSquared ? 2 : depth > overrideObjectLod1DepthSquared ? 1 : 0;
    }
}

void CViewObjectClip::calculateLodDepthClip(C3DView* view, CModelObject* obj) {
    C3DViewObject::calculateLodDepthClip(view, obj);
}

void CViewObjectClip::render(C3DView* view) {
    CModelObject* obj = ModelObject(modelObjectId);
    if (!obj) return;
    const CObjectDescription* desc = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    _matrix4 m;
    Place(obj, &m);
    calculateLodDepth(view, obj);
    SetClipMode(clipType);
    CGeometry* g = GeometryAt(desc, LOD);
    if (!g) return;
    veDisplayActivateView(&view->_view3d);  // resets local-to-world: place the object after it
    veEngineSetLocalToWorld(&m);
    g->replaceTextures(&desc->textureIdList[LOD]);
    veEngineDrawGeometry(g->geo);
    veEngineReSetLocalToWorld();
}

void CWorldViewObject::render(C3DView* view) {
    CModelObject* obj = ModelObject(modelObjectId);
    if (!obj) return;
    const CObjectDescription* desc = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    _matrix4 m;
    Place(obj, &m);
    C3DViewObject::calculateLodDepth(view, obj);
    if (LOD == -1) {
        if (!desc || !desc->typeInfo || desc->typeInfo->objType != kAlwaysDrawnType) return;
        LOD = 2;
    }
    if (LOD == 0)
        if (auto* dyn = dynamic_cast<CKineticDynamicRigidObject*>(obj)) {
            dyn->activeTime = 60;
            Kinetic::RigidBody* body = dyn->getRigidBody(0);
            if (body && body->isPinned()) body->setPinned(false);
        }
    SetClipMode(clipType);
    CGeometry* g = GeometryAt(desc, LOD);
    if (!g) return;
    veDisplayActivateView(&view->_view3d);
    veEngineSetLocalToWorld(&m);
    const _RGBA_GEO colour{CWorldModel::worldRGBA[0], CWorldModel::worldRGBA[1], CWorldModel::worldRGBA[2],
                           CWorldModel::worldRGBA[3]};
    veEngineSetGeoRGBAOverWrite(&colour);
    veEngineDrawGeometry(g->geo);
    veEngineReSetLocalToWorld();
}
