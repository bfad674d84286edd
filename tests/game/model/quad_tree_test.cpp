// The quad tree: containment moves subtrees down, overlaps become containers, walks visit exactly what
// the policy finds of interest (checked against a brute-force scan over query rectangles), deletion is
// post-order and once.
#include "game/model/quad_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "game/model/bounding_model_object.h"

namespace {

struct Rect {
    float x0, z0, x1, z1;
};

// The world's policy over boxes: XZ containment with half a unit of tolerance (widening the container's
// height), quadrants by the object's low corner against the container's middle, containers the smallest
// grid-aligned square holding both, overlap by corner intersection. Of interest is what overlaps the query
// rectangle (standing for the frustum's footprint).
struct BoxPolicy {
    static Rect Of(CModelObject* o) {
        CBoundingBox* b = o->getBounds();
        return {b->minX, b->minZ, b->maxX, b->maxZ};
    }
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
        const Rect c = Of(a), o = Of(b);
        const float half = (c.x1 - c.x0) / 2;
        return (o.x0 - c.x0 + 0.5f > half ? 1 : 0) + (o.z0 - c.z0 + 0.5f > half ? 2 : 0);
    }
    CModelObject* MakeContainer(CModelObject* a, CModelObject* b) {
        const Rect ra = Of(a), rb = Of(b);
        const float wa = ra.x1 - ra.x0, wb = rb.x1 - rb.x0;
        float size = 2 * std::max(wa, wb);
        float x0, z0;
        for (;;) {
            x0 = std::trunc((std::min(ra.x0, rb.x0) + 0.5f) / size) * size;
            z0 = std::trunc((std::min(ra.z0, rb.z0) + 0.5f) / size) * size;
            const float xe = x0 + size + 0.5f, ze = z0 + size + 0.5f;
            if (ra.x0 + wa <= xe && rb.x0 + wb <= xe && ra.z0 + wa <= ze && rb.z0 + wb <= ze) break;
            size *= 2;
        }
        auto* c = new CBoundingModelObject();
        CBoundingBox *ba = a->getBounds(), *bb = b->getBounds();
        c->bBox.setBoundingBox(x0, std::min(ba->minY, bb->minY), z0, x0 + size, std::max(ba->maxY, bb->maxY),
                               z0 + size);
        containers.insert(c);
        return c;
    }
    bool IsIntersecting(CModelObject* a) {
        const Rect r = Of(a);
        return r.x0 <= query.x1 && query.x0 <= r.x1 && r.z0 <= query.z1 && query.z0 <= r.z1;
    }
    bool DoIt(CModelObject* a) {
        visited.push_back(a);
        return containers.count(a) == 0;
    }
    void DestroyData(CModelObject* a) {
        destroyed.push_back(a);
        delete a;
    }
    // What the last walk visited, containers left out.
    std::multiset<CModelObject*> Walked() const {
        std::multiset<CModelObject*> out;
        for (CModelObject* v : visited)
            if (!containers.count(v)) out.insert(v);
        return out;
    }
    std::set<CModelObject*> containers;
    Rect query{0, 0, 0, 0};
    std::vector<CModelObject*> visited;
    std::vector<CModelObject*> destroyed;
};

CBoundingModelObject* Box(float x0, float z0, float x1, float z1, float y0 = 0, float y1 = 1) {
    auto* o = new CBoundingModelObject();
    o->bBox.setBoundingBox(x0, y0, z0, x1, y1, z1);
    return o;
}

using Tree = CQuadTree<CModelObject*, BoxPolicy>;

TEST(QuadTreeTest, AnObjectContainingTheRootsTakesItsPlace) {
    BoxPolicy p;
    CModelObject* small = Box(0, 0, 56, 56);
    CModelObject* child = Box(0, 0, 28, 28);
    CModelObject* big = Box(0, 0, 224, 224);
    auto root = std::make_unique<Tree>(small);
    root->Add(child, p);
    ASSERT_NE(root->m_Children[0].get(), nullptr);
    root->Add(big, p);
    EXPECT_EQ(root->m_Data, big);
    Tree* moved = root->m_Children[0].get();
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->m_Data, small);
    ASSERT_NE(moved->m_Children[0].get(), nullptr);
    EXPECT_EQ(moved->m_Children[0]->m_Data, child);
    for (int q = 1; q < 4; ++q) EXPECT_EQ(root->m_Children[q].get(), nullptr);
    Tree::DelTree(std::move(root), p);
    EXPECT_EQ(p.destroyed, (std::vector<CModelObject*>{child, small, big}));  // post-order
}

// Deterministic pseudo-random numbers for the scenes.
uint32_t Next(uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

TEST(QuadTreeTest, WalkVisitsExactlyTheObjectsThatABruteForceScanFinds) {
    uint32_t seed = 12345;
    for (int scene = 0; scene < 20; ++scene) {
        BoxPolicy p;
        // A random part of a 16 x 16 grid of 56-unit subtiles, inserted in random order.
        std::vector<int> cells;
        for (int i = 0; i < 256; ++i)
            if (Next(seed) % 3 != 0) cells.push_back(i);
        for (size_t i = cells.size(); i > 1; --i) std::swap(cells[i - 1], cells[Next(seed) % i]);
        std::vector<CModelObject*> objects;
        for (int cell : cells) {
            const float x = static_cast<float>(cell % 16) * 56, z = static_cast<float>(cell / 16) * 56;
            objects.push_back(Box(x, z, x + 56, z + 56));
        }
        auto root = std::make_unique<Tree>(objects[0]);
        for (size_t i = 1; i < objects.size(); ++i) ASSERT_TRUE(root->Add(objects[i], p));
        for (int q = 0; q < 10; ++q) {
            const float x = static_cast<float>(Next(seed) % 1000) - 50,
                        z = static_cast<float>(Next(seed) % 1000) - 50;
            p.query = {x, z, x + static_cast<float>(Next(seed) % 300),
                       z + static_cast<float>(Next(seed) % 300)};
            p.visited.clear();
            const bool any = root->DoIt(p);
            const std::multiset<CModelObject*> walked = p.Walked();
            std::multiset<CModelObject*> expected;
            for (CModelObject* o : objects)
                if (p.IsIntersecting(o)) expected.insert(o);
            EXPECT_EQ(walked, expected) << "scene " << scene << " query " << q;
            EXPECT_EQ(any, !expected.empty());
        }
        Tree::DelTree(std::move(root), p);
        EXPECT_EQ(p.destroyed.size(), objects.size() + p.containers.size());
    }
}

}  // namespace
