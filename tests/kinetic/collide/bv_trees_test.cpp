// Shared bounding data per mesh, the two trees and their queries, and the mesh-against-mesh search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <set>

#include "kinetic/collide/bv_data_registry.h"
#include "kinetic/collide/bv_tree_detect.h"
#include "kinetic/collide/bv_tree_intersect.h"
#include "kinetic/collide/internal_collide.h"
#include "kinetic/collide/triangle_util.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

template <typename Node>
int leaves(const Node* n) {
    if (!n) return 0;
    return n->m_left ? leaves(n->m_left) + leaves(n->m_right) : 1;
}

}  // namespace

TEST(BVDataRegistryTest, PrimitivesShareOneTreeAndTheLastReleaseDestroysIt) {
    BVDataRegistry& r = BVDataRegistry::getInstance();
    auto g = bumpyGrid(4, 1.0f);
    EXPECT_EQ(r.getOBBTreeRef(g.get()), nullptr);  // before any build: nothing, and no entry made
    EXPECT_FALSE(r.hasEntry(g.get()));
    {
        GeometricPrimitive a(nullptr, g.get(), Transform_Identity, 1, CD_GEOMETRIC);
        GeometricPrimitive b(nullptr, g.get(), Transform_Identity, 1, CD_GEOMETRIC);
        a.precomputeCDinfo(0.1f);  // no entity: movable, so the OBB tree
        b.precomputeCDinfo(0.1f);
        ASSERT_NE(a.m_OBBTree, nullptr);
        EXPECT_EQ(a.m_OBBTree, b.m_OBBTree);
        EXPECT_EQ(r.getData(g.get())->m_OBBTreeRefs, 2);
        {
            Primitive* c = a.clone(nullptr);
            EXPECT_EQ(static_cast<GeometricPrimitive*>(c)->m_OBBTree, a.m_OBBTree);
            EXPECT_EQ(r.getData(g.get())->m_OBBTreeRefs, 3);
            delete c;
        }
        EXPECT_EQ(r.getData(g.get())->m_OBBTreeRefs, 2);
    }
    EXPECT_FALSE(r.hasEntry(g.get()));
}

TEST(BVDataRegistryTest, GeometryDeathDestroysBuiltButUnheldData) {
    BVDataRegistry& r = BVDataRegistry::getInstance();
    auto g = bumpyGrid(2, 1.0f);
    r.buildKDOPTree(g.get());
    r.buildConnectivity(g.get());
    ASSERT_TRUE(r.hasEntry(g.get()));
    EXPECT_EQ(r.onNotify(g.get(), 0, 3), 0);  // other messages change nothing
    EXPECT_NE(r.getData(g.get())->m_KDOPTree, nullptr);
    g.reset();  // its death notice reaches the registry
    // A new mesh may take the same address; it must get fresh data, not the dead one's.
    auto h = bumpyGrid(1, 2.0f);
    r.buildOBB(h.get());
    ASSERT_NE(r.getData(h.get()), nullptr);
    EXPECT_EQ(r.getData(h.get())->m_KDOPTree, nullptr);
    OBB* box = r.getOBBRef(h.get());
    ASSERT_NE(box, nullptr);
    const Transform toBox = box->m_BVToBodyTransform.getInverse();
    for (int i = 0; i < h->m_vertex_count; ++i) {
        const Vector3 p = toBox.getTransformedPos(h->m_vertices[i]);
        EXPECT_LE(std::fabs(p.x), box->m_extent.x + 1e-5f);
        EXPECT_LE(std::fabs(p.y), box->m_extent.y + 1e-5f);
        EXPECT_LE(std::fabs(p.z), box->m_extent.z + 1e-5f);
    }
    r.releaseOBBRef(h.get());
    EXPECT_FALSE(r.hasEntry(h.get()));
}

TEST(BVTreeTest, TreesHaveOneLeafPerTriangleAndDegenerateMeshesStillEnd) {
    auto g = bumpyGrid(5, 1.0f);
    KDOPTree k(g->m_vertices, g->m_triangles, g->m_triangle_count);
    BVTree<OBB> o(g->m_vertices, g->m_triangles, g->m_triangle_count);
    EXPECT_EQ(leaves(k.getRoot()), 50);
    EXPECT_EQ(leaves(o.getRoot()), 50);
    // The root k-DOP holds every vertex.
    for (int i = 0; i < g->m_vertex_count; ++i) {
        KDop14 p;
        p.include(g->m_vertices[i]);
        EXPECT_TRUE(k.getRoot()->m_volume.intersects(p));
    }
    // A query about one vertex culls all but the few triangles around it.
    KDop14 near(g->m_vertices[20], 0.1f, 0.0f);
    std::vector<const TriangleIndices*> cand;
    k.intersect(near, cand, k.getRoot());
    EXPECT_GE(cand.size(), 1u);
    EXPECT_LE(cand.size(), 12u);
    // One triangle: a single leaf.
    KDOPTree one(g->m_vertices, g->m_triangles, 1);
    EXPECT_EQ(one.getRoot()->m_left, nullptr);
    EXPECT_EQ(one.getRoot()->m_triangle, &g->m_triangles[0]);
    // Forty copies of one triangle (equal centroids): a chain, still one leaf each.
    std::vector<TriangleIndices> same(40, g->m_triangles[3]);
    KDOPTree chain(g->m_vertices, same.data(), 40);
    EXPECT_EQ(leaves(chain.getRoot()), 40);
    BVTree<OBB> chainO(g->m_vertices, same.data(), 40);
    EXPECT_EQ(leaves(chainO.getRoot()), 40);
    // Empty: no root.
    KDOPTree none(g->m_vertices, g->m_triangles, 0);
    EXPECT_EQ(none.getRoot(), nullptr);
}

TEST(MeshMeshTest, MovingMeshAboveAFixedMeshAndTwoMovingMeshes) {
    auto ground = groundGeometry(3.0f);
    auto plate = bumpyGrid(2, 0.5f);  // 1 x 1, heights within 0.3 of its plane
    std::unique_ptr<RigidBody> fixedGround(meshBody(ground.get(), 0, false, Vector3(0, 0, 0)));
    std::unique_ptr<RigidBody> mover(meshBody(plate.get(), 1, false, Vector3(0, -1, 0)));
    InternalCollide d(0.2f);
    d.addRigidBody(fixedGround.get());
    d.addRigidBody(mover.get());
    auto* pg = static_cast<GeometricPrimitive*>(fixedGround->getPrimitives()[0]);
    auto* pm = static_cast<GeometricPrimitive*>(mover->getPrimitives()[0]);
    ASSERT_NE(pg->m_KDOPTree, nullptr);
    ASSERT_NE(pm->m_OBBTree, nullptr);
    // Far apart: nothing.
    std::vector<CollisionDetails> contacts;
    PairList inter;
    BVTreeDetect::FindAllKDOPtoOBBCollisions(pg, pm, inter, contacts, 0.2f);
    EXPECT_TRUE(contacts.empty());
    EXPECT_TRUE(inter.empty());
    // The plate's lowest vertex (y offset from the bumps) 0.1 above the ground.
    float lowest = -FLT_MAX;
    for (int i = 0; i < plate->m_vertex_count; ++i) lowest = std::max(lowest, plate->m_vertices[i].y);
    place(mover.get(), Vector3(0.1f, -lowest - 0.1f, 0.2f));
    mover->recomputeBoundingVolumes();
    BVTreeDetect::FindAllKDOPtoOBBCollisions(pg, pm, inter, contacts, 0.2f);
    ASSERT_FALSE(contacts.empty());
    float minD = FLT_MAX;
    for (const CollisionDetails& c : contacts) {
        minD = std::min(minD, c.m_contact.m_distance);
        EXPECT_LT(c.m_contact.m_distance, 0.2f);
        for (const CollisionDetails& o : contacts)
            if (&o != &c) {
                EXPECT_GE((o.m_contact.m_position - c.m_contact.m_position).lengthSqrd(), 0.001f * 0.04f);
            }
    }
    EXPECT_NEAR(minD, 0.1f, 1e-4f);
    // Through the detector: the same pair dispatches to this search.
    d.resetCollisionLists();
    d.collide(false);
    EXPECT_EQ(d.m_RRCollisionList.size(), contacts.size());
    // Sunk into the ground: one interpenetration ends the call.
    place(mover.get(), Vector3(0.1f, 0.0f, 0.2f));
    mover->recomputeBoundingVolumes();
    contacts.clear();
    BVTreeDetect::FindAllKDOPtoOBBCollisions(pg, pm, inter, contacts, 0.2f);
    EXPECT_EQ(inter.size(), 1u);
    // Two moving meshes, OBB tree against OBB tree.
    std::unique_ptr<RigidBody> other(meshBody(plate.get(), 1, false, Vector3(0.1f, -2.0f, 0.2f)));
    auto* po = static_cast<GeometricPrimitive*>(other->getPrimitives()[0]);
    po->precomputeCDinfo(0.2f);
    place(mover.get(), Vector3(0.1f, -2.0f - 0.8f, 0.2f));  // 0.8 apart in y: beyond the tolerance
    contacts.clear();
    inter.clear();
    BVTreeDetect::FindAllCollisionsUsingBVTree(pm, po, inter, contacts, 0.2f);
    EXPECT_TRUE(contacts.empty());
    EXPECT_TRUE(inter.empty());
    place(mover.get(), Vector3(0.1f, -2.0f - 0.15f, 0.2f));  // the same shape 0.15 higher
    BVTreeDetect::FindAllCollisionsUsingBVTree(pm, po, inter, contacts, 0.2f);
    EXPECT_TRUE(inter.empty());
    ASSERT_FALSE(contacts.empty());
    for (const CollisionDetails& c : contacts) EXPECT_LT(c.m_contact.m_distance, 0.2f);
}
