#include "world/world_quad_tree.h"

#include <algorithm>

#include "engine/hal/geometry.h"
#include "game/model/bounding_model_object.h"
#include "world/subtile_model.h"

bool CWorldQuadTree::DoIt(CModelObject* object) {
    if (auto* s = dynamic_cast<CSubtileModel*>(object)) viewList.push_back(static_cast<uint32_t>(s->id));
    return true;
}

void CWorldQuadTree::DestroyData(CModelObject* object) {
    delete object;
}

int CWorldQuadTree::WhichChild(CModelObject* container, CModelObject* object) {
    const CBoundingBox* c = container->getBounds();
    const CBoundingBox* o = object->getBounds();
    const float half = (c->maxX - c->minX) / 2.0f;
    int q = 0;
    if (o->minX - c->minX + 0.5f > half) q += 1;
    if (o->minZ - c->minZ + 0.5f > half) q += 2;
    return q;
}

CModelObject* CWorldQuadTree::MakeContainer(CModelObject* first, CModelObject* second) {
    const CBoundingBox* a = first->getBounds();
    const CBoundingBox* b = second->getBounds();
    const float wa = a->maxX - a->minX, wb = b->maxX - b->minX;
    // Two zero-width objects would give a size of 0 and double it for ever: one grid cell at least.
    float size = std::max(2.0f * std::max(wa, wb), static_cast<float>(std::max(CSubtileModel::gridSize, 1)));
    const float minX = std::min(a->minX, b->minX), minZ = std::min(a->minZ, b->minZ);
    const float farX = std::max(a->minX + wa, b->minX + wb), farZ = std::max(a->minZ + wa, b->minZ + wb);
    float x0, z0;
    for (;;) {
        x0 = static_cast<float>(static_cast<long long>((minX + 0.5f) / size)) * size;
        z0 = static_cast<float>(static_cast<long long>((minZ + 0.5f) / size)) * size;
        if (farX <= x0 + size + 0.5f && farZ <= z0 + size + 0.5f) break;
        size *= 2.0f;
    }
    auto* box = new CBoundingModelObject();
    box->bBox.setBoundingBox(x0, std::min(a->minY, b->minY), z0, x0 + size, std::max(a->maxY, b->maxY),
                             z0 + size);
    return box;
}

bool CWorldQuadTree::IsOverlapped(CModelObject* a, CModelObject* b) {
    return a->getBounds()->intersects(b->getBounds()) != 0;
}

bool CWorldQuadTree::IsContained(CModelObject* container, CModelObject* object) {
    CBoundingBox* c = container->getBounds();
    CBoundingBox* o = object->getBounds();
    if (!o->isContainedXZ(c)) return false;
    c->setBoundingBox(c->minX, std::min(c->minY, o->minY), c->minZ, c->maxX, std::max(c->maxY, o->maxY),
                      c->maxZ);
    return true;
}

bool CWorldQuadTree::IsIntersecting(CModelObject* object) {
    CBoundingBox* b = object->getBounds();
    return b && (veEngineBBoxOutsideFrustum(b->b) & 0x3f) == 0;
}
