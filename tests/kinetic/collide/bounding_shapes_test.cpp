// k-DOPs, oriented boxes and axis-aligned boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/geometry.h"
#include "kinetic/collide/kdop14.h"
#include "kinetic/collide/obb.h"
#include "test_shapes.h"

using namespace Kinetic;

namespace {

Transform rotation(const Vector3& axis, float angle, const Vector3& t = Vector3_Zero) {
    Vector3 a = axis.getNormalized();
    Transform x;
    x.setRotation(Quaternion(std::cos(angle / 2), a * std::sin(angle / 2)));
    x.setTranslation(t);
    return x;
}

}  // namespace

TEST(KDop14Test, SphereAndBoxConstructors) {
    KDop14 s(Vector3(1, 2, 3), 1.0f, 0.5f);
    EXPECT_FLOAT_EQ(s.m_min[0], -0.5f);
    EXPECT_FLOAT_EQ(s.m_max[1], 3.5f);
    KDop14 neg(Vector3(0, 0, 0), -2.0f, 0.5f);  // radius + tolerance < 0: bounds swapped
    for (int i = 0; i < KDop14::numAxes; ++i) EXPECT_LE(neg.m_min[i], neg.m_max[i]);
    OBB box;
    box.m_extent = Vector3(1, 2, 3);
    KDop14 k(box, rotation(Vector3(0, 1, 0), 0.0f, Vector3(10, 0, 0)), 0.1f);
    EXPECT_FLOAT_EQ(k.m_min[0], 8.9f);
    EXPECT_FLOAT_EQ(k.m_max[2], 3.1f);
}

TEST(OBBTest, FitAlongPrincipalAxes) {
    // A long thin box 4 x 1 x 0.5 rotated about z by 30 degrees and moved.
    auto g = testing_shapes::boxGeometry(Vector3(2, 0.5f, 0.25f));
    const Transform place = rotation(Vector3(0, 0, 1), 0.5235988f, Vector3(3, -1, 2));
    for (int c = 0; c < 8; ++c) g->m_vertices[c] = place.getTransformedPos(g->m_vertices[c]);
    OBB obb;
    obb.makeOBBOfHull(g.get());
    float e[3] = {obb.m_extent.x, obb.m_extent.y, obb.m_extent.z};
    std::sort(e, e + 3);
    EXPECT_NEAR(e[0], 0.25f, 1e-3f);
    EXPECT_NEAR(e[1], 0.5f, 1e-3f);
    EXPECT_NEAR(e[2], 2.0f, 1e-3f);
    const Vector3 centre = obb.m_BVToBodyTransform.getTranslation();
    EXPECT_NEAR(centre.x, 3.0f, 1e-3f);
    EXPECT_NEAR(centre.y, -1.0f, 1e-3f);
    EXPECT_NEAR(centre.z, 2.0f, 1e-3f);
    // Right-handed axes.
    const Matrix3 r(obb.m_BVToBodyTransform);
    EXPECT_GT(r.getCol(0).cross(r.getCol(1)).dot(r.getCol(2)), 0.0f);
}

TEST(OBBTest, CovarianceAxesAreRightHandedAndEmptyFitIsAPoint) {
    Matrix3 cov(2, 0, 0, 0, 1, 0, 0, 0, 3);
    Vector3 a0, a1, a2;
    ASSERT_TRUE(OBB::getAxesFromCovariance(cov, a0, a1, a2));
    EXPECT_NEAR(a0.cross(a1).dot(a2), 1.0f, 1e-5f);
    // A mesh without triangles must not leave infinite extents.
    OBB obb;
    obb.makeOBBUsingAxes(nullptr, nullptr, 0, a0, a1, a2);
    EXPECT_EQ(obb.m_extent.lengthSqrd(), 0.0f);
    EXPECT_EQ(obb.m_BVToBodyTransform.getTranslation().lengthSqrd(), 0.0f);
}
