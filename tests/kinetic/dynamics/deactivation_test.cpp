// Resting bodies fall asleep on their own (spatial deactivator) or only all together (group deactivator).
#include <gtest/gtest.h>

#include <vector>

#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/group_deactivator.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

using namespace Kinetic;

namespace {

RigidBody* makeBall() {
    auto* b = new RigidBody();
    SphericalPrimitiveBlueprint bp;
    bp.m_radius = 0.5f;
    bp.m_mass = 1.0f;
    b->addPrimitive(bp);
    return b;
}

class CountingAction : public Action {
public:
    void apply(Subspace&, float) override { ++m_calls; }
    int m_calls = 0;
};

}  // namespace

TEST(SpatialDeactivatorTest, RestingBodySleepsAtTheSecondShortCheckUnlessNeverDeactivatedAndWakesOnRequest) {
    Toolkit kit(1);
    kit.m_defaultRigidCollection->setODESolver(EULER);
    kit.m_defaultSubspace->setGravity(Vector3_Zero);
    RigidBody* resting = makeBall();
    RigidBody* moving = makeBall();
    kit.addRigidBody(resting, Vector3(0, 0, 0), Quaternion_Zero);
    kit.addRigidBody(moving, Vector3(5, 0, 0), Quaternion_Zero);
    moving->setNeverDeactivate(true);  // as still, but kept awake
    InternalCollide* detector = kit.m_defaultCollisionDetector->getImpl();
    SpatialDeactivator* d = kit.m_defaultSubspace->getDeactivator();
    EXPECT_FLOAT_EQ(d->m_shortPeriod, 0.2f);
    EXPECT_FLOAT_EQ(d->m_longPeriod, 10.0f);

    int step = 0;
    auto stepOnce = [&] {
        ++step;
        kit.m_defaultWorld->stepTo(step / 60.0f, 1);
    };
    for (int i = 0; i < 12; ++i) stepOnce();
    EXPECT_EQ(resting->m_radiusSqrd, -1.0f);  // t = 0.2 is not beyond the period yet
    stepOnce();
    EXPECT_GT(resting->m_radiusSqrd, 0.0f);  // first examination measures, never sleeps
    EXPECT_FLOAT_EQ(d->m_lastShortFrequencyCheck, 13 / 60.0f);
    EXPECT_TRUE(resting->isActive());
    while (resting->isActive() && step < 40) stepOnce();
    EXPECT_EQ(step, 26);  // next check beyond 0.2 s after the first
    EXPECT_TRUE(moving->isActive());
    // Sleeping bodies are no longer integrated; the detector moves their shapes to its inactive list at
    // its next pass.
    EXPECT_EQ(detector->m_activeList.size(), 2u);
    resting->m_linearVelocity = Vector3(1, 0, 0);
    stepOnce();
    EXPECT_EQ(resting->m_position.x, 0.0f);
    EXPECT_EQ(detector->m_activeList.size(), 1u);
    EXPECT_EQ(detector->m_inactiveList.size(), 1u);
    resting->setActive(true, true);
    EXPECT_EQ(detector->m_activeList.size(), 2u);
    stepOnce();
    EXPECT_GT(resting->m_position.x, 0.0f);
}

TEST(SpatialDeactivatorTest, FallingAndInactiveBodiesAreLeftAlone) {
    Toolkit kit(1);
    kit.m_defaultRigidCollection->setODESolver(EULER);
    kit.m_defaultSubspace->setGravity(Vector3(0, 15.1074f, 0));
    RigidBody* falling = makeBall();
    RigidBody* asleep = makeBall();
    asleep->setActive(false, false);
    kit.addRigidBody(falling, Vector3_Zero, Quaternion_Zero);
    kit.addRigidBody(asleep, Vector3(3, 0, 0), Quaternion_Zero);
    SpatialDeactivator* d = kit.m_defaultSubspace->getDeactivator();
    for (int k = 1; k <= 620; ++k) kit.m_defaultWorld->stepTo(k / 60.0f, 1);
    EXPECT_TRUE(falling->isActive());
    EXPECT_EQ(asleep->m_radiusSqrd, -1.0f);         // never examined
    EXPECT_GT(d->m_lastLongFrequencyCheck, 10.0f);  // the long period came due once past 10 s
    EXPECT_LT(d->m_lastLongFrequencyCheck, 10.1f);
    d->setEnabled(false);
    const float last = d->m_lastShortFrequencyCheck;
    kit.m_defaultWorld->stepTo(11.0f, 1);
    EXPECT_EQ(d->m_lastShortFrequencyCheck, last);
}

TEST(GroupDeactivatorTest, ConstrainedPairSleepsTogetherAndWakesTogether) {
    Toolkit kit(1);
    kit.m_defaultSubspace->setGravity(Vector3_Zero);
    kit.m_defaultSubspace->getDeactivator()->setEnabled(false);  // only the group decides
    RigidBody* a = makeBall();
    RigidBody* b = makeBall();
    kit.addRigidBody(a, Vector3(0, 0, 0), Quaternion_Zero);
    kit.addRigidBody(b, Vector3(2, 0, 0), Quaternion_Zero);
    GroupDeactivator group;
    group.addRigidBody(a);
    group.addRigidBody(b);
    CountingAction member;
    group.addAction(&member);
    kit.m_defaultSubspace->addStepAction(&group);
    b->m_linearVelocity = Vector3(0, 0, 0.5f);  // one moving body keeps the whole group awake

    int step = 0;
    auto run = [&](int n) {
        for (int i = 0; i < n; ++i) {
            ++step;
            kit.m_defaultWorld->stepTo(step / 60.0f, 1);
        }
    };
    run(60);
    EXPECT_TRUE(group.isActive());
    EXPECT_TRUE(a->isActive());
    EXPECT_EQ(member.m_calls, 60);
    b->m_linearVelocity = Vector3_Zero;
    run(60);
    EXPECT_FALSE(group.isActive());
    EXPECT_FALSE(a->isActive());
    EXPECT_FALSE(b->isActive());
    const int applied = member.m_calls;
    run(10);
    EXPECT_EQ(member.m_calls, applied);  // members rest with the group
    // The application (or a collision) wakes one body: the next call wakes them all.
    a->setActive(true, true);
    EXPECT_FALSE(b->isActive());
    run(1);
    EXPECT_TRUE(group.isActive());
    EXPECT_TRUE(b->isActive());
    EXPECT_EQ(member.m_calls, applied + 1);
}
