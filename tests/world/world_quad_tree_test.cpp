// The world quad-tree policy: containers, quadrants, containment slack, the visit, and a whole world's
// subtiles in one tree.
#include "world/world_quad_tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#include "game/model/bounding_model_object.h"
#include "support/heap_image.h"
#include "world/subtile_model.h"
#include "world/world_loader.h"
#include "world/world_model.h"
#include "world_fixture.h"

namespace {

std::unique_ptr<CBoundingModelObject> Box(float minX, float minZ, float width, float minY = -10,
                                          float maxY = 0) {
    auto b = std::make_unique<CBoundingModelObject>();
    b->bBox.setBoundingBox(minX, minY, minZ, minX + width, maxY, minZ + width);
    return b;
}

TEST(WorldQuadTree, ContainersQuadrantsAndSlack) {
    CWorldQuadTree q;
    struct Pair {
        float a, b, width, x0, x1;
    };
    // Two subtiles side by side; the second pair needs the doubled square; zero widths take one cell.
    const Pair pairs[] = {{0, 56, 56, 0, 112}, {56, 112, 56, 0, 224}, {5, 5, 0, 5, 6}};
    CSubtileModel::gridSize = 1;
    for (const Pair& p : pairs) {
        auto a = Box(p.a, 0, p.width, -30, 0), b = Box(p.b, 0, p.width, -10, 5);
        std::unique_ptr<CModelObject> c(q.MakeContainer(a.get(), b.get()));
        const CBoundingBox* bb = c->getBounds();
        EXPECT_EQ(bb->minX, p.x0) << p.a << "," << p.b;
        EXPECT_EQ(bb->maxX, p.x1) << p.a << "," << p.b;
        EXPECT_EQ(bb->maxZ - bb->minZ, p.x1 - p.x0);
        EXPECT_EQ(bb->minY, -30.0f);
        EXPECT_EQ(bb->maxY, 5.0f);
    }
    CSubtileModel::gridSize = 0;

    auto container = Box(0, 0, 224);
    const float quadrants[][3] = {{111.6f, 0, 1}, {111.4f, 0, 0}, {0, 111.6f, 2}, {150, 200, 3}};
    for (const auto& w : quadrants)
        EXPECT_EQ(q.WhichChild(container.get(), Box(w[0], w[1], 10).get()), static_cast<int>(w[2])) << w[0];

    // Half a unit of overhang is still inside; the container then spans the object's heights too.
    auto in = Box(214.5f, 10, 10, -50, 3);
    EXPECT_TRUE(q.IsContained(container.get(), in.get()));
    EXPECT_EQ(container->getBounds()->minY, -50.0f);
    EXPECT_EQ(container->getBounds()->maxY, 3.0f);
    EXPECT_EQ(container->getBounds()->maxX, 224.0f);
    auto out = Box(214.6f, 10, 10, -20, 1);
    EXPECT_FALSE(q.IsContained(container.get(), Box(214.6f, 10, 10, -90, 9).get()));
    EXPECT_EQ(container->getBounds()->minY, -50.0f);
    EXPECT_TRUE(q.IsOverlapped(container.get(), out.get()));
    EXPECT_FALSE(q.IsOverlapped(in.get(), Box(300, 300, 5).get()));
}

TEST(WorldQuadTree, WorldSubtilesFormOneTreeAndTheVisitListsThem) {
    testsupport::HeapImage image(WriteWorldFile(worldtest::MakeWorld(
        3, 2, [](int x, int z) { return static_cast<uint16_t>((x * 37 + z * 11) % 4000); })));
    struct ResetStatics {
        ~ResetStatics() {
            CWorldModel::resetStatics();
            CSubtileModel::resetStatics();
        }
    } reset;  // after the world is gone
    CWorldModel world;
    BuildWorldModel(world, image.p);
    ASSERT_NE(world.quadTree, nullptr);
    // Every subtile appears once, and every node lies inside its parent within the slack.
    std::multiset<int> ids;
    CWorldQuadTree q;
    q.allocViewList();
    const size_t reserved = q.viewList.capacity();
    std::function<void(CQuadTree<CModelObject*, CWorldQuadTree>*)> walk = [&](auto* node) {
        EXPECT_TRUE(q.DoIt(node->m_Data));
        for (auto* c : node->m_Children) {
            if (!c) continue;
            EXPECT_TRUE(q.IsContained(node->m_Data, c->m_Data));
            walk(c);
        }
    };
    walk(world.quadTree);
    ASSERT_EQ(q.viewList.size(), 144u);  // containers add nothing
    EXPECT_EQ(std::set<uint32_t>(q.viewList.begin(), q.viewList.end()).size(), 144u);
    EXPECT_EQ(*std::max_element(q.viewList.begin(), q.viewList.end()), 143u);
    q.reset();
    EXPECT_TRUE(q.viewList.empty());
    EXPECT_EQ(q.viewList.capacity(), reserved);
    // The model's destructor deletes the tree with its subtiles and containers (ASan sees leaks).
}

}  // namespace
