// Entities and collections: flags, membership, action order, sub-stepping, roll-back and solver choice.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/action.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/subspace.h"

using namespace Kinetic;

namespace {

class LogAction : public Action {
public:
    LogAction(std::vector<int>* order, int tag) : m_order(order), m_tag(tag) {}
    void apply(Subspace&, float t) override {
        m_order->push_back(m_tag);
        m_times.push_back(t);
    }
    std::vector<int>* m_order;
    int m_tag;
    std::vector<float> m_times;
};

RigidBody* makeBall(float mass = 1.0f) {
    auto* b = new RigidBody();
    SphericalPrimitiveBlueprint bp;
    bp.m_radius = 0.5f;
    bp.m_mass = mass;
    b->addPrimitive(bp);
    return b;
}

// A plain subspace without detector: the collection's own behaviour shows through.
struct Rig {
    Rig() {
        sub.addEntityCollection(&coll, false);
        sub.setGravity(Vector3_Zero);
    }
    Subspace sub;
    RigidCollection coll;
};

}  // namespace

TEST(EntityTest, FlagsAndNeverDeactivateCounter) {
    RigidBody b;
    b.setNeverDeactivate(true);
    for (int i = 0; i < 3; ++i) b.setNeverDeactivate(false);
    EXPECT_EQ(b.m_neverDeactivate, 0);
    b.setActive(false, false);
    b.setNeverDeactivate(true);  // wakes the entity
    EXPECT_TRUE(b.isActive());
    EXPECT_EQ(b.m_neverDeactivate, 1);
    b.setPinned(true);
    EXPECT_TRUE(b.isPinned());
    EXPECT_FALSE(b.isActive());
    b.setNeverDeactivate(true);  // ignored while pinned
    EXPECT_EQ(b.m_neverDeactivate, 1);
    b.setPinned(false);
    EXPECT_TRUE(b.isActive());
    b.Entity::setFixed();
    EXPECT_TRUE(b.isFixed());
    b.setActive(true, true);  // a fixed entity cannot be woken
    EXPECT_FALSE(b.isActive());
}

TEST(EntityCollectionTest, ActionsRunByPriorityAndEqualPrioritiesKeepInsertionOrder) {
    Rig rig;
    std::vector<int> order;
    LogAction five(&order, 5), minus(&order, -1), zeroA(&order, 100), zeroB(&order, 200);
    rig.coll.addAction(&five, 5);
    rig.coll.addAction(&zeroA, 0);
    rig.coll.addAction(&minus, -1);
    rig.coll.addAction(&zeroB, 0);
    rig.coll.evaluateActions(1.5f);
    EXPECT_EQ(order, (std::vector<int>{-1, 100, 200, 5}));
    EXPECT_EQ(five.m_lastRefresh, 1.5f);
    rig.coll.removeAction(&zeroA);
    order.clear();
    rig.coll.evaluateActions(2.0f);
    EXPECT_EQ(order, (std::vector<int>{-1, 200, 5}));
    EXPECT_TRUE(zeroA.getDependants().empty());
    {
        LogAction dying(&order, 9);
        rig.coll.addAction(&dying, 1);
        rig.coll.addAction(&dying, 7);  // the same action twice
        EXPECT_EQ(rig.coll.getActions().size(), 5u);
    }  // its death takes every item holding it off the list
    EXPECT_EQ(rig.coll.getActions().size(), 3u);
    order.clear();
    rig.coll.evaluateActions(3.0f);
    EXPECT_EQ(order, (std::vector<int>{-1, 200, 5}));
}

TEST(EntityCollectionTest, UnknownSolverTypeKeepsTheInstalledSolver) {
    RigidCollection coll;
    const ODESolver* before = coll.getODESolver();
    ASSERT_NE(before, nullptr);
    coll.setODESolver(static_cast<ODESolverType>(7));
    EXPECT_EQ(coll.getODESolver(), before);  // not deleted and left dangling
    EXPECT_EQ(coll.getODESolverType(), EULER);
    EXPECT_EQ(coll.getODESolver()->getType(), EULER);
    coll.setODESolver(RK45);
    EXPECT_EQ(coll.getODESolver()->getType(), RK45);
    EXPECT_FALSE(coll.isFastUpdate());
    coll.setUsingFastSubspace(true);
    EXPECT_FALSE(coll.isFastUpdate());  // RK45 never integrates in fast mode
    coll.setODESolver(EULER);
    EXPECT_EQ(coll.getODESolver(), nullptr);  // in a fast subspace Euler needs no solver object
    EXPECT_TRUE(coll.isFastUpdate());
}

TEST(EntityCollectionTest, SubStepsOfAtMostTheMaximumStepAndRollBack) {
    Rig rig;
    std::vector<int> order;
    LogAction probe(&order, 1);
    rig.coll.addAction(&probe, 0);
    rig.coll.setMaxIntegrationStep(0.25f);
    RigidBody* b = makeBall();
    b->m_linearVelocity = Vector3(1, 0, 0);
    rig.coll.addEntity(b);
    rig.coll.update(0.6f);  // 0.25 + 0.25 + 0.1: actions evaluated inside the step at 0.25 and 0.5
    ASSERT_EQ(probe.m_times.size(), 2u);
    EXPECT_FLOAT_EQ(probe.m_times[0], 0.25f);
    EXPECT_FLOAT_EQ(probe.m_times[1], 0.5f);
    EXPECT_NEAR(b->m_position.x, 0.6f, 1e-6f);
    EXPECT_FLOAT_EQ(b->m_timestep, 0.6f);
    probe.m_times.clear();
    rig.coll.update(1.1f);  // dt 0.5: two sub-steps, no remainder
    ASSERT_EQ(probe.m_times.size(), 1u);
    EXPECT_FLOAT_EQ(probe.m_times[0], 0.85f);
    EXPECT_NEAR(b->m_position.x, 1.1f, 1e-6f);
    EXPECT_FLOAT_EQ(rig.coll.getLastRefresh(), 1.1f);
    // Rolling back restores the state and time from before the last update.
    b->m_forceAccum = Vector3(0, 2, 0);
    rig.coll.update(2.0f);
    EXPECT_TRUE(rig.coll.rollBack());
    EXPECT_NEAR(b->m_position.x, 1.1f, 1e-6f);
    EXPECT_EQ(b->m_linearVelocity.y, 0.0f);
    EXPECT_FLOAT_EQ(rig.coll.getLastRefresh(), 1.1f);
    delete b;
}

TEST(EntityCollectionTest, FixedBodiesAreNotIntegratedThroughArrays) {
    Rig rig;
    RigidBody* fixed = makeBall(0.0f);
    fixed->m_flags |= Entity::ACTIVE;  // an active fixed body still reads as zeros
    RigidBody* moving = makeBall();
    moving->m_linearVelocity = Vector3(1, 0, 0);
    fixed->setDisplayToWorldTransform(Vector3(5, 5, 5), Quaternion_Zero);
    rig.coll.addEntity(fixed);
    rig.coll.addEntity(moving);
    rig.coll.rebuildActiveEntities();
    VectorN x;
    rig.coll.getArrayFromState(x);
    ASSERT_EQ(x.size(), 26);
    for (int i = 0; i < 13; ++i) EXPECT_EQ(x[i], 0.0f);
    rig.coll.setStateFromArray(x);  // leaves the fixed body alone
    EXPECT_EQ(fixed->m_position.x, 5.0f);
    rig.coll.update(1.0f);
    EXPECT_EQ(fixed->m_position.x, 5.0f);
    EXPECT_NEAR(moving->m_position.x, 1.0f, 1e-6f);
    delete fixed;
    delete moving;
}
