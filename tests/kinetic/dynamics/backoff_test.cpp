// Backing interpenetrating bodies off along their last step: the bisection's outcomes, the bad-pair list
// and the loop over pairs of bodies that cannot move.
#include <gtest/gtest.h>

#include <memory>

#include "../collide/grid_height_field.h"
#include "../collide/test_shapes.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/dynamics/fast_subspace.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

// A unit box over a flat field whose surface is at y = 0 (+y down), in a fast subspace with a detector of
// tolerance 0.2 and the in-step allowed penetration of 0.1.
struct BackOffScene {
    BackOffScene()
        : field(9, 9, 1.0f, [](float, float) { return 4.0f; }),
          kit(1),
          geom(boxGeometry(Vector3(0.5f, 0.5f, 0.5f))) {
        detector = new CollisionDetector(0.2f);
        kit.m_defaultSubspace->m_collisionDetector = detector;
        kit.m_defaultCollisionDetector = detector;
        kit.m_defaultCleanup->remember(detector);
        ground = fieldBody(&field, true);
        kit.addRigidBody(ground, Vector3(0, 4, 0), Quaternion_Zero);
        box = meshBody(geom.get(), 1.0f, true, Vector3(4, -1, 4));
        kit.addRigidBody(box, Vector3(4, -1, 4), Quaternion_Zero);
        detector->getImpl()->m_allowedPenetration = 0.1f;
        space = static_cast<FastSubspace*>(kit.m_defaultSubspace);
    }
    // The box's last step: from centre height y0 to y1 over 1/60 s, standing at its end.
    void stepBox(float y0, float y1) {
        box->m_startPosition = Vector3(4, y0, 4);
        box->m_startRotation = Quaternion_Zero;
        box->m_startLinearVelocity = Vector3(0, (y1 - y0) * 60.0f, 0);
        box->m_startAngularVelocity = Vector3_Zero;
        box->m_timestep = 1.0f / 60.0f;
        box->m_stepPosition = 0.0f;
        box->setStepPosition(1.0f);
    }
    CollidablePair pair() const {
        return InternalCollide::canonical(box->getPrimitives()[0], ground->getPrimitives()[0]);
    }
    bool bad() const { return containsPair(detector->getImpl()->m_badList, pair()); }

    GridHeightField field;
    Toolkit kit;
    std::unique_ptr<Geometry> geom;
    CollisionDetector* detector = nullptr;
    RigidBody* ground = nullptr;
    RigidBody* box = nullptr;
    FastSubspace* space = nullptr;
};

}  // namespace

TEST(BackOffTest, BisectsBackToWhereThePairIsWithinTheToleranceButApart) {
    BackOffScene s;
    s.stepBox(-1.0f, -0.5f);  // ends touching: 0 clearance, inside the allowed 0.1
    s.space->findPairCollision(s.pair());
    // Probes at 0.5 (clearance 0.25: no contact at all, not accepted), then 0.75 (clearance 0.125:
    // apart and within the tolerance): accepted.
    EXPECT_FLOAT_EQ(s.box->m_stepPosition, 0.75f);
    EXPECT_NEAR(s.box->m_position.y, -0.625f, 1e-5f);
    EXPECT_FALSE(s.bad());
}

TEST(BackOffTest, CloseStepPositionsProbeOnlyAtTheEarlierOne) {
    BackOffScene s;
    // A very fast step (2000 per step) ending 0.05 clear, inside the allowed 0.1: one ten-thousandth of
    // a step earlier the box was 0.25 clear, out of reach of the tolerance.
    s.stepBox(-2000.55f, -0.55f);
    s.ground->m_stepPosition = 0.9999f;
    const int calls = s.field.m_collideCalls;
    s.space->findPairCollision(s.pair());
    // The probe at entry, the probe at the ground's step position, and no bisection (half the gap is
    // not above 1e-4): the box is left at the earlier position.
    EXPECT_EQ(s.field.m_collideCalls, calls + 2);
    EXPECT_FLOAT_EQ(s.box->m_stepPosition, 0.9999f);
    EXPECT_NEAR(s.box->m_position.y, -0.75f, 2e-3f);
    EXPECT_FALSE(s.bad());
}

TEST(BackOffTest, TinyStepPositionsGoStraightToTheBadList) {
    BackOffScene s;
    s.stepBox(-0.6f, -0.45f);  // sunk 0.05 into the ground
    s.box->m_stepPosition = 0.0002f;
    s.ground->m_stepPosition = 0.0002f;
    const Vector3 entry = s.box->m_position;
    const int calls = s.field.m_collideCalls;
    s.space->findPairCollision(s.pair());
    EXPECT_EQ(s.field.m_collideCalls, calls);  // no probe at all
    EXPECT_TRUE(s.bad());
    EXPECT_EQ(s.box->m_position.y, entry.y);
    EXPECT_FLOAT_EQ(s.box->m_stepPosition, 0.0002f);
}

TEST(BackOffTest, PairsOfBodiesThatCannotMoveEndTheLoopAfterOnePass) {
    BackOffScene s;
    // Something active must exist for the detector to probe at all.
    RigidBody* other = sphereBody(0.5f, 1.0f, Vector3(7, -3, 7));
    s.kit.addRigidBody(other, Vector3(7, -3, 7), Quaternion_Zero);
    s.stepBox(-0.6f, -0.45f);
    s.box->setPinned(true);
    InternalCollide* impl = s.detector->getImpl();
    impl->m_interpenetrations.push_back(s.pair());
    s.space->resolveInterpenetrations();
    // No movable body: the re-detection over the empty set finds nothing and the loop ends.
    EXPECT_TRUE(impl->m_interpenetrations.empty());
    EXPECT_NEAR(s.box->m_position.y, -0.45f, 1e-6f);  // a pinned body is never moved
}

TEST(BackOffTest, AFastDropLandsWithoutSinkingIn) {
    BackOffScene s;
    s.kit.m_defaultRigidCollection->setODESolver(EULER);
    s.kit.m_defaultSubspace->setGravity(Vector3(0.0f, 15.1074f, 0.0f));
    s.box->m_linearVelocity = Vector3(0, 40, 0);  // 0.67 per step: far more than the tolerance
    float lowest = 1e9f;
    for (int i = 1; i <= 30; ++i) {
        s.kit.m_defaultWorld->stepTo(static_cast<float>(i) / 60.0f, 1);
        lowest = std::min(lowest, -0.5f - s.box->m_position.y);  // clearance of the bottom face
    }
    EXPECT_GT(lowest, -0.01f);
    EXPECT_FALSE(s.bad());
}
