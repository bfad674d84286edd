// Closest points of a point and a triangle, and of two triangles, against hand-worked answers.
#include <gtest/gtest.h>

#include "kinetic/collide/tt_intersection.h"

using namespace Kinetic;

namespace {

const Vector3 kTri[3] = {Vector3(0, 0, 0), Vector3(3, 0, 0), Vector3(0, 3, 0)};

void expectVec(const Vector3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

}  // namespace

TEST(ClosestPointTriTest, PointAboveTheFaceGivesItsFootAndTheFaceCode) {
    Vector3 r;
    int code = -1;
    EXPECT_NEAR(TTintersection::closestPointTri(Vector3(1, 1, 2), kTri, r, code), 2.0f, 1e-6f);
    expectVec(r, 1, 1, 0);
    EXPECT_EQ(code, 2);
    // Below the face works the same way.
    EXPECT_NEAR(TTintersection::closestPointTri(Vector3(1, 1, -0.5f), kTri, r, code), 0.5f, 1e-6f);
    EXPECT_EQ(code, 2);
}

TEST(ClosestPointTriTest, PointsBeyondCornersAndEdgesGiveThoseFeatures) {
    Vector3 r;
    int code = -1;
    // Beyond each corner: that corner, codes 0, 3, 6.
    EXPECT_NEAR(TTintersection::closestPointTri(Vector3(-1, -1, 0), kTri, r, code), std::sqrt(2.0f), 1e-5f);
    expectVec(r, 0, 0, 0);
    EXPECT_EQ(code, 0);
    TTintersection::closestPointTri(Vector3(5, -1, 1), kTri, r, code);
    expectVec(r, 3, 0, 0);
    EXPECT_EQ(code, 3);
    TTintersection::closestPointTri(Vector3(-1, 5, 0), kTri, r, code);
    expectVec(r, 0, 3, 0);
    EXPECT_EQ(code, 6);
    // Beside an edge: the foot on it, codes 10 (edge 0), 22 (edge 1), 7 (edge 2).
    EXPECT_NEAR(TTintersection::closestPointTri(Vector3(1, -2, 0), kTri, r, code), 2.0f, 1e-5f);
    expectVec(r, 1, 0, 0);
    EXPECT_EQ(code, 10);
    TTintersection::closestPointTri(Vector3(3, 3, 0), kTri, r, code);
    expectVec(r, 1.5f, 1.5f, 0);
    EXPECT_EQ(code, 22);
    TTintersection::closestPointTri(Vector3(-2, 1, 0), kTri, r, code);
    expectVec(r, 0, 1, 0);
    EXPECT_EQ(code, 7);
}

TEST(ClosestPointTriTest, PointOnAnEdgeGivesZeroWithEdgeTwosPoint) {
    Vector3 r;
    int code = -1;
    // On edge 0: distance 0, but the point reported is edge 2's closest point (the sphere test discards
    // contacts this close, so only the distance matters).
    EXPECT_EQ(TTintersection::closestPointTri(Vector3(1, 0, 0), kTri, r, code), 0.0f);
    expectVec(r, 0, 0, 0);
    EXPECT_EQ(code, 7);  // the end of edge 2 at parameter exactly 1 still counts as the edge
    // On edge 2 the reported point is right.
    EXPECT_EQ(TTintersection::closestPointTri(Vector3(0, 1, 0), kTri, r, code), 0.0f);
    expectVec(r, 0, 1, 0);
}

TEST(ClosestPointTriTest, CollapsedTriangleGivesItsPointAndNoNaN) {
    const Vector3 p(2, 2, 2);
    const Vector3 t[3] = {p, p, p};
    Vector3 r;
    int code = -1;
    const float d = TTintersection::closestPointTri(Vector3(2, 2, 5), t, r, code);
    EXPECT_NEAR(d, 3.0f, 1e-6f);
    expectVec(r, 2, 2, 2);
    // A zero-area sliver (three collinear points) gives a finite answer too.
    const Vector3 line[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(2, 0, 0)};
    const float d2 = TTintersection::closestPointTri(Vector3(1, 1, 0), line, r, code);
    EXPECT_TRUE(std::isfinite(d2));
    EXPECT_NEAR(d2, 1.0f, 1e-6f);
}

TEST(ClosestTriTriTest, ParallelStackedTrianglesGiveThePerpendicularDistance) {
    const Vector3 s[3] = {Vector3(0, 0, 0), Vector3(4, 0, 0), Vector3(0, 4, 0)};
    const Vector3 t[3] = {Vector3(0.5f, 0.5f, 1.5f), Vector3(1.5f, 0.5f, 1.5f), Vector3(0.5f, 1.5f, 1.5f)};
    Vector3 p, q;
    EXPECT_NEAR(TTintersection::closestTriTri(s, t, p, q), 1.5f, 1e-5f);
    EXPECT_NEAR((q - p).z, 1.5f, 1e-5f);
    EXPECT_NEAR(p.z, 0.0f, 1e-6f);
}

TEST(ClosestTriTriTest, CrossingTrianglesGiveZero) {
    const Vector3 s[3] = {Vector3(-1, -1, 0), Vector3(2, -1, 0), Vector3(-1, 2, 0)};
    const Vector3 t[3] = {Vector3(0, 0, -1), Vector3(0, 0, 1), Vector3(0.2f, 0.2f, 1)};
    Vector3 p, q;
    EXPECT_EQ(TTintersection::closestTriTri(s, t, p, q), 0.0f);
}

TEST(ClosestTriTriTest, SharedVertexGivesZeroAtThatVertex) {
    const Vector3 s[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0)};
    const Vector3 t[3] = {Vector3(0, 0, 0), Vector3(-1, 0, 1), Vector3(0, -1, 1)};
    Vector3 p, q;
    EXPECT_NEAR(TTintersection::closestTriTri(s, t, p, q), 0.0f, 1e-6f);
    expectVec(p, 0, 0, 0);
    expectVec(q, 0, 0, 0);
}

TEST(ClosestTriTriTest, VertexOverTheFaceGivesItsFoot) {
    const Vector3 s[3] = {Vector3(0, 0, 0), Vector3(4, 0, 0), Vector3(0, 4, 0)};
    // T points down at S's inside with one vertex.
    const Vector3 t[3] = {Vector3(1, 1, 0.25f), Vector3(0, 2, 3), Vector3(2, 0, 3)};
    Vector3 p, q;
    EXPECT_NEAR(TTintersection::closestTriTri(s, t, p, q), 0.25f, 1e-5f);
    expectVec(p, 1, 1, 0);
    expectVec(q, 1, 1, 0.25f);
    // Roles exchanged: the vertex of the first triangle over the second's face.
    EXPECT_NEAR(TTintersection::closestTriTri(t, s, p, q), 0.25f, 1e-5f);
    expectVec(p, 1, 1, 0.25f);
    expectVec(q, 1, 1, 0);
}

TEST(ClosestTriTriTest, SkewEdgesGiveTheirCommonPerpendicular) {
    const Vector3 s[3] = {Vector3(-1, 0, 0), Vector3(1, 0, 0), Vector3(0, 0, -1)};
    const Vector3 t[3] = {Vector3(0, -1, 2), Vector3(0, 1, 2), Vector3(0, 0, 3)};
    Vector3 p, q;
    EXPECT_NEAR(TTintersection::closestTriTri(s, t, p, q), 2.0f, 1e-5f);
    expectVec(p, 0, 0, 0);
    expectVec(q, 0, 0, 2);
}
