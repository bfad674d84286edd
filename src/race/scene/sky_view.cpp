#include "race/scene/sky_view.h"

#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry.h"
#include "engine/hal/view_matrices.h"
#include "game/files/geometry.h"
#include "game/files/resource_storage.h"
#include "game/model/model.h"
#include "game/model/model_object.h"
#include "game/model/object_description.h"
#include "game/view/view_3d.h"

void CSkyViewObject::render(C3DView* view) {
    CModelObject* object = Object(modelObjectId);
    CModelObject* camera = Object(view->_cameraID);
    CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!object || !camera || !d || d->geometryIdList.empty()) return;
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(d->geometryIdList[0]);
    if (!g || !g->geo) return;
    _matrix4 m;
    Q_SetupMatrix(&object->qOrientation, &m);
    M4_SetTranslation(&m, &camera->position);
    veSetDefaultTestEnv1(1, kAlphaNever, 0, kFailKeepColour, 0, 0, 1, kDepthAlways);
    veSetDefaultTestEnv2(1, kAlphaNever, 0, kFailKeepColour, 0, 0, 1, kDepthAlways);
    veDisplaySetMode(0x80000);
    veDisplayActivateView(&view->_view3d);
    veEngineSetLocalToWorld(&m);
    g->replaceTextures(&d->textureIdList[0]);
    veEngineDrawGeometry(g->geo);
    veEngineReSetLocalToWorld();
    // What every other object draws with.
    veSetDefaultTestEnv1(1, 6, 100, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(1, 6, 100, 0, 0, 0, 1, 2);
    veDisplayActivateView(&view->_view3d);
}

CModelObject* CSkyViewObject::Object(int id) {
    CModel* m = CModel::modelPtr;
    return m && id >= 0 && static_cast<size_t>(id) < m->objects.size() ? m->objects[static_cast<size_t>(id)]
                                                                       : nullptr;
}
