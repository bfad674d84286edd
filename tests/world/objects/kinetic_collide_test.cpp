// Collision meshes from collision data blocks: one convex primitive per part with the body's material, the
// radius over all parts, and blocks that do not fit their sub-file refused.
#include "world/objects/kinetic_collide.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "game/files/collision_data.h"
#include "game/files/collision_format.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/dynamics/rigid_body.h"
#include "support/heap_image.h"
#include "support/image_patch.h"
#include "support/log_capture.h"

namespace {

using testsupport::HeapImage;

CollisionPart Triangle() {
    CollisionPart p;
    p.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    p.triangles = {{0, 1, 2}};
    return p;
}

const Kinetic::Geometry* MeshOf(const Kinetic::Primitive* p) {
    return static_cast<const Kinetic::GeometricPrimitive*>(p)->getGeometry();
}

TEST(KineticCollideTest, EveryPartBecomesOneConvexMeshWithTheBodysMaterial) {
    HeapImage block(WriteCollisionBlock({Triangle(), CollisionBox(-1, -2, -3, 1, 2, 3)}));
    CKineticCollide collide(block.p, block.size);
    ASSERT_EQ(collide.geometry.size(), 2u);
    EXPECT_EQ(collide.geometry[0]->getNumVertices(), 3);
    EXPECT_EQ(collide.geometry[0]->getNumTriangles(), 1);
    EXPECT_EQ(collide.geometry[1]->getNumVertices(), 8);
    EXPECT_EQ(collide.geometry[1]->getNumTriangles(), 12);
    const Kinetic::Vector3& v = collide.geometry[1]->getVertex(6);  // the box's (x1, y1, z1) corner
    EXPECT_TRUE(v.x == 1.0f && v.y == 2.0f && v.z == 3.0f);
    EXPECT_EQ(collide.geometry[1]->getTriangle(11).m_verts[2], 5);
    EXPECT_FLOAT_EQ(collide.radius, 100.0f * std::sqrt(14.0f));  // the box corner, not the triangle

    auto all = std::make_unique<Kinetic::RigidBody>();
    collide.addCollisionToRigidBody(all.get(), 3.0f, 0.25f, 0.75f);
    ASSERT_EQ(all->getPrimitives().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(MeshOf(all->getPrimitives()[i]), collide.geometry[i].get());
        EXPECT_EQ(all->getPrimitives()[i]->getType(), Kinetic::CD_CXGEOMETRIC);
        EXPECT_EQ(all->getPrimitives()[i]->m_mass, 3.0f);
    }
    EXPECT_EQ(all->m_restitution, 0.25f);
    EXPECT_EQ(all->m_friction, 0.75f);

    // One mesh by index; indices outside the meshes add nothing and leave the material alone.
    auto one = std::make_unique<Kinetic::RigidBody>();
    const float restitution = one->m_restitution, friction = one->m_friction;
    for (int index : {-1, 2}) collide.addSingleCollisionToRigidBody(index, one.get(), 1.0f, 0.9f, 0.9f);
    EXPECT_TRUE(one->getPrimitives().empty());
    EXPECT_EQ(one->m_restitution, restitution);
    EXPECT_EQ(one->m_friction, friction);
    collide.addSingleCollisionToRigidBody(1, one.get(), 2.0f, 0.5f, 0.6f);
    ASSERT_EQ(one->getPrimitives().size(), 1u);
    EXPECT_EQ(MeshOf(one->getPrimitives()[0]), collide.geometry[1].get());
    EXPECT_EQ(one->m_friction, 0.6f);
}

TEST(KineticCollideTest, EmptyAndRefusedBlocksBuildNothing) {
    const auto good = WriteCollisionBlock({Triangle()});
    const size_t part = collisiondata::kHeaderBytes;
    const size_t indices = part + collisiondata::kPartHeaderBytes + 3 * collisiondata::kVertexBytes;
    const struct {
        const char* what;
        size_t offset;
        uint32_t value;
        size_t length;
        const char* log;  // null: an accepted block without parts
    } cases[] = {
        {"no parts", 0, 0, SIZE_MAX, nullptr},
        {"part count past the block", 0, 2, SIZE_MAX, "part 1 starts past the end"},
        {"vertex count past the block", part, 40, SIZE_MAX, "part 0 runs past the end"},
        {"index naming vertex V", indices, 3, SIZE_MAX, "names vertex 3 of 3"},
        {"block cut inside its indices", SIZE_MAX, 0, indices + 4, "part 0 runs past the end"},
    };
    testsupport::LogCapture log;
    for (const auto& c : cases) {
        auto bytes = good;
        if (c.offset == indices)
            testsupport::Poke(bytes, c.offset, static_cast<uint16_t>(c.value));
        else if (c.offset != SIZE_MAX)
            testsupport::Poke(bytes, c.offset, c.value);
        log.clear();
        HeapImage block(bytes, c.length);
        CKineticCollide collide(block.p, block.size);
        EXPECT_TRUE(collide.geometry.empty()) << c.what;
        EXPECT_EQ(collide.radius, 0.0f) << c.what;
        if (c.log)
            EXPECT_TRUE(log.has(c.log)) << c.what << ": " << log.text();
        else
            EXPECT_EQ(log.text(), "") << c.what;
        auto body = std::make_unique<Kinetic::RigidBody>();
        const float friction = body->m_friction;
        collide.addCollisionToRigidBody(body.get(), 1.0f, 0.5f, 0.5f);
        EXPECT_TRUE(body->getPrimitives().empty()) << c.what;
        EXPECT_EQ(body->m_friction, friction) << c.what;
    }
}

}  // namespace
