// Sphere, plane and height-field primitives on rigid bodies: ids, boxes, mass properties, clones.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>

#include "grid_height_field.h"
#include "kinetic/collide/height_field_primitive.h"
#include "kinetic/collide/planar_primitive.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/rigid_body.h"

using namespace Kinetic;

namespace {

SphericalPrimitiveBlueprint sphere(float r, float mass, const Vector3& at) {
    SphericalPrimitiveBlueprint bp;
    bp.m_radius = r;
    bp.m_mass = mass;
    bp.m_offsetTransform.setTranslation(at);
    return bp;
}

}  // namespace

TEST(PrimitiveTest, SphereMassPropertiesAndInsideTest) {
    RigidBody body;
    Primitive* p = body.addPrimitive(sphere(2, 3, Vector3_Zero));
    Vector3 com;
    Matrix3 inertia;
    float volume = 0;
    ASSERT_TRUE(p->getMassProperties(com, inertia, volume));
    EXPECT_NEAR(volume, 33.51f, 0.01f);
    EXPECT_NEAR(inertia(0, 0), 4.8f, 1e-4f);
    EXPECT_NEAR(inertia(2, 2), 4.8f, 1e-4f);
    EXPECT_EQ(inertia(0, 1), 0.0f);
    EXPECT_TRUE(p->insideBody(Vector3(1.8f, 0, 0)));
    EXPECT_FALSE(p->insideBody(Vector3(0, 2.0f, 0)));
    AABB local = p->computeLocalAABB();
    EXPECT_EQ(local.m_min.x, -2.0f);
    EXPECT_EQ(local.m_max.z, 2.0f);
}

TEST(PrimitiveTest, PlaneBoxes) {
    RigidBody ground;
    PlanarPrimitiveBlueprint bp;
    bp.m_normal = Vector3(0, 2, 0);  // normalised by the primitive
    bp.m_distance = 5.0f;
    auto* up = static_cast<PlanarPrimitive*>(ground.addPrimitive(bp));
    EXPECT_TRUE(ground.isFixed());
    EXPECT_EQ(up->m_normal.y, 1.0f);
    up->precomputeCDinfo(0.2f);
    EXPECT_FLOAT_EQ(up->m_AABB.m_max.y, 5.1f);
    EXPECT_EQ(up->m_AABB.m_min.y, -FLT_MAX);
    EXPECT_EQ(up->m_AABB.m_max.x, FLT_MAX);
    bp.m_normal = Vector3(0, -1, 0);
    bp.m_distance = -5.0f;
    auto* down = static_cast<PlanarPrimitive*>(ground.addPrimitive(bp));
    down->precomputeCDinfo(0.2f);
    EXPECT_FLOAT_EQ(down->m_AABB.m_min.y, 4.9f);
    EXPECT_EQ(down->m_AABB.m_max.y, FLT_MAX);
    bp.m_normal = Vector3(0, 1, 1);
    auto* tilted = static_cast<PlanarPrimitive*>(ground.addPrimitive(bp));
    tilted->precomputeCDinfo(0.2f);
    EXPECT_EQ(tilted->m_AABB.m_max.y, FLT_MAX);
    EXPECT_EQ(tilted->m_AABB.m_min.z, -FLT_MAX);
    EXPECT_EQ(up->computeLocalAABB().m_max.y, FLT_MIN);
    Vector3 c;
    Matrix3 i;
    float v;
    EXPECT_FALSE(up->getMassProperties(c, i, v));
}

TEST(PrimitiveTest, HeightFieldPlacementAndClone) {
    GridHeightField field(11, 21, 1.0f, [](float, float) { return 0.0f; });  // 10 x 20
    field.m_size.y = 2.0f;
    RigidBody terrain;
    HeightFieldPrimitiveBlueprint bp;
    bp.m_heightField = &field;
    bp.m_optimisedCD = 1;
    bp.m_offsetTransform.setTranslation(Vector3(-5, 0, -10));
    auto* p = static_cast<HeightFieldPrimitive*>(terrain.addPrimitive(bp));
    EXPECT_TRUE(terrain.isFixed());
    EXPECT_EQ(p->m_fastCD, 1);
    p->precomputeCDinfo(0.2f);
    EXPECT_FLOAT_EQ(p->m_AABB.m_min.x, -5.1f);
    EXPECT_FLOAT_EQ(p->m_AABB.m_max.z, 10.1f);
    EXPECT_EQ(p->computeLocalAABB().m_max.y, 2.0f);
    std::unique_ptr<HeightFieldPrimitive> c(static_cast<HeightFieldPrimitive*>(p->clone(&terrain)));
    EXPECT_EQ(c->m_fastCD, 0);
    EXPECT_EQ(c->m_bodyToLocalTransform.getTranslation().x, 0.0f);
    EXPECT_FALSE(c->insideBody(Vector3(0, 1, 0)));
}
