// The world's quad tree walked with the engine's frustum test: the walk finds exactly the subtiles a
// brute-force test of every subtile finds, for cameras all over the world.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "engine/hal/engine_fixture.h"
#include "engine/hal/geometry.h"
#include "engine/hal/view_matrices.h"
#include "game/model/bounding_model_object.h"
#include "game/model/quad_tree.h"

namespace {

using enginetest::EngineTest;

// The world's policy: XZ containment with half a unit of tolerance (widening the container's height),
// quadrants by the low corner, grid-aligned square containers, overlap by corners; of interest is what
// the frustum test does not put wholly outside one plane.
struct WorldPolicy {
    bool IsContained(CModelObject* a, CModelObject* b) {
        CBoundingBox* c = a->getBounds();
        CBoundingBox* o = b->getBounds();
        if (!(o->minX >= c->minX - 0.5f && o->minZ >= c->minZ - 0.5f && o->maxX <= c->maxX + 0.5f &&
              o->maxZ <= c->maxZ + 0.5f))
            return false;
        c->setBoundingBox(c->minX, std::min(c->minY, o->minY), c->minZ, c->maxX, std::max(c->maxY, o->maxY),
                          c->maxZ);
        return true;
    }
    bool IsOverlapped(CModelObject* a, CModelObject* b) {
        return a->getBounds()->intersects(b->getBounds()) != 0;
    }
    bool ResolveOverlap(CModelObject*, CModelObject*) { return true; }
    int WhichChild(CModelObject* a, CModelObject* b) {
        CBoundingBox* c = a->getBounds();
        CBoundingBox* o = b->getBounds();
        const float half = (c->maxX - c->minX) / 2;
        return (o->minX - c->minX + 0.5f > half ? 1 : 0) + (o->minZ - c->minZ + 0.5f > half ? 2 : 0);
    }
    CModelObject* MakeContainer(CModelObject* a, CModelObject* b) {
        CBoundingBox* ba = a->getBounds();
        CBoundingBox* bb = b->getBounds();
        const float wa = ba->maxX - ba->minX, wb = bb->maxX - bb->minX;
        float size = 2 * std::max(wa, wb), x0, z0;
        for (;;) {
            x0 = std::trunc((std::min(ba->minX, bb->minX) + 0.5f) / size) * size;
            z0 = std::trunc((std::min(ba->minZ, bb->minZ) + 0.5f) / size) * size;
            const float xe = x0 + size + 0.5f, ze = z0 + size + 0.5f;
            if (ba->minX + wa <= xe && bb->minX + wb <= xe && ba->minZ + wa <= ze && bb->minZ + wb <= ze)
                break;
            size *= 2;
        }
        auto* c = new CBoundingModelObject();
        c->bBox.setBoundingBox(x0, std::min(ba->minY, bb->minY), z0, x0 + size, std::max(ba->maxY, bb->maxY),
                               z0 + size);
        containers.insert(c);
        return c;
    }
    static bool Visible(CModelObject* a) {
        return (veEngineBBoxOutsideFrustum(a->getBounds()->b) & 0x3F) == 0;
    }
    bool IsIntersecting(CModelObject* a) { return Visible(a); }
    bool DoIt(CModelObject* a) {
        if (!containers.count(a)) visited.push_back(a);
        return true;
    }
    void DestroyData(CModelObject* a) { delete a; }
    std::set<CModelObject*> containers;
    std::vector<CModelObject*> visited;
};

using Tree = CQuadTree<CModelObject*, WorldPolicy>;

TEST_F(EngineTest, WorldQuadTreeWalkFindsExactlyTheSubtilesInTheFrustum) {
    WorldPolicy p;
    // A 16 x 16 world of 56-unit subtiles with uneven heights (+y is down), inserted row by row.
    std::vector<CModelObject*> subtiles;
    for (int row = 0; row < 16; ++row)
        for (int col = 0; col < 16; ++col) {
            auto* s = new CBoundingModelObject();
            const float x = col * 56.0f, z = row * 56.0f,
                        top = -static_cast<float>((row * 7 + col * 13) % 40);
            s->bBox.setBoundingBox(x, top, z, x + 56, 5, z + 56);
            subtiles.push_back(s);
        }
    Tree* root = new Tree(subtiles[0]);
    for (size_t i = 1; i < subtiles.size(); ++i) ASSERT_TRUE(root->Add(subtiles[i], p));

    _ve_view view{};
    veDisplayCreateView3D(&view, 0, 0, 640, 448, 1, 1.0f, 2000.0f);
    _matrix4 identity;
    M4_Identity(&identity);
    int cameras = 0, someVisible = 0, none = 0;
    veEngineBeginFrame();
    for (float yaw = 0; yaw < 360; yaw += 45)
        for (float pitch : {-30.0f, 0.0f, 20.0f})
            for (float cx : {-100.0f, 300.0f, 700.0f}) {
                const _ve_vector3d pos{cx, -80.0f, 448.0f, 1.0f};
                const _ve_vector3d rot{pitch, yaw, 0.0f, 1.0f};
                veDisplaySetCameraPositionOrientation(&view, &pos, &rot);
                veEngineSetLocalToWorld(&identity);
                veDisplayActivateView(&view);
                veEngineBuildView(&view);
                p.visited.clear();
                root->DoIt(p);
                std::multiset<CModelObject*> walked(p.visited.begin(), p.visited.end());
                std::multiset<CModelObject*> expected;
                for (CModelObject* s : subtiles)
                    if (WorldPolicy::Visible(s)) expected.insert(s);
                EXPECT_EQ(walked, expected) << "yaw " << yaw << " pitch " << pitch << " x " << cx;
                ++cameras;
                someVisible += !expected.empty() && expected.size() < subtiles.size();
                none += expected.empty();
            }
    veEngineEndFrame();
    // Many cameras see part of the world (not all of it, not nothing), where pruning matters.
    EXPECT_GT(someVisible, cameras / 4);
    EXPECT_GT(none, 0);
    Tree::DelTree(root, p);
}

}  // namespace
