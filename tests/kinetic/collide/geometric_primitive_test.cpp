// Mesh primitives: world boxes for fixed and moving meshes, the trees each acquires, refresh under
// rotation, local boxes, inside tests, clones and the contact search repeating exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "grid_height_field.h"
#include "kinetic/collide/geometry_util.h"
#include "kinetic/collide/internal_collide.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

TEST(GeometricPrimitiveTest, FixedMeshGetsItsTightBoxAndMovingMeshASphereCube) {
    auto g = boxGeometry(Vector3(1, 2, 3));
    std::unique_ptr<RigidBody> fixed(meshBody(g.get(), 0, false, Vector3(10, 0, 0)));
    auto* pf = static_cast<GeometricPrimitive*>(fixed->getPrimitives()[0]);
    ASSERT_TRUE(fixed->isFixed());
    pf->precomputeCDinfo(0.2f);
    EXPECT_NEAR(pf->m_AABB.m_min.x, 9 - 0.1f, 1e-5f);
    EXPECT_NEAR(pf->m_AABB.m_max.y, 2 + 0.1f, 1e-5f);
    EXPECT_NEAR(pf->m_AABB.m_max.z, 3 + 0.1f, 1e-5f);
    EXPECT_NE(pf->m_KDOPTree, nullptr);  // fixed non-convex: the k-DOP tree
    EXPECT_EQ(pf->m_OBBTree, nullptr);

    std::unique_ptr<RigidBody> moving(meshBody(g.get(), 1, true, Vector3(0, 0, 0)));
    auto* pm = static_cast<GeometricPrimitive*>(moving->getPrimitives()[0]);
    pm->precomputeCDinfo(0.2f);
    Vector3 c;
    float r = 0;
    GeometryUtil::minSphere(g->m_vertices, g->m_vertex_count, c, r);
    const Vector3 size = pm->m_AABB.m_max - pm->m_AABB.m_min;
    EXPECT_NEAR(size.x, 2 * (r + 0.1f), 1e-4f);
    EXPECT_NEAR(size.y, size.x, 1e-5f);
    EXPECT_NE(pm->m_OBB, nullptr);  // convex: OBB and connectivity
    EXPECT_NE(pm->m_connectivity, nullptr);
    // Turning and moving the body re-centres the cube without changing its size.
    place(moving.get(), Vector3(3, 4, 5), aboutY(0.7f));
    moving->recomputeBoundingVolumes();
    const Vector3 size2 = pm->m_AABB.m_max - pm->m_AABB.m_min;
    EXPECT_NEAR(size2.x, size.x, 1e-5f);
    EXPECT_NEAR((pm->m_AABB.m_min.x + pm->m_AABB.m_max.x) / 2, 3.0f, 1e-4f);
    // Local box, inside test, clone.
    const AABB local = pm->computeLocalAABB();
    EXPECT_NEAR(local.m_max.z, 3.0f, 1e-5f);
    EXPECT_TRUE(pm->insideBody(Vector3(0.5f, 1.5f, -2.5f)));
    EXPECT_FALSE(pm->insideBody(Vector3(1.5f, 0, 0)));
    std::unique_ptr<Primitive> copy(pm->clone(moving.get()));
    EXPECT_EQ(copy->m_ID, Collidable::m_nextFreeID - 1);
    EXPECT_NE(copy->m_ID, pm->m_ID);
    EXPECT_EQ(static_cast<GeometricPrimitive*>(copy.get())->m_OBB, pm->m_OBB);
    // Corners through the world transform.
    const Vector3 w = pm->getWorldFaceVertex(0, 0);
    const Vector3 e = moving->m_transformation.getTransformedPos(g->m_vertices[g->m_triangles[0].m_verts[0]]);
    EXPECT_NEAR((w - e).lengthSqrd(), 0.0f, 1e-10f);
}

TEST(DeterminismTest, TheSameSceneTwiceGivesBitIdenticalContacts) {
    auto run = [] {
        GridHeightField field(
            33, 33, 1.0f, [](float x, float z) { return 1.0f + 0.3f * std::sin(x / 3) * std::cos(z / 5); });
        auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
        std::vector<std::unique_ptr<RigidBody>> bodies;
        InternalCollide d(0.2f);
        bodies.emplace_back(fieldBody(&field, true));
        d.addRigidBody(bodies.back().get());
        for (int i = 0; i < 30; ++i) {
            const float x = 3.0f + 0.9f * static_cast<float>(i % 6) * 4.0f,
                        z = 3.0f + 4.0f * static_cast<float>(i / 6);
            // Centre 0.62 above the surface (y is down): corners come within the tolerance or under it.
            const float y = field.getHeightAt(x, z) - 0.62f;
            bodies.emplace_back(
                meshBody(g.get(), 1, true, Vector3(x, y, z), aboutY(0.1f * static_cast<float>(i))));
            d.addRigidBody(bodies.back().get());
        }
        d.collide(false);
        std::vector<float> out;
        for (const CollisionDetails& c : d.m_RRCollisionList) {
            out.push_back(c.m_contact.m_distance);
            out.push_back(c.m_contact.m_normal.x);
            out.push_back(c.m_contact.m_position.z);
        }
        out.push_back(static_cast<float>(d.m_interpenetrations.size()));
        return out;
    };
    const std::vector<float> a = run(), b = run();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(a.size(), 10u);
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
}
