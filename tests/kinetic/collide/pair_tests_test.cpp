// Pair tests through a detection pass: box against box and height field (fast and triangle paths),
// spheres, planes and fixed meshes, with the outcome rule for contacts, interpenetrations and phantoms.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <vector>

#include "grid_height_field.h"
#include "kinetic/collide/internal_collide.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

// Owns bodies and one detector over them.
struct Scene {
    explicit Scene(float tol) : detector(tol) {}
    ~Scene() {
        for (auto& b : bodies) b.reset();  // shapes die first and leave the detector
    }
    RigidBody* add(RigidBody* b) {
        bodies.emplace_back(b);
        detector.addRigidBody(b);
        return b;
    }
    void pass() {
        detector.resetCollisionLists();
        detector.collide(false);
    }
    InternalCollide detector;
    std::vector<std::unique_ptr<RigidBody>> bodies;
};

GridHeightField flatField(float height) {
    return GridHeightField(11, 11, 1.0f, [height](float, float) { return height; });
}

}  // namespace

TEST(HeightFieldContractTest, CollidePointsWritesDepthsUntilAPointReachesTheSurface) {
    GridHeightField f = flatField(0.0f);  // surface at y = 0, air at y < 0
    float depth[3] = {-1, -1, -1};
    Vector3 normal[3];
    const Vector3 p1[3] = {Vector3(1, -0.2f, 1), Vector3(2, -0.7f, 2), Vector3(3, -0.1f, 3)};
    EXPECT_FALSE(f.collidePoints(p1, 3, 0.5f, depth, normal));
    EXPECT_NEAR(depth[0], 0.2f, 1e-6f);
    EXPECT_EQ(depth[1], FLT_MAX);
    EXPECT_NEAR(depth[2], 0.1f, 1e-6f);
    EXPECT_NEAR(normal[0].y, -1.0f, 1e-6f);
    const Vector3 p2[3] = {Vector3(1, -0.2f, 1), Vector3(2, 0.1f, 2), Vector3(3, -0.3f, 3)};
    depth[2] = -7.0f;
    EXPECT_TRUE(f.collidePoints(p2, 3, 0.5f, depth, normal));
    EXPECT_EQ(depth[2], -7.0f);  // not reached
    // Off the map: height 0 and the normal untouched.
    Vector3 n(0.25f, 0.5f, 0.75f);
    float h = 9.0f;
    EXPECT_FALSE(f.getHeightAndNormalAt(-3.0f, 4.0f, h, n));
    EXPECT_EQ(h, 0.0f);
    EXPECT_EQ(n.x, 0.25f);
}

TEST(PairTest, BoxAboveFastHeightFieldMakesOneRecordPerNearVertex) {
    GridHeightField field = flatField(0.0f);
    Scene s(0.1f);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    s.add(fieldBody(&field, true));
    RigidBody* box = s.add(meshBody(g.get(), 1, true, Vector3(5, -0.52f, 5)));
    s.pass();
    ASSERT_EQ(s.detector.m_RRCollisionList.size(), 4u);  // the four bottom corners
    for (const CollisionDetails& d : s.detector.m_RRCollisionList) {
        EXPECT_EQ(d.m_objectA, box->getPrimitives()[0]);
        EXPECT_NEAR(d.m_contact.m_distance, 0.02f, 1e-5f);
        EXPECT_NEAR(d.m_contact.m_normal.y, -1.0f, 1e-6f);  // from the field up to the box
        EXPECT_NEAR(d.m_contact.m_position.y, -0.01f, 1e-5f);
    }
    EXPECT_TRUE(s.detector.m_interpenetrations.empty());
    // Beyond the tolerance: nothing; touching the surface: an interpenetration.
    place(box, Vector3(5, -0.65f, 5));
    box->recomputeBoundingVolumes();
    s.pass();
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
    place(box, Vector3(5, -0.49f, 5));
    box->recomputeBoundingVolumes();
    s.pass();
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
    ASSERT_EQ(s.detector.m_interpenetrations.size(), 1u);
    EXPECT_EQ(s.detector.m_interpenetrations[0].m_first, box->getPrimitives()[0]);
}

TEST(PairTest, TiltedBoxOnSlopedFieldGetsTheSurfaceNormal) {
    // Surface rising along x with slope 0.25 (upward height = 0.25 x).
    GridHeightField field(11, 11, 1.0f, [](float x, float) { return 0.25f * x; });
    Scene s(0.2f);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    s.add(fieldBody(&field, true));
    // Bottom face at y = -1.55; the surface is at -1.375 under the high edge x = 5.5 (clearance 0.175)
    // and at -1.125 under x = 4.5 (clearance 0.425, beyond the tolerance).
    s.add(meshBody(g.get(), 1, true, Vector3(5, -2.05f, 5)));
    s.pass();
    ASSERT_EQ(s.detector.m_RRCollisionList.size(), 2u);  // both corners on the high edge
    const float inv = 1.0f / std::sqrt(0.25f * 0.25f + 1.0f);
    for (const CollisionDetails& d : s.detector.m_RRCollisionList) {
        EXPECT_NEAR(d.m_contact.m_distance, 0.175f, 1e-5f);
        EXPECT_NEAR(d.m_contact.m_normal.x, -0.25f * inv, 1e-5f);
        EXPECT_NEAR(d.m_contact.m_normal.y, -inv, 1e-5f);
    }
}

TEST(PairTest, BoxAboveTriangulatedHeightFieldKeepsAManifold) {
    GridHeightField field = flatField(0.0f);
    Scene s(0.1f);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    s.add(fieldBody(&field, false));
    RigidBody* box = s.add(meshBody(g.get(), 1, true, Vector3(5.5f, -0.53f, 5.5f)));
    s.pass();
    const auto& list = s.detector.m_RRCollisionList;
    ASSERT_FALSE(list.empty());
    for (const CollisionDetails& d : list) {
        EXPECT_NEAR(d.m_contact.m_distance, 0.03f, 1e-5f);
        EXPECT_NEAR(d.m_contact.m_normal.y, -1.0f, 1e-5f);
    }
    // A second pass over the same pose reports the same contacts (the manifold refreshes in place).
    const size_t n = list.size();
    s.pass();
    EXPECT_EQ(list.size(), n);
    // Pushed into the ground: the first penetrating triangle lists the pair and drops its records.
    place(box, Vector3(5.5f, -0.45f, 5.5f));
    box->recomputeBoundingVolumes();
    s.pass();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(s.detector.m_interpenetrations.size(), 1u);
}

TEST(PairTest, StackedBoxesMakeContactsAtTheGap) {
    Scene s(0.2f);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    RigidBody* lower = s.add(meshBody(g.get(), 1, true, Vector3(0, 0, 0)));
    RigidBody* upper = s.add(meshBody(g.get(), 1, true, Vector3(0.2f, -1.05f, 0.1f)));
    s.pass();
    const auto& list = s.detector.m_RRCollisionList;
    ASSERT_EQ(list.size(), 1u);
    // Equal types: the greater id comes first, so the upper box (created second) is A.
    EXPECT_EQ(list[0].m_objectA, upper->getPrimitives()[0]);
    EXPECT_EQ(list[0].m_objectB, lower->getPrimitives()[0]);
    EXPECT_NEAR(list[0].m_contact.m_distance, 0.05f, 1e-5f);
    EXPECT_NEAR(list[0].m_contact.m_normal.y, -1.0f, 1e-5f);
    EXPECT_NEAR(list[0].m_contact.m_position.y, -0.525f, 1e-5f);
    // Overlapping boxes interpenetrate and make no record.
    place(upper, Vector3(0.2f, -0.9f, 0.1f));
    upper->recomputeBoundingVolumes();
    s.pass();
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(s.detector.m_interpenetrations.size(), 1u);
}

TEST(PairTest, BoxesWhoseBoundingBoxesOverlapButOrientedBoxesDoNotAreNotTested) {
    Scene s(0.05f);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    s.add(meshBody(g.get(), 1, true, Vector3(0, 0, 0)));
    s.add(meshBody(g.get(), 1, true, Vector3(1.3f, 0, 0)));
    s.detector.aabbSweep();
    // The sphere-sized world boxes (half side 0.866 + 0.025) overlap, the boxes themselves are 0.3 apart.
    EXPECT_TRUE(s.detector.getPairList().empty());
    s.pass();
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
}

TEST(PairTest, SpheresByTheAnalyticTest) {
    Scene s(0.1f);
    RigidBody* a = s.add(sphereBody(1.0f, 1, Vector3(0, 0, 0)));
    RigidBody* b = s.add(sphereBody(1.0f, 1, Vector3(2.05f, 0, 0)));
    s.pass();
    const auto& list = s.detector.m_RRCollisionList;
    ASSERT_EQ(list.size(), 1u);
    // The second sphere has the greater id, so it is A and the normal points from the first to it.
    EXPECT_EQ(list[0].m_objectA, b->getPrimitives()[0]);
    EXPECT_NEAR(list[0].m_contact.m_distance, 0.05f, 1e-5f);
    EXPECT_NEAR(list[0].m_contact.m_normal.x, 1.0f, 1e-6f);
    EXPECT_NEAR(list[0].m_contact.m_position.x, 1.025f, 1e-5f);
    EXPECT_EQ(list[0].m_contact.m_pointA.lengthSqrd(), 0.0f);
    // Same centre: an interpenetration, no record.
    place(b, Vector3(0, 0, 0));
    b->recomputeBoundingVolumes();
    s.pass();
    EXPECT_TRUE(list.empty());
    ASSERT_EQ(s.detector.m_interpenetrations.size(), 1u);
    (void)a;
}

TEST(PairTest, PhantomSphereAgainstPlaneReportsOverlapOnly) {
    Scene s(0.1f);
    s.add(planeBody(Vector3(0, -1, 0), 0.0f));  // ground y = 0, solid below (+y)
    RigidBody* ball = s.add(sphereBody(0.5f, 1, Vector3(0, -0.55f, 0)));
    ball->getPrimitives()[0]->m_isPhantom = 1;
    s.pass();
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
    EXPECT_TRUE(s.detector.m_phantomPenetrations.empty());
    place(ball, Vector3(0, -0.45f, 0));
    ball->recomputeBoundingVolumes();
    s.pass();
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
    EXPECT_TRUE(s.detector.m_interpenetrations.empty());
    EXPECT_EQ(s.detector.m_phantomPenetrations.size(), 1u);
    // Not a phantom: the same sphere 0.05 above makes one record with the plane's normal.
    ball->getPrimitives()[0]->m_isPhantom = 0;
    place(ball, Vector3(0, -0.55f, 0));
    ball->recomputeBoundingVolumes();
    s.pass();
    ASSERT_EQ(s.detector.m_RRCollisionList.size(), 1u);
    EXPECT_NEAR(s.detector.m_RRCollisionList[0].m_contact.m_distance, 0.05f, 1e-5f);
    EXPECT_NEAR(s.detector.m_RRCollisionList[0].m_contact.m_normal.y, -1.0f, 1e-6f);
}

TEST(PairTest, BoxOnPlaneKeepsItsPoints) {
    Scene s(0.1f);
    s.add(planeBody(Vector3(0, -1, 0), 0.0f));
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    s.add(meshBody(g.get(), 1, true, Vector3(0, -0.54f, 0)));
    s.pass();
    ASSERT_EQ(s.detector.m_RRCollisionList.size(), 1u);  // the first pass knows one point
    EXPECT_NEAR(s.detector.m_RRCollisionList[0].m_contact.m_distance, 0.04f, 1e-5f);
    EXPECT_NEAR(s.detector.m_RRCollisionList[0].m_contact.m_normal.y, -1.0f, 1e-6f);
}

TEST(PairTest, SphereAndHeightFieldOrHeightFieldAndPlaneMakeNothing) {
    GridHeightField field = flatField(0.0f);
    Scene s(0.1f);
    s.add(fieldBody(&field, true));
    s.add(sphereBody(0.5f, 1, Vector3(5, -0.4f, 5)));  // even sunk into it
    s.pass();
    EXPECT_TRUE(s.detector.m_RRCollisionList.empty());
    EXPECT_TRUE(s.detector.m_interpenetrations.empty());
}

TEST(PairTest, BoxAndSphereOverFixedGroundMesh) {
    Scene s(0.1f);
    auto ground = groundGeometry(5.0f);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    s.add(meshBody(ground.get(), 0, false, Vector3(0, 0, 0)));
    RigidBody* box = s.add(meshBody(g.get(), 1, true, Vector3(1, -0.56f, 1)));
    RigidBody* ball = s.add(sphereBody(0.5f, 1, Vector3(-2, -0.57f, -1)));
    s.pass();
    int boxRecords = 0, ballRecords = 0;
    for (const CollisionDetails& d : s.detector.m_RRCollisionList) {
        if (d.m_objectA == box->getPrimitives()[0]) {
            ++boxRecords;
            EXPECT_NEAR(d.m_contact.m_distance, 0.06f, 1e-5f);
        } else if (d.m_objectA == ball->getPrimitives()[0]) {
            ++ballRecords;
            EXPECT_NEAR(d.m_contact.m_distance, 0.07f, 1e-5f);
            EXPECT_NEAR(d.m_contact.m_normal.y, -1.0f, 1e-5f);
            EXPECT_NEAR(d.m_contact.m_pointB.y, 0.0f, 1e-6f);  // the closest point of the triangle
        }
        EXPECT_NEAR(d.m_contact.m_normal.y, -1.0f, 1e-5f);
    }
    EXPECT_GE(boxRecords, 1);
    EXPECT_EQ(ballRecords, 1);  // one face, not the shared diagonal's second triangle too
}

TEST(PairTest, SphereOverTheSharedEdgeOfTwoTrianglesIsNotCountedTwice) {
    Scene s(0.1f);
    auto ground = groundGeometry(5.0f);
    s.add(meshBody(ground.get(), 0, false, Vector3(0, 0, 0)));
    // The diagonal of the square runs from (5, 0, -5) to (-5, 0, 5); (0, 0, 0) lies on it.
    s.add(sphereBody(0.5f, 1, Vector3(0, -0.56f, 0)));
    s.pass();
    ASSERT_GE(s.detector.m_RRCollisionList.size(), 1u);
    for (const CollisionDetails& d : s.detector.m_RRCollisionList)
        EXPECT_NEAR(d.m_contact.m_distance, 0.06f, 1e-5f);
}
