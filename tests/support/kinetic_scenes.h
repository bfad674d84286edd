// The settle scene S1 of the physics benchmarks, for tests: the 257 x 257 height field (spacing 1, friction
// and restitution of its own), the race's settings (fast subspace, Euler, gravity (0, 15.1074, 0) with +y
// down, a detector of tolerance 0.2, deactivation off) and n unit convex boxes of mass 1 dropped from 4 to 7
// above the surface on a 16-wide grid of spacing 2.5 from (100, 100).
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/grid_height_field.h"
#include "kinetic/collide/test_shapes.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

namespace kinetic_scenes {

using namespace Kinetic;

// Upward height of the ground at (x, z); the surface is at y = -h.
inline float groundHeight(float x, float z) {
    return 2.0f * std::sin(x / 17.0f) * std::cos(z / 23.0f) + 1.0f * std::sin((x + 2.0f * z) / 31.0f);
}

struct SettleScene {
    // Every body, ground and boxes, gets the given friction; restitution 0.1.
    SettleScene(int n, float friction)
        : field(257, 257, 1.0f, [](float x, float z) { return groundHeight(x, z) + kLift; }),
          kit(1),
          unitBox(testing_shapes::boxGeometry(Vector3(0.5f, 0.5f, 0.5f))) {
        kit.m_defaultRigidCollection->setODESolver(EULER);
        kit.m_defaultSubspace->setGravity(Vector3(0.0f, kGravity, 0.0f));
        kit.m_defaultSubspace->getDeactivator()->setEnabled(false);
        auto* detector = new CollisionDetector(0.2f);
        kit.m_defaultSubspace->m_collisionDetector = detector;
        kit.m_defaultCollisionDetector = detector;
        kit.m_defaultCleanup->remember(detector);
        auto* ground = new RigidBody();
        HeightFieldPrimitiveBlueprint bp;
        bp.m_heightField = &field;
        bp.m_optimisedCD = 1;
        ground->addPrimitive(bp);
        ground->m_friction = friction;
        ground->m_restitution = 0.1f;
        // The grid's box runs from its origin upwards: heights are stored raised, and the body lowered.
        kit.addRigidBody(ground, Vector3(0.0f, kLift, 0.0f), Quaternion_Zero);
        for (int i = 0; i < n; ++i) {
            const float x = 100.0f + 2.5f * static_cast<float>(i % 16);
            const float z = 100.0f + 2.5f * static_cast<float>(i / 16);
            auto* b = new RigidBody();
            GeometricPrimitiveBlueprint g;
            g.m_geometry = unitBox.get();
            g.m_mass = 1.0f;
            g.m_isConvex = 1;
            b->addPrimitive(g);
            b->m_friction = friction;
            b->m_restitution = 0.1f;
            const float drop = 4.0f + 1.5f * static_cast<float>(i % 3);
            kit.addRigidBody(b, Vector3(x, -groundHeight(x, z) - drop, z), Quaternion_Zero);
            boxes.push_back(b);
            startHeight.push_back(drop);
        }
    }
    void run(int steps) {
        for (int i = 0; i < steps; ++i) {
            ++step;
            kit.m_defaultWorld->stepTo(static_cast<float>(step) / 60.0f, 1);
        }
    }

    static constexpr float kGravity = 15.1074f;
    static constexpr float kLift = 4.0f;
    GridHeightField field;
    Toolkit kit;
    std::unique_ptr<Geometry> unitBox;
    std::vector<RigidBody*> boxes;
    std::vector<float> startHeight;  // of each box's centre above the surface
    int step = 0;
};

}  // namespace kinetic_scenes
