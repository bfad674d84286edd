#include "game/model/bounding_model_object.h"

#include "game/files/geometry.h"
#include "game/model/object_description.h"

CBoundingModelObject::CBoundingModelObject() = default;

CBoundingModelObject::CBoundingModelObject(int id) : CModelObject(id) {
    if (id != -1) setBoundingBox(id);
}

CBoundingBox* CBoundingModelObject::getBounds() {
    return &bBox;
}

void CBoundingModelObject::setBoundingBox(int id) {
    if (id == -1) return;
    CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(id);
    if (!d || d->geometryIdList.empty()) return;
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(d->geometryIdList[0]);
    if (!g || !g->geo) return;
    getBounds()->setBoundingBox(veEngineGetGeoBoundingBox(g->geo));
}
