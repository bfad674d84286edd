// The ground and world of the physics benchmark scenes: the 257 x 257 height field of the scene
// definitions (or a finer sampling of the same area), the race's settings (fast subspace, Euler, gravity
// (0, 15.1074, 0) with +y down, a detector of tolerance 0.2, deactivation off) and convex boxes.
#pragma once

#include <cmath>
#include <memory>

#include "../tests/kinetic/collide/grid_height_field.h"
#include "../tests/kinetic/collide/test_shapes.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/dynamics/fast_subspace.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

namespace kinetic_bench {

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

// Upward height of the ground at (x, z); the surface is at y = -h in the engine's frame.
inline float groundHeight(float x, float z) {
    return 2.0f * std::sin(x / 17.0f) * std::cos(z / 23.0f) + 1.0f * std::sin((x + 2.0f * z) / 31.0f);
}

// The grid stores heights raised by this much (its box runs from its origin upwards), and its body sits
// this much lower, so the surface lands at y = -h.
constexpr float kLift = 4.0f;

struct SceneWorld {
    SceneWorld(bool gravity, int samples)
        : field(samples, samples, 256.0f / static_cast<float>(samples - 1),
                [](float x, float z) { return groundHeight(x, z) + kLift; }),
          kit(1),
          unitBox(boxGeometry(Vector3(0.5f, 0.5f, 0.5f))),
          postBox(boxGeometry(Vector3(0.5f, 1.0f, 0.5f))) {
        kit.m_defaultRigidCollection->setODESolver(EULER);
        kit.m_defaultSubspace->setGravity(gravity ? Vector3(0.0f, 15.1074f, 0.0f) : Vector3_Zero);
        kit.m_defaultSubspace->getDeactivator()->setEnabled(false);
        // The race replaces the default detector by one of tolerance 0.2.
        detector = new CollisionDetector(0.2f);
        kit.m_defaultSubspace->m_collisionDetector = detector;
        kit.m_defaultCollisionDetector = detector;
        kit.m_defaultCleanup->remember(detector);
        auto* ground = new RigidBody();
        HeightFieldPrimitiveBlueprint bp;
        bp.m_heightField = &field;
        bp.m_optimisedCD = 1;
        ground->addPrimitive(bp);
        ground->m_friction = 0.8f;
        ground->m_restitution = 0.1f;
        kit.addRigidBody(ground, Vector3(0.0f, kLift, 0.0f), Quaternion_Zero);
    }
    RigidBody* box(Geometry* g, float mass, const Vector3& p, bool pinned = false) {
        auto* b = new RigidBody();
        GeometricPrimitiveBlueprint bp;
        bp.m_geometry = g;
        bp.m_mass = mass;
        bp.m_isConvex = 1;
        b->addPrimitive(bp);
        if (pinned) b->setPinned(true);
        b->m_friction = 0.8f;
        b->m_restitution = 0.1f;
        kit.addRigidBody(b, p, Quaternion_Zero);
        return b;
    }

    GridHeightField field;
    Toolkit kit;
    std::unique_ptr<Geometry> unitBox;
    std::unique_ptr<Geometry> postBox;
    CollisionDetector* detector = nullptr;
};

// The 500 fixed (or pinned) boxes of S2, half extents (0.5, 1.0, 0.5), standing on the surface.
inline void addPostGrid(SceneWorld& w, bool pinned) {
    for (int a = 0; a < 25; ++a)
        for (int b = 0; b < 20; ++b) {
            const float x = 50.0f + 6.0f * static_cast<float>(a), z = 50.0f + 6.0f * static_cast<float>(b);
            w.box(w.postBox.get(), pinned ? 1.0f : 0.0f, Vector3(x, -groundHeight(x, z) - 1.0f, z), pinned);
        }
}

}  // namespace kinetic_bench
