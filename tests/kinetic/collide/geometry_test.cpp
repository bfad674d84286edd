// Meshes refusing bad triangles, enclosing spheres, the point-in-mesh test and line-triangle intersection.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kinetic/collide/geometry.h"
#include "kinetic/collide/geometry_util.h"
#include "kinetic/collide/triangle_util.h"
#include "test_shapes.h"

using namespace Kinetic;

namespace {

// Unit cube [0,1]^3 with outward winding.
std::unique_ptr<Geometry> makeCube() {
    auto g = testing_shapes::boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    for (int i = 0; i < 8; ++i) g->m_vertices[i] = g->m_vertices[i] + Vector3(0.5f, 0.5f, 0.5f);
    return g;
}

bool enclosesAll(const std::vector<Vector3>& pts, const Vector3& c, float r) {
    for (const Vector3& p : pts)
        if ((p - c).length() > r * 1.0001f + 1e-5f) return false;
    return true;
}

}  // namespace

TEST(GeometryTest, TrianglesNamingMissingVerticesAreRefused) {
    Geometry g;
    const Vector3 v[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0)};
    g.addVertices(v, 3);
    const TriangleIndices bad[2] = {{{0, 1, 2}}, {{0, 1, 3}}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(g.addTriangles(bad, 2), -1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("*** WARNING ["), std::string::npos);
    EXPECT_NE(err.find("names vertex 3 of 3"), std::string::npos);
    EXPECT_EQ(g.getNumTriangles(), 0);  // nothing of the batch is kept
    Geometry empty;
    const TriangleIndices zero[1] = {{{0, 0, 0}}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(empty.addTriangles(zero, 1), -1);  // a mesh without vertices takes no triangles
    testing::internal::GetCapturedStderr();
}

TEST(GeometryUtilTest, MinSphereOfNoneFewAndManyPoints) {
    Vector3 c(9, 9, 9);
    float r = 5;
    GeometryUtil::minSphere(nullptr, 0, c, r);  // must not read a first point
    EXPECT_EQ(c.lengthSqrd(), 0.0f);
    EXPECT_EQ(r, 0.0f);
    const Vector3 two[2] = {Vector3(1, 1, 1), Vector3(3, 1, 1)};
    GeometryUtil::minSphere(two, 1, c, r);
    EXPECT_EQ(c.x, 1.0f);
    EXPECT_EQ(r, 0.0f);
    GeometryUtil::minSphere(two, 2, c, r);
    EXPECT_FLOAT_EQ(c.x, 2.0f);
    EXPECT_FLOAT_EQ(r, 1.0f);
    std::vector<Vector3> pts;
    uint32_t s = 99;
    auto rnd = [&s] {
        s = s * 1103515245u + 12345u;
        return static_cast<float>((s >> 8) & 0xFFFF) / 65535.0f;
    };
    for (int i = 0; i < 200; ++i) {
        const float x = rnd(), y = rnd(), z = rnd();
        pts.emplace_back(x * 4 - 2, y * 2, z - 0.5f);
    }
    Vector3 c1, c2;
    float r1, r2;
    GeometryUtil::minSphere(pts.data(), static_cast<int>(pts.size()), c1, r1);
    GeometryUtil::minSphere(pts.data(), static_cast<int>(pts.size()), c2, r2);
    EXPECT_EQ(r1, r2);
    EXPECT_EQ(c1.x, c2.x);
    EXPECT_TRUE(enclosesAll(pts, c1, r1));
    // Not far from optimal: the box half-diagonal bounds it.
    EXPECT_LE(r1, std::sqrt(4.0f + 1.0f + 0.25f) * 1.01f);
    // The eight corners of the unit cube: the circumsphere.
    GeometryUtil::minSphere(makeCube()->getVertices(), 8, c1, r1);
    EXPECT_NEAR(r1, std::sqrt(3.0f) / 2, 1e-4f);
    EXPECT_NEAR(c1.x, 0.5f, 1e-4f);
}

TEST(TriangleUtilTest, RayIntersectWithAndWithoutCull) {
    const Vector3 o(0.25f, 0.25f, 1), d(0, 0, -1);
    const Vector3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
    float t, u, v;
    for (bool cull : {false, true}) {
        ASSERT_TRUE(TriangleUtil::rayIntersect(t, u, v, o, d, a, b, c, cull));
        EXPECT_FLOAT_EQ(t, 1.0f);
        EXPECT_FLOAT_EQ(u, 0.25f);
        EXPECT_FLOAT_EQ(v, 0.25f);
    }
    ASSERT_TRUE(TriangleUtil::rayIntersect(t, u, v, o, d, a, c, b, false));
    EXPECT_FLOAT_EQ(t, 1.0f);
    EXPECT_FALSE(TriangleUtil::rayIntersect(t, u, v, o, d, a, c, b, true));
    // Behind the origin still hits (the whole line counts); outside the triangle misses.
    ASSERT_TRUE(TriangleUtil::rayIntersect(t, u, v, Vector3(0.25f, 0.25f, -2), d, a, b, c, false));
    EXPECT_FLOAT_EQ(t, -2.0f);
    EXPECT_FALSE(TriangleUtil::rayIntersect(t, u, v, Vector3(0.8f, 0.8f, 1), d, a, b, c, false));
    // Parallel line.
    EXPECT_FALSE(TriangleUtil::rayIntersect(t, u, v, o, Vector3(1, 0, 0), a, b, c, false));
}

TEST(GeometryUtilTest, PointInsideClosedMesh) {
    const auto cube = makeCube();
    const Vector3 dir(1, 0, 0);
    EXPECT_TRUE(GeometryUtil::isPointInside(cube.get(), Vector3(0.5f, 0.4f, 0.3f), dir, false));
    // Outside along the cast line: only one side hit.
    EXPECT_FALSE(GeometryUtil::isPointInside(cube.get(), Vector3(-1, 0.4f, 0.3f), dir, false));
    EXPECT_FALSE(GeometryUtil::isPointInside(cube.get(), Vector3(-1, 0.4f, 0.3f), dir, true));
    EXPECT_FALSE(GeometryUtil::isPointInside(cube.get(), Vector3(2, 0.4f, 0.3f), dir, false));
    // Off the cast line entirely: no hit at all.
    EXPECT_FALSE(GeometryUtil::isPointInside(cube.get(), Vector3(0.5f, 3, 0.3f), dir, true));
    // An open mesh (one face): one-sided answer only when accepted.
    Geometry face;
    const Vector3 v[3] = {Vector3(1, -1, -1), Vector3(1, 2, -1), Vector3(1, -1, 2)};
    face.addVertices(v, 3);
    const TriangleIndices t[1] = {{{0, 1, 2}}};
    face.addTriangles(t, 1);
    const bool vote = GeometryUtil::isPointInside(&face, Vector3(0, 0, 0), dir, true);
    EXPECT_FALSE(GeometryUtil::isPointInside(&face, Vector3(0, 0, 0), dir, false));
    const Vector3 n = (v[2] - v[1]).cross(v[0] - v[1]);
    EXPECT_EQ(vote, (Vector3(0, 0, 0) - v[0]).dot(n) <= 0);
}
