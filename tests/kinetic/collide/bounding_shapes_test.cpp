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

TEST(KDop14Test, SegmentSlabClipping) {
    KDop14 k(Vector3(0, 0, 0), 1.0f, 0.0f);
    EXPECT_TRUE(k.intersects(Segment(Vector3(-5, 0, 0), Vector3(1, 0, 0), 10)));
    EXPECT_FALSE(k.intersects(Segment(Vector3(-5, 0, 0), Vector3(1, 0, 0), 3)));  // entry beyond the length
    EXPECT_FALSE(k.intersects(Segment(Vector3(5, 0, 0), Vector3(1, 0, 0), 10)));  // exit behind the start
    // Parallel to the x slab: inside it, clipped by the others only; outside it, rejected.
    EXPECT_TRUE(k.intersects(Segment(Vector3(0.5f, -5, 0), Vector3(0, 1, 0), 10)));
    EXPECT_FALSE(k.intersects(Segment(Vector3(1.5f, -5, 0), Vector3(0, 1, 0), 10)));
    Vector3 diag = Vector3(1, 1, 0).getNormalized();
    EXPECT_TRUE(k.intersects(Segment(Vector3(-3, -3, 0), diag, 10)));
    EXPECT_FALSE(k.intersects(Segment(Vector3(-3, -1, 0), diag, 10)));
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

TEST(OBBTest, SeparatingAxisTests) {
    OBB o;
    const Vector3 unit(1, 1, 1);
    Transform t;
    t.setTranslation(Vector3(2, 0, 0));  // faces touch exactly
    EXPECT_FALSE(o.isDisjointFrom(t, unit, unit, 0.0f));
    t.setTranslation(Vector3(2.3f, 0, 0));
    EXPECT_TRUE(o.isDisjointFrom(t, unit, unit, 0.0f));
    EXPECT_FALSE(o.isDisjointFrom(t, unit, unit, 0.2f));  // up to twice the tolerance apart
    EXPECT_TRUE(o.isDisjointFrom(t, unit, unit, 0.1f));
    // Rotated 45 degrees about z: corner reaches 1 + sqrt(2).
    Transform r = rotation(Vector3(0, 0, 1), 0.7853982f, Vector3(2.3f, 0, 0));
    EXPECT_FALSE(o.isDisjointFrom(r, unit, unit, 0.0f));
    r = rotation(Vector3(0, 0, 1), 0.7853982f, Vector3(2.5f, 0, 0));
    EXPECT_TRUE(o.isDisjointFrom(r, unit, unit, 0.0f));
    // Only an edge-edge axis separates these.
    Transform e = rotation(Vector3(1, 1, 0), 0.6154797f, Vector3(0, 0, 0));
    e = rotation(Vector3(0, 0, 1), 0.7853982f) * e;
    e.setTranslation(Vector3(1.9f, 1.9f, 0));
    const bool sep = o.isDisjointFrom(e, unit, unit, 0.0f);
    // The two-transform form agrees and touches product only when not disjoint.
    Transform first = rotation(Vector3(0, 1, 0), 0.3f, Vector3(1, 0, 0));
    Transform second = first.getInverse() * e;
    Transform product;
    product.setTranslation(Vector3(42, 42, 42));
    EXPECT_EQ(o.isDisjointFrom(first, second, product, unit, unit, 0.0f), sep);
    if (sep) {
        EXPECT_EQ(product.getTranslation().x, 42.0f);
    } else {
        EXPECT_NEAR(product.getTranslation().x, 1.9f, 1e-5f);
    }
    Transform far;
    far.setTranslation(Vector3(0, 5, 0));
    product.setTranslation(Vector3(42, 42, 42));
    EXPECT_TRUE(o.isDisjointFrom(Transform_Identity, far, product, unit, unit, 0.0f));
    EXPECT_EQ(product.getTranslation().x, 42.0f);
    EXPECT_FALSE(o.isDisjointFrom(Transform_Identity, t, product, unit, unit, 0.2f));
    EXPECT_NEAR(product.getTranslation().x, 2.3f, 1e-6f);
}
