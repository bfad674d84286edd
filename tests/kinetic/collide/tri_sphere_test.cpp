// Sphere against triangle and the filter of contacts on inner mesh vertices and edges; the mesh
// signature.
#include <gtest/gtest.h>

#include <vector>

#include "kinetic/collide/bv_data_registry.h"
#include "kinetic/collide/internal_collide_util.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

TEST(TriSphereTest, ContactsOnInnerVerticesAndEdgesAreRejected) {
    // Two triangles folded along the edge (0,1) - (0,2): a valley whose far side rises (y is down, so
    // rising means smaller y).
    const Vector3 v[4] = {Vector3(0, 0, 0), Vector3(0, 0, 2), Vector3(2, 0, 0), Vector3(-2, -1, 0)};
    const TriangleIndices flat = tri(0, 1, 2), wall = tri(0, 3, 1);
    std::vector<const TriangleIndices*> list = {&flat, &wall};
    CollisionDetails c;
    c.m_contact.m_normal = Vector3(0, -1, 0);  // up out of the flat triangle
    c.m_contact.m_pointB = Vector3(0, 0, 1);   // on the shared edge
    // The face inside is always valid.
    EXPECT_TRUE(InternalCollideUtil::isValidTriContact(c, &flat, v, 2, list, Transform_Identity));
    // On the shared edge of the flat triangle (corners 0 and 1: code 1 + 0 + 9 = 10): the wall's third
    // vertex lies 1 above along the normal, so the contact is inner.
    EXPECT_FALSE(InternalCollideUtil::isValidTriContact(c, &flat, v, 10, list, Transform_Identity));
    // With the wall folded down instead, the edge is a ridge and the contact is real.
    const Vector3 w[4] = {v[0], v[1], v[2], Vector3(-2, 1, 0)};
    EXPECT_TRUE(InternalCollideUtil::isValidTriContact(c, &flat, w, 10, list, Transform_Identity));
    // A vertex contact (corner 0, code 0): the wall's edge from vertex 0 rises along the normal.
    c.m_contact.m_pointB = Vector3(0, 0, 0);
    EXPECT_FALSE(InternalCollideUtil::isValidTriContact(c, &flat, v, 0, list, Transform_Identity));
    EXPECT_TRUE(InternalCollideUtil::isValidTriContact(c, &flat, w, 0, list, Transform_Identity));
    // Null entries of the list are skipped.
    std::vector<const TriangleIndices*> withNull = {nullptr, &flat};
    EXPECT_TRUE(InternalCollideUtil::isValidTriContact(c, &flat, v, 0, withNull, Transform_Identity));
}

TEST(GeometryIdTest, SignatureOfVertexBytes) {
    // Worked by hand over the little-endian bytes of each float taken as signed bytes:
    // h = (h * 33 + b) mod 100000007.
    Geometry g;
    const Vector3 v[2] = {Vector3(1.0f, 0.0f, 0.0f), Vector3(-2.5f, 0.5f, 3.0f)};
    g.addVertices(v, 2);
    EXPECT_EQ(getGeometryID(&g), 5714548u);
    Geometry empty;
    EXPECT_EQ(getGeometryID(&empty), 0u);
}
