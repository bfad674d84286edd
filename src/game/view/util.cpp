#include "game/view/util.h"

#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/view_matrices.h"
#include "game/model/model.h"
#include "game/model/model_object.h"
#include "game/view/view_3d.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/dynamics/rigid_body.h"

C3DView** CUtil::raceViews = nullptr;

void CUtil::UpdateCamera(float time) {
    CModel* m = CModel::modelPtr;
    if (!m || !raceViews || !raceViews[0]) return;
    const int id = raceViews[0]->_cameraID;
    if (id < 0 || static_cast<size_t>(id) >= m->objects.size()) return;
    if (CModelObject* camera = m->objects[static_cast<size_t>(id)]) camera->update(time);
}

void CUtil::drawLine(_ve_view* view, _vector3d* a, _vector3d* b, int r, int g, int bl) {
    veRenderContextDisable(kRenderTexture);
    veRenderContextEnable(kRenderAlpha);
    _matrix4 identity;
    M4_Identity(&identity);
    veEngineSetLocalToWorld(&identity);
    veDisplayActivateView(view);
    _ve_line line{};
    _ve_vertex* v[2] = {&line.v1, &line.v2};
    const _vector3d* p[2] = {a, b};
    for (int k = 0; k < 2; ++k) {
        v[k]->x = p[k]->x;
        v[k]->y = p[k]->y;
        v[k]->z = p[k]->z;
        v[k]->w = 1.0f;
        v[k]->q = 1.0f;
        v[k]->r = static_cast<uint32_t>(r);
        v[k]->g = static_cast<uint32_t>(g);
        v[k]->b = static_cast<uint32_t>(bl);
        v[k]->a = 255;
    }
    vePrimDrawLine(&line);
}

void CUtil::drawDebugRigidBody(Kinetic::RigidBody* body, _ve_view* view, int r, int g, int bl) {
    if (!body) return;
    for (Kinetic::Primitive* p : body->getPrimitives()) {
        if (!p || (p->m_type != Kinetic::CD_GEOMETRIC && p->m_type != Kinetic::CD_CXGEOMETRIC)) continue;
        const auto* gp = static_cast<const Kinetic::GeometricPrimitive*>(p);
        const Kinetic::Geometry* geometry = gp->getGeometry();
        if (!geometry) continue;
        const int faces = geometry->getNumTriangles();
        for (int f = 0; f < faces; ++f) {
            _vector3d corner[3];
            for (int k = 0; k < 3; ++k) {
                const Kinetic::Vector3 w = gp->getWorldFaceVertex(f, k);
                corner[k] = {w.x * 100.0f, w.y * 100.0f, w.z * 100.0f};
            }
            drawLine(view, &corner[0], &corner[1], r, g, bl);
            drawLine(view, &corner[1], &corner[2], r, g, bl);
            drawLine(view, &corner[2], &corner[0], r, g, bl);
        }
    }
}
