// The world and subspace step: Runge-Kutta against Euler, phase order, step actions, roll-back and a
// determinism hash over a fixed scene.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/collide/timer_bank.h"
#include "kinetic/dynamics/event_pipe.h"
#include "kinetic/dynamics/fast_subspace.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_body_monitor.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/rr_resolver.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/step_action.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

using namespace Kinetic;

namespace {

const Vector3 kGameGravity(0.0f, 15.1074f, 0.0f);  // +y is down

RigidBody* makeBall(float radius, float mass) {
    auto* b = new RigidBody();
    SphericalPrimitiveBlueprint bp;
    bp.m_radius = radius;
    bp.m_mass = mass;
    b->addPrimitive(bp);
    return b;
}

// The race's settings: fast subspace, Euler in fast mode, the game's gravity.
void raceSettings(Toolkit& kit) {
    kit.m_defaultRigidCollection->setODESolver(EULER);
    kit.m_defaultSubspace->setGravity(kGameGravity);
}

class CountingStepAction : public StepAction {
public:
    void stepApply(Subspace&, float t) override {
        ++m_calls;
        m_lastT = t;
    }
    int m_calls = 0;
    float m_lastT = -1;
};

class OtherCollection : public EntityCollection {
public:
    OtherCollection() : EntityCollection(HEIGHTFIELD) {}
    int numVariables(int) const override { return 0; }
    void getCurrentDerivativeArray(VectorN&, int&) override {}
    void getArrayFromState(VectorN&) const override {}
    void setStateFromArray(const VectorN&) override {}
    void getDerivativeArray(float, const VectorN&, VectorN&) override {}
};

class PhaseLog : public Action {
public:
    explicit PhaseLog(std::vector<std::string>* log, const char* what) : m_log(log), m_what(what) {}
    void apply(Subspace& s, float t) override {
        m_log->push_back(std::string(m_what) + (s.m_midIntegration ? "+mid" : ""));
        (void)t;
    }
    std::vector<std::string>* m_log;
    const char* m_what;
};

uint64_t fnv(uint64_t h, const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

uint64_t stateHash(const std::vector<RigidBody*>& bodies) {
    uint64_t h = 1469598103934665603ull;
    for (const RigidBody* b : bodies) {
        const float f[13] = {b->m_position.x,        b->m_position.y,        b->m_position.z,
                             b->m_rotation.m_real,   b->m_rotation.m_imag.x, b->m_rotation.m_imag.y,
                             b->m_rotation.m_imag.z, b->m_linearVelocity.x,  b->m_linearVelocity.y,
                             b->m_linearVelocity.z,  b->m_angularVelocity.x, b->m_angularVelocity.y,
                             b->m_angularVelocity.z};
        h = fnv(h, f, sizeof f);
        const uint32_t flags = b->m_flags;
        h = fnv(h, &flags, sizeof flags);
    }
    return h;
}

// 50 free bodies of varied mass, inertia, start pose and motion, 600 race steps.
uint64_t runFiftyBodies() {
    Toolkit kit(1);
    raceSettings(kit);
    std::vector<RigidBody*> bodies;
    for (int i = 0; i < 50; ++i) {
        RigidBody* b = makeBall(0.3f + 0.01f * i, 1.0f + 0.5f * (i % 7));
        b->setInertia(Matrix3(0.2f + 0.01f * i, 0, 0, 0, 0.3f, 0, 0, 0, 0.4f + 0.02f * (i % 5)));
        const float a = 0.1f * i;
        Quaternion q(std::cos(a), std::sin(a) * 0.6f, std::sin(a) * 0.8f, 0.0f);
        kit.addRigidBody(b, Vector3(2.0f * (i % 10), -3.0f * (i / 10), 0.5f * i), q);
        b->m_linearVelocity = Vector3(std::sin(a), -4.0f + 0.1f * i, std::cos(a));
        b->m_angularVelocity = Vector3(0.3f * (i % 3), 1.0f - 0.05f * i, 0.2f * (i % 4));
        if (i % 9 == 0) b->m_torqueAccum = Vector3(0.5f, 0, -0.25f);
        bodies.push_back(b);
    }
    for (int step = 1; step <= 600; ++step) kit.m_defaultWorld->stepTo(step / 60.0f, 1);
    // Ten seconds of free fall: every body is still awake, finite and far below where it started.
    for (const RigidBody* b : bodies) {
        EXPECT_TRUE(b->isActive());
        EXPECT_TRUE(std::isfinite(b->m_position.y) && std::isfinite(b->m_rotation.m_real));
        EXPECT_GT(b->m_position.y, 600.0f);
        EXPECT_NEAR(b->m_rotation.lengthSqrd(), 1.0f, 1e-5f);
    }
    return stateHash(bodies);
}

}  // namespace

TEST(WorldStepTest, RungeKuttaTracksASpinningBodyFarBetterThanEuler) {
    const float w = 6.0f;  // rad/s about the y axis
    auto spin = [&](ODESolverType type) {
        Toolkit kit(0);
        kit.m_defaultRigidCollection->setODESolver(type);
        kit.m_defaultSubspace->setGravity(Vector3_Zero);
        RigidBody* b = makeBall(0.5f, 1.0f);
        kit.addRigidBody(b, Vector3_Zero, Quaternion_Zero);
        b->m_angularVelocity = Vector3(0, w, 0);
        for (int k = 1; k <= 60; ++k) kit.m_defaultWorld->stepTo(k / 60.0f, 1);
        // Exact orientation after one second: angle w about y.
        const float angle = 2.0f * std::atan2(b->m_rotation.m_imag.y, b->m_rotation.m_real);
        EXPECT_NEAR(b->m_angularVelocity.y, w, 1e-4f);
        return std::fabs(std::remainder(angle - w, 2.0f * 3.14159265f));
    };
    const float eulerError = spin(EULER);
    const float rkError = spin(RK45);
    // Euler turns by 2 atan(w dt / 2) per step instead of w dt.
    const double expected = 60.0 * (w / 60.0 - 2.0 * std::atan(w / 120.0));
    EXPECT_NEAR(eulerError, expected, 0.2 * expected);
    EXPECT_LT(rkError, eulerError / 20);
}

TEST(WorldStepTest, PhaseOrderStepActionsAndTimers) {
    Toolkit kit(1);
    raceSettings(kit);
    std::vector<std::string> log;
    PhaseLog action(&log, "action"), zorder(&log, "zorder");
    kit.m_defaultRigidCollection->addAction(&action, 0);
    kit.m_defaultSubspace->addZOrderAction(&zorder);
    CountingStepAction counter;
    kit.m_defaultSubspace->addStepAction(&counter);
    kit.m_defaultSubspace->addStepAction(&counter);  // kept once
    kit.m_defaultWorld->stepTo(0.1f, 2);
    EXPECT_EQ(log, (std::vector<std::string>{"zorder", "action", "zorder", "action"}));
    EXPECT_FLOAT_EQ(kit.m_defaultSubspace->m_deltaT, 0.05f);
    EXPECT_EQ(kit.m_defaultCollisionDetector->getImpl()->m_allowedPenetration, 0.0f);
    EXPECT_EQ(counter.m_calls, 1);  // once per stepTo
    EXPECT_FLOAT_EQ(counter.m_lastT, 0.1f);
    // Same time again, or no sub-step at all: nothing moves but the step actions still run.
    RigidBody* b = makeBall(0.5f, 1);
    kit.addRigidBody(b, Vector3_Zero, Quaternion_Zero);
    b->m_linearVelocity = Vector3(1, 0, 0);
    kit.m_defaultWorld->stepTo(0.1f, 1);
    kit.m_defaultWorld->stepTo(0.7f, 0);
    EXPECT_EQ(counter.m_calls, 3);
    EXPECT_EQ(kit.m_defaultSubspace->m_lastTime, 0.1f);
    // An inactive subspace only moves the clock.
    kit.m_defaultSubspace->m_active = 0;
    kit.m_defaultWorld->stepTo(1.0f, 1);
    EXPECT_EQ(b->m_position.x, 0.0f);
    EXPECT_EQ(kit.m_defaultSubspace->m_lastTime, 1.0f);
    EXPECT_EQ(kit.m_defaultRigidCollection->getLastRefresh(), 1.0f);
    ITimerBank& bank = ITimerBank::getInstance();
    int found = 0;
    for (int i = 0; i < bank.size(); ++i) {
        const std::string name = bank.get(i).m_name;
        if (name == "Total" || name == "Dynamics" || name == "Detection") {
            ++found;
            EXPECT_GT(bank.get(i).m_timer.getIntervals(), 0) << name;
        }
    }
    EXPECT_EQ(found, 3);
}

TEST(SubspaceTest, CollectionsResolverAndDeathNotices) {
    FastSubspace fast;
    OtherCollection other;
    fast.addEntityCollection(&other, false);
    EXPECT_EQ(fast.getNumEntityCollections(), 0);  // only rigid-body collections
    {
        RigidCollection a, b;
        fast.addEntityCollection(&a, false);
        fast.addEntityCollection(&b, true);
        fast.addEntityCollection(&a, false);  // added twice: both entries must go with it
        EXPECT_EQ(fast.getEntityCollection(0), &b);
        EXPECT_EQ(fast.getNumEntityCollections(), 3);
        EXPECT_TRUE(b.isFastUpdate());
    }
    EXPECT_EQ(fast.getNumEntityCollections(), 0);  // their deaths took them off the list
    RRResolver* r = fast.getRRResolver();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->getKind(), Subspace::COMPLEXFRICTION);
    fast.setRRResolverType(static_cast<Subspace::RRResolverType>(4));
    EXPECT_EQ(fast.getRRResolver(), r);
    fast.setRRResolverType(Subspace::NAIVE);
    EXPECT_EQ(fast.getRRResolver()->getKind(), Subspace::NAIVE);
    {
        CountingStepAction step;
        fast.addStepAction(&step);
        EXPECT_EQ(fast.getStepActions().size(), 2u);
    }
    EXPECT_EQ(fast.getStepActions().size(), 1u);
    // Without a detector the fast subspace falls back to the plain step.
    RigidCollection c;
    fast.addEntityCollection(&c, false);
    EXPECT_FLOAT_EQ(fast.tryStep(0.25f), 0.25f);
    EXPECT_FLOAT_EQ(c.getLastRefresh(), 0.25f);
    EXPECT_EQ(fast.tryStep(0.1f), 0.25f);
}

TEST(RigidBodyMonitorTest, ReportsQuantitiesInsideTheBand) {
    struct Sink : EventPipe {
        void raiseEvent(Event& e) override { seen.push_back(static_cast<RigidBodySensorEvent&>(e).current); }
        std::vector<float> seen;
    } sink;
    Subspace sub;
    RigidBody b;
    b.m_linearVelocity = Vector3(3, 4, 0);
    RigidBodyMonitor monitor;
    monitor.addRecord(&b, RigidBodySensorEvent::LINEAR_VELOCITY, 1.0f, 10.0f, 0.5f);
    monitor.addRecord(&b, RigidBodySensorEvent::ANGULAR_VELOCITY, 1.0f, 10.0f, 0.0f);
    monitor.stepApply(sub, 1.0f);  // no pipe yet
    monitor.setEventPipe(&sink);
    monitor.stepApply(sub, 1.0f);
    monitor.stepApply(sub, 1.2f);  // within the period
    monitor.stepApply(sub, 1.6f);
    EXPECT_EQ(sink.seen, (std::vector<float>{5.0f, 5.0f}));
}

TEST(DeterminismTest, FiftyFreeBodiesSixHundredSteps) {
    const uint64_t first = runFiftyBodies();
    const uint64_t second = runFiftyBodies();
    EXPECT_EQ(first, second);
    // Pinned: any change to integration order, arithmetic or container order shows up here.
    EXPECT_EQ(first, 4528870978863221643ull);
}

namespace {

// A detector whose passes report one interpenetration while the subspace's step is still longer than
// a limit, and record the step lengths tried, over two balls in a plain subspace.
class ScriptedCollide : public InternalCollide {
public:
    ScriptedCollide(RigidBody* a, RigidBody* b) : InternalCollide(0.1f), m_a(a), m_b(b) {}
    void collide(bool) override {
        ++m_passes;
        m_allowed.push_back(m_allowedPenetration);
        m_times.push_back(m_a->m_timestep);
        if (m_a->m_timestep > m_limit)
            m_interpenetrations.emplace_back(m_a->getPrimitives()[0], m_b->getPrimitives()[0]);
    }
    RigidBody* m_a;
    RigidBody* m_b;
    float m_limit = 0.0f;
    int m_passes = 0;
    std::vector<float> m_allowed;
    std::vector<float> m_times;
};

struct RollBackScene {
    RollBackScene()
        : a(makeBall(0.5f, 1)),
          b(makeBall(0.5f, 1)),
          impl(new ScriptedCollide(a.get(), b.get())),
          detector(impl) {
        sub.setGravity(Vector3_Zero);
        sub.addEntityCollection(&coll, false);
        coll.addEntity(a.get());
        coll.addEntity(b.get());
        sub.m_collisionDetector = &detector;
    }
    ~RollBackScene() { sub.m_collisionDetector = nullptr; }
    Subspace sub;
    RigidCollection coll;
    std::unique_ptr<RigidBody> a, b;
    ScriptedCollide* impl;
    CollisionDetector detector;
};

}  // namespace

TEST(SubspaceRollBackTest, HalvesTheStepUntilClearThenFinishesTheInterval) {
    RollBackScene s;
    s.a->m_linearVelocity = Vector3(1, 0, 0);
    s.impl->m_limit = 0.3f;  // steps longer than 0.3 s interpenetrate
    EXPECT_FLOAT_EQ(s.sub.tryStep(1.0f), 1.0f);
    // 1.0 rolls back to 0.5, then 0.25 passes; the remainder 0.75 continues from there the same way. The
    // allowed penetration halves with every attempt and continuation: tolerance/2, /4, /8, ...
    ASSERT_GE(s.impl->m_times.size(), 3u);
    EXPECT_EQ(std::vector<float>(s.impl->m_times.begin(), s.impl->m_times.begin() + 3),
              (std::vector<float>{1.0f, 0.5f, 0.25f}));
    EXPECT_FLOAT_EQ(s.impl->m_allowed[0], 0.05f);
    EXPECT_FLOAT_EQ(s.impl->m_allowed[1], 0.025f);
    EXPECT_NEAR(s.a->m_position.x, 1.0f, 1e-5f);  // rolled-back attempts leave no trace
}

TEST(SubspaceRollBackTest, TinyStepIsAcceptedAfterOneHalving) {
    RollBackScene s;
    s.sub.tryStep(2e-5f);  // always interpenetrating
    // An attempt at 2e-5 s, one at 1e-5 s, then acceptance and the extra detection pass for the bad list;
    // the remaining 1e-5 s gets one attempt of its own and is accepted the same way.
    ASSERT_GE(s.impl->m_times.size(), 3u);
    EXPECT_FLOAT_EQ(s.impl->m_times[0], 2e-5f);
    EXPECT_FLOAT_EQ(s.impl->m_times[1], 1e-5f);
    EXPECT_FLOAT_EQ(s.sub.m_lastTime, 2e-5f);
    EXPECT_LE(s.impl->m_passes, 6);
}
