// The manifold of a convex mesh against triangles: stable contacts close together merge when their
// normals agree (within about 37 degrees) and stay apart otherwise.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "kinetic/collide/internal_collide.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

// A field that hands out fixed triangles whatever region is asked for.
class TriangleField : public HeightField {
public:
    TriangleField() { m_size = Vector3(10, -2, 10); }
    float getHeightAt(float, float) const override { return 0.0f; }
    bool getHeightAndNormalAt(float, float, float& h, Vector3&) const override {
        h = 0.0f;
        return true;
    }
    bool collidePoints(const Vector3*, int, float, float*, Vector3*) const override { return false; }
    void polygonizeRegion(const AABB&, std::vector<TriangleIndices>& t,
                          std::vector<Vector3>& v) const override {
        for (size_t i = 0; i < m_points.size(); ++i) v.push_back(m_points[i]);
        for (size_t i = 0; i + 2 < m_points.size(); i += 3) t.push_back(tri(int(i), int(i + 1), int(i + 2)));
    }
    void getRowHeights(int, float*) const override {}
    // A small triangle under the point p, tilted by angle about the z axis through p.
    void addTilted(const Vector3& p, float angle) {
        const float c = std::cos(angle), s = std::sin(angle);
        const Vector3 local[3] = {Vector3(-0.2f, 0, -0.2f), Vector3(0.2f, 0, -0.2f), Vector3(0, 0, 0.25f)};
        for (const Vector3& q : local)
            m_points.push_back(p + Vector3(c * q.x - s * q.y, s * q.x + c * q.y, q.z));
    }
    std::vector<Vector3> m_points;
};

size_t contactsFor(const std::vector<float>& angles, std::vector<CollisionDetails>* out = nullptr) {
    TriangleField field;
    // The box's lowest corner is rotated down to (5, 0.0, 5); the triangles sit 0.05 below it.
    for (float a : angles) field.addTilted(Vector3(5, 0.05f, 5), a);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    std::unique_ptr<RigidBody> ground(fieldBody(&field, false, Vector3_Zero));
    // Tip the box onto one corner: 45 degrees about z then about x.
    const Quaternion q = Quaternion(std::cos(0.3926991f), std::sin(0.3926991f), 0, 0) *
                         Quaternion(std::cos(0.3926991f), 0, 0, std::sin(0.3926991f));
    std::unique_ptr<RigidBody> box(meshBody(g.get(), 1, true, Vector3_Zero, q));
    // Find the lowest corner in world space and move the box so that it sits at (5, 0, 5).
    Vector3 low(0, -1e9f, 0);
    for (int i = 0; i < 8; ++i) {
        const Vector3 w = box->m_transformation.getTransformedPos(g->m_vertices[i]);
        if (w.y > low.y) low = w;
    }
    place(box.get(), Vector3(5, 0, 5) - low, q);
    InternalCollide d(0.1f);
    d.addRigidBody(ground.get());
    d.addRigidBody(box.get());
    d.collide(false);
    if (out) *out = d.m_RRCollisionList;
    return d.m_RRCollisionList.size();
}

}  // namespace

TEST(ManifoldTest, NearbyContactsMergeAt10DegreesAndStayApartAt40) {
    std::vector<CollisionDetails> one;
    ASSERT_EQ(contactsFor({0.0f}, &one), 1u);
    EXPECT_NEAR(one[0].m_contact.m_distance, 0.05f, 1e-4f);
    EXPECT_NEAR(one[0].m_contact.m_normal.y, -1.0f, 1e-4f);
    // Two triangles under the same corner, 10 degrees apart: one manifold point.
    EXPECT_EQ(contactsFor({0.0f, 0.17453293f}), 1u);
    // 40 degrees apart: normals' dot product 0.77 is not above 0.8, so both points stay.
    EXPECT_EQ(contactsFor({0.0f, 0.6981317f}), 2u);
}

TEST(ManifoldTest, ZeroAreaTrianglesGiveNoNaN) {
    TriangleField field;
    // A collapsed triangle and a sliver of three collinear points under the box.
    for (const Vector3& p : {Vector3(5, 0.55f, 5), Vector3(5, 0.55f, 5), Vector3(5, 0.55f, 5),
                             Vector3(4.8f, 0.56f, 5), Vector3(5, 0.56f, 5), Vector3(5.2f, 0.56f, 5)})
        field.m_points.push_back(p);
    auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    std::unique_ptr<RigidBody> ground(fieldBody(&field, false, Vector3_Zero));
    std::unique_ptr<RigidBody> box(meshBody(g.get(), 1, true, Vector3(5, 0, 5)));
    std::unique_ptr<RigidBody> ball(sphereBody(0.5f, 1, Vector3(5, 0, 5.1f)));
    InternalCollide d(0.1f);
    d.addRigidBody(ground.get());
    d.addRigidBody(box.get());
    d.collide(false);
    ASSERT_FALSE(d.m_RRCollisionList.empty());
    for (const CollisionDetails& c : d.m_RRCollisionList) {
        EXPECT_TRUE(std::isfinite(c.m_contact.m_distance));
        EXPECT_TRUE(std::isfinite(c.m_contact.m_normal.x + c.m_contact.m_normal.y + c.m_contact.m_normal.z));
        EXPECT_TRUE(
            std::isfinite(c.m_contact.m_position.x + c.m_contact.m_position.y + c.m_contact.m_position.z));
        EXPECT_NEAR(c.m_contact.m_distance, 0.05f, 0.011f);
    }
    // A sphere against a moving mesh made of the same degenerate triangles (the full-scan path).
    Geometry sliver;
    sliver.addVertices(field.m_points.data(), 6);
    const TriangleIndices t[2] = {tri(0, 1, 2), tri(3, 4, 5)};
    sliver.addTriangles(t, 2);
    std::unique_ptr<RigidBody> mesh(meshBody(&sliver, 1, false, Vector3_Zero));
    InternalCollide e(0.1f);
    e.addRigidBody(mesh.get());
    e.addRigidBody(ball.get());
    place(ball.get(), Vector3(5, 0.0f, 5));
    ball->recomputeBoundingVolumes();
    e.collide(false);
    for (const CollisionDetails& c : e.m_RRCollisionList) {
        EXPECT_TRUE(std::isfinite(c.m_contact.m_distance));
        EXPECT_TRUE(std::isfinite(c.m_contact.m_normal.y));
    }
    EXPECT_FALSE(e.m_RRCollisionList.empty());
}
