// Segment queries: the per-kind tests (height field, plane, sphere, mesh) against hand-worked hits and a
// full scan, the slab test and the degenerate triangles that must not give NaN.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "grid_height_field.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/segment_intersection.h"
#include "kinetic/collide/segment_test.h"
#include "kinetic/collide/triangle_util.h"
#include "kinetic/dynamics/rigid_body.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

// A flat field whose surface is at y = level in its own frame.
GridHeightField flatAt(float level) {
    return GridHeightField(9, 9, 1.0f, [level](float, float) { return -level; });
}

Segment down(float x, float z, float fromY, float toY) {
    return Segment::between(Vector3(x, fromY, z), Vector3(x, toY, z));
}

}  // namespace

TEST(HeightFieldSegmentTest, VerticalSegmentsAgainstAFlatSurface) {
    GridHeightField f = flatAt(4.0f);
    SimpleHit hit;
    ASSERT_TRUE(f.intersectSegment(down(3, 3, 0, 10), hit));  // direction +y
    EXPECT_FLOAT_EQ(hit.m_distance, 4.0f);
    EXPECT_NEAR(hit.m_normal.y, -1.0f, 1e-6f);                // out of the ground, towards -y
    ASSERT_TRUE(f.intersectSegment(down(3, 3, 10, 0), hit));  // direction -y
    EXPECT_FLOAT_EQ(hit.m_distance, 6.0f);
    SimpleHit none;
    none.m_distance = 42.0f;
    EXPECT_FALSE(f.intersectSegment(down(3, 3, 0, 3), none));  // ends short of the surface
    EXPECT_FLOAT_EQ(none.m_distance, 42.0f);
    EXPECT_EQ(none.m_friction, -1.0f);  // the field never writes the friction
}

// Plane, sphere and convex box: the entry distance and outward normal of the closest hit, which also
// shortens the query to it; no hit (and no NaN) from inside, short of the shape or within a plane.
TEST(PrimitiveSegmentTest, PlaneSphereAndBoxEntries) {
    std::unique_ptr<RigidBody> plane(planeBody(Vector3(0, -1, 0), 0.0f));  // y = 0
    plane->m_friction = 0.7f;
    std::unique_ptr<RigidBody> ball(sphereBody(1.0f, 1.0f, Vector3(5, 0, 0)));
    auto g = boxGeometry(Vector3(1, 1, 1));
    std::unique_ptr<RigidBody> box(meshBody(g.get(), 1.0f, true, Vector3(0, 0, 0)));
    ball->getPrimitives()[0]->precomputeCDinfo(0.0f);
    box->getPrimitives()[0]->precomputeCDinfo(0.0f);  // a mesh is only cast against once it has its box
    const float kAny = NAN;
    const struct {
        RigidBody* body;
        Vector3 from, to;
        float distance;  // NaN: no hit
        float normalX;   // NaN: not checked
    } cases[] = {
        {plane.get(), Vector3(1, -2, 1), Vector3(1, 2, 1), 2.0f, kAny},
        {plane.get(), Vector3(1, 2, 1), Vector3(1, -2, 1), 2.0f, kAny},
        {plane.get(), Vector3(1, -3, 1), Vector3(1, -1, 1), kAny, kAny},
        {plane.get(), Vector3(0, 0, 0), Vector3(5, 0, 0), kAny, kAny},  // 0/0 in the plane
        {ball.get(), Vector3(0, 0, 0), Vector3(10, 0, 0), 4.0f, -1.0f},
        {ball.get(), Vector3(5, 0, 0), Vector3(10, 0, 0), kAny, kAny},  // from the centre
        {ball.get(), Vector3(0, 0, 0), Vector3(3.9f, 0, 0), kAny, kAny},
        {box.get(), Vector3(-5, 0.2f, 0.3f), Vector3(5, 0.2f, 0.3f), 4.0f, -1.0f},  // the face it entered
        {box.get(), Vector3(-5, 3, 0), Vector3(5, 3, 0), kAny, kAny},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from.x << "," << c.from.y << " to " << c.to.x << "," << c.to.y);
        const Primitive* p = c.body->getPrimitives()[0];
        ClosestHitSegmentTest t(Segment::between(c.from, c.to));
        const bool hit = p->intersectionTest(t);
        EXPECT_EQ(hit, !std::isnan(c.distance));
        EXPECT_FALSE(std::isnan(t.m_currentSegment.m_length));
        if (!hit) {
            EXPECT_FALSE(t.m_isTestValid);
            continue;
        }
        EXPECT_NEAR(t.m_hit.m_distance, c.distance, 1e-5f);
        EXPECT_NEAR(t.m_currentSegment.m_length, c.distance, 1e-5f);
        EXPECT_EQ(t.m_hit.m_primitive, p);
        EXPECT_FLOAT_EQ(t.m_hit.m_friction, c.body->m_friction);
        if (!std::isnan(c.normalX)) {
            EXPECT_NEAR(t.m_hit.m_normal.x, c.normalX, 1e-5f);
        }
    }
}

TEST(PrimitiveSegmentTest, ZeroAreaTrianglesAndSegmentsInATrianglesPlaneGiveNoNaN) {
    auto g = std::make_unique<Geometry>();
    const Vector3 v[6] = {Vector3(0, 0, 0),   Vector3(1, 0, 0),  Vector3(2, 0, 0),  // collinear: zero area
                          Vector3(-1, 1, -1), Vector3(1, 1, -1), Vector3(0, 1, 1)};
    g->addVertices(v, 6);
    const TriangleIndices t[2] = {tri(0, 1, 2), tri(3, 4, 5)};
    g->addTriangles(t, 2);
    std::unique_ptr<RigidBody> b(meshBody(g.get(), 0.0f, false, Vector3(0, 0, 0)));
    Primitive* p = b->getPrimitives()[0];
    p->precomputeCDinfo(0.0f);
    ClosestHitSegmentTest along(Segment::between(Vector3(-1, 0, 0), Vector3(3, 0, 0)));
    EXPECT_FALSE(p->intersectionTest(along));
    ClosestHitSegmentTest inPlane(Segment::between(Vector3(-0.5f, 1, 0), Vector3(0.5f, 1, 0)));
    EXPECT_FALSE(p->intersectionTest(inPlane));
    EXPECT_FALSE(std::isnan(inPlane.m_currentSegment.m_length));
    ClosestHitSegmentTest real(down(0, 0, 3, -3));
    ASSERT_TRUE(p->intersectionTest(real));
    EXPECT_NEAR(real.m_hit.m_distance, 2.0f, 1e-5f);
}

TEST(SegmentSlabTest, PlaneConstantAndPointInTriangle) {
    // Normal (C - B) x (A - B) = (0, -1, 0) for this triangle at y = 2: n . A = -2.
    const Vector3 v[3] = {Vector3(0, 2, 0), Vector3(1, 2, 0), Vector3(0, 2, 1)};
    EXPECT_FLOAT_EQ(TriangleUtil::calcPlaneConstant(v[0], v[1], v[2]), -2.0f);
    EXPECT_EQ(TriangleUtil::calcPlaneConstant(v[0], v[0], v[1]), 0.0f);  // zero area: zero normal
    const TriangleIndices t = tri(0, 1, 2);
    EXPECT_TRUE(pointInsideTriangle(Vector3(0.2f, 2, 0.2f), v, t));
    EXPECT_TRUE(pointInsideTriangle(Vector3(0.5f, 2, 0.0f), v, t));  // on an edge
    EXPECT_FALSE(pointInsideTriangle(Vector3(0.8f, 2, 0.8f), v, t));
}

TEST(SegmentSlabTest, ParallelAxesAndTheSegmentsOwnBox) {
    const AABB box(Vector3(0, 0, 0), Vector3(1, 1, 1));
    // Along x, parallel to y and z (tiny components of either sign): decided by the start's y and z.
    EXPECT_TRUE(
        AABBSegmentIntersectionTest(Segment(Vector3(-1, 0.5f, 0.5f), Vector3(1, 5e-5f, -5e-5f), 3), box));
    EXPECT_FALSE(
        AABBSegmentIntersectionTest(Segment(Vector3(-1, 1.5f, 0.5f), Vector3(1, -5e-5f, 0), 3), box));
    // Its own box misses: rejected whatever the slabs say.
    EXPECT_FALSE(AABBSegmentIntersectionTest(Segment(Vector3(-3, 0.5f, 0.5f), Vector3(1, 0, 0), 1), box));
    // The halved parameters: the far plane is reached at 4 along, the near one at 1 with length 1.5.
    EXPECT_TRUE(AABBSegmentIntersectionTest(Segment(Vector3(-1, 0.5f, 0.5f), Vector3(1, 0, 0), 1.5f), box));
    // Behind the start.
    EXPECT_FALSE(AABBSegmentIntersectionTest(Segment(Vector3(2, 0.5f, 0.5f), Vector3(1, 0, 0), 3), box));
}

namespace {

// Nearest crossing of the vertical segment through every triangle, by brute force.
float nearestByScan(const Geometry& g, const Vector3& offset, float x, float z) {
    float best = 1e9f;
    for (int i = 0; i < g.m_triangle_count; ++i) {
        float d, u, w;
        const TriangleIndices& t = g.m_triangles[i];
        if (TriangleUtil::rayIntersect(d, u, w, Vector3(x, -5, z) - offset, Vector3(0, 1, 0),
                                       g.m_vertices[t.m_verts[0]], g.m_vertices[t.m_verts[1]],
                                       g.m_vertices[t.m_verts[2]], false) &&
            d >= 0 && d <= 10 && u >= 0 && w >= 0 && u + w <= 1)
            best = std::min(best, d);
    }
    return best;
}

}  // namespace

TEST(PrimitiveSegmentTest, MeshTreesFindTheSameNearestHitAsAFullScan) {
    auto g = bumpyGrid(12, 1.0f);
    // Fixed: searched through its k-DOP tree; movable: through its OBB tree.
    for (int fixed = 0; fixed < 2; ++fixed) {
        const Vector3 offset(1.0f, 0.5f, -2.0f);
        std::unique_ptr<RigidBody> b(meshBody(g.get(), fixed ? 0.0f : 1.0f, false, offset));
        auto* p = static_cast<GeometricPrimitive*>(b->getPrimitives()[0]);
        p->precomputeCDinfo(0.2f);
        if (fixed)
            ASSERT_NE(p->m_KDOPTree, nullptr);
        else
            ASSERT_NE(p->m_OBBTree, nullptr);
        int hits = 0;
        for (float x : {1.3f, 2.9f, 5.5f, 8.25f, 11.6f, 14.0f})
            for (float z : {-1.5f, 0.4f, 3.3f, 7.7f, 9.95f}) {
                ClosestHitSegmentTest q(down(x, z, -5, 5));
                const bool hit = p->intersectionTest(q);
                const float expected = nearestByScan(*g, offset, x, z);
                ASSERT_EQ(hit, expected < 1e8f) << x << " " << z;
                if (!hit) continue;
                ++hits;
                EXPECT_NEAR(q.m_hit.m_distance, expected, 1e-4f) << x << " " << z;
                EXPECT_GT(q.m_hit.m_normal.y, 0.0f);  // (C - B) x (A - B) of this winding faces +y
            }
        EXPECT_GT(hits, 10);
    }
}
