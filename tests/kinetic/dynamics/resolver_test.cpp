// Collision response: contact grouping, the impulse loop's threshold and budget, the driving impulse, the
// resolver kinds' formulas, guarded degenerate cases, and boxes settling on a height field.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "../collide/grid_height_field.h"
#include "../collide/test_shapes.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_group.h"
#include "kinetic/dynamics/complex_friction_rr_resolver.h"
#include "kinetic/dynamics/event_pipe.h"
#include "kinetic/dynamics/fast_subspace.h"
#include "kinetic/dynamics/frictionless_rr_resolver.h"
#include "kinetic/dynamics/naive_resolver.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/simple_friction_rr_resolver.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

const Vector3 kUp(0.0f, -1.0f, 0.0f);  // +y is down: the floor's normal points to -y

struct Bodies {
    // A unit ball of mass 1 above a fixed floor plane at y = 0.
    Bodies() : ball(sphereBody(1.0f, 1.0f, Vector3(0, -1, 0))), floor(planeBody(kUp, 0.0f)) {
        floor->setFixed();
    }
    CollisionDetails contact(const Vector3& point, float distance = 0.0f) const {
        CollisionDetails d;
        d.m_objectA = ball->getPrimitives()[0];
        d.m_objectB = floor->getPrimitives()[0];
        d.m_contact.m_normal = kUp;
        d.m_contact.m_position = point;
        d.m_contact.m_distance = distance;
        return d;
    }
    std::unique_ptr<RigidBody> ball;
    std::unique_ptr<RigidBody> floor;
};

struct EventCounter : EventPipe {
    void raiseEvent(Event& e) override {
        if (e.m_eventID == CollisionEvent::defaultID) ++count;
    }
    int count = 0;
};

// Always returns no impulse, so its one contact keeps approaching; records the late flags.
class StubbornResolver : public PointRRResolver {
public:
    StubbornResolver() : PointRRResolver(99) {}
    Vector3 resolveSingleContact(const CollisionDetails&, const ResolverDetails& d) override {
        late.push_back(d.lateIteration);
        return Vector3_Zero;
    }
    std::vector<bool> late;
};

}  // namespace

TEST(ResolverLoopTest, ApproachThresholdIsStrictlyBelowMinusOneThousandth) {
    Bodies s;
    FrictionlessRRResolver r;
    s.ball->m_restitution = 0.0f;
    std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0))};
    s.ball->m_linearVelocity = Vector3(0, 0.001f, 0);  // normal velocity -0.001
    r.resolve(list, 0.2f);
    EXPECT_EQ(r.getImpulseCount(), 0);
    EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.y, 0.001f);
    s.ball->m_linearVelocity = Vector3(0, 0.0011f, 0);
    r.resolve(list, 0.2f);
    EXPECT_EQ(r.getImpulseCount(), 1);
    EXPECT_NEAR(s.ball->m_linearVelocity.y, 0.0f, 1e-7f);
}

TEST(ResolverLoopTest, ForeverApproachingGroupGetsFourHundredImpulsesLateFromTheHundredAndSecond) {
    Bodies s;
    StubbornResolver r;
    s.ball->m_linearVelocity = Vector3(0, 1, 0);
    std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0))};
    r.resolve(list, 0.2f);
    ASSERT_EQ(r.late.size(), 400u);
    EXPECT_FALSE(r.late[100]);  // the 101st impulse
    EXPECT_TRUE(r.late[101]);   // the 102nd
    EXPECT_TRUE(r.late[399]);
}

TEST(ResolverLoopTest, EventsForEveryContactBeforeAnyImpulse) {
    Bodies s;
    ComplexFrictionRRResolver r;
    EventCounter events;
    r.setEventPipe(&events);
    std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0)), s.contact(Vector3(0.1f, 0, 0))};
    r.resolve(list, 0.2f);  // nothing approaches, yet both contacts are reported
    EXPECT_EQ(events.count, 2);
    EXPECT_FLOAT_EQ(r.m_tolerance, 0.2f);
}

TEST(CollisionGroupTest, FixedBodiesDoNotJoinGroups) {
    Bodies s;
    std::unique_ptr<RigidBody> other(sphereBody(1.0f, 1.0f, Vector3(5, -1, 0)));
    CollisionDetails a = s.contact(Vector3(0, 0, 0));
    CollisionDetails b = s.contact(Vector3(5, 0, 0));
    b.m_objectA = other->getPrimitives()[0];
    std::vector<CollisionDetails> list{a, b};
    {
        CollisionGroup g(list);
        std::vector<CollisionDetails> out;
        int groups = 0;
        while (g.getNextGroup(out)) {
            ++groups;
            EXPECT_EQ(out.size(), 1u);
        }
        EXPECT_EQ(groups, 2);
    }
    CollisionDetails touch = a;
    touch.m_objectB = other->getPrimitives()[0];
    list.push_back(touch);
    CollisionGroup g(list);
    std::vector<CollisionDetails> out;
    ASSERT_TRUE(g.getNextGroup(out));
    EXPECT_EQ(out.size(), 3u);
    EXPECT_FALSE(g.getNextGroup(out));
}

TEST(DrivingImpulseTest, SeparatingPairsWithinNineTenthsOfTheTolerance) {
    const float tol = 0.2f;
    Bodies s;
    s.ball->m_linearVelocity = Vector3(0, -0.01f, 0);  // separating at 0.01 along the normal
    applyDrivingImpulse(s.contact(Vector3(0, 0, 0), 0.5f * tol), tol);
    const float x = (0.9f - 0.5f) / 0.9f;
    EXPECT_NEAR(s.ball->m_linearVelocity.y, -0.01f - 10.0f * tol * x * x, 1e-6f);
    EXPECT_NEAR(x, 0.4444f, 1e-4f);
    // Heavier bodies gain the same velocity.
    s.ball->setMass(7.0f);
    s.ball->m_linearVelocity = Vector3(0, -0.01f, 0);
    applyDrivingImpulse(s.contact(Vector3(0, 0, 0), 0.5f * tol), tol);
    EXPECT_NEAR(s.ball->m_linearVelocity.y, -0.01f - 10.0f * tol * x * x, 1e-6f);
    for (float d : {0.0f, 0.9f * tol, tol}) {
        s.ball->m_linearVelocity = Vector3(0, -0.01f, 0);
        applyDrivingImpulse(s.contact(Vector3(0, 0, 0), d), tol);
        EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.y, -0.01f) << d;
    }
    s.ball->m_linearVelocity = Vector3(0, 0.01f, 0);  // approaching: nothing
    applyDrivingImpulse(s.contact(Vector3(0, 0, 0), 0.5f * tol), tol);
    EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.y, 0.01f);
}

TEST(ResolverKindsTest, NaiveReflectsAgainstAFixedBody) {
    Bodies s;
    s.ball->m_linearVelocity = Vector3(1, 2, 3);
    s.ball->m_angularVelocity = Vector3(0.5f, 0, -1);
    NaiveResolver r;
    std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0))};
    r.resolve(list, 0.2f);
    EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.x, -1.0f);
    EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.z, -3.0f);
    EXPECT_FLOAT_EQ(s.ball->m_angularVelocity.z, 1.0f);
    EXPECT_EQ(s.floor->m_linearVelocity.lengthSqrd(), 0.0f);
}

TEST(ResolverKindsTest, HeadOnBounceLeavesAtRestitutionTimesImpactSpeed) {
    // Straight down through the centre: no friction acts, every kind gives e * v back.
    for (float e : {0.0f, 0.25f, 0.5f}) {
        Bodies s;
        s.ball->m_restitution = e;
        s.floor->m_restitution = 1.0f;
        std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0))};
        ComplexFrictionRRResolver complex;
        s.ball->m_linearVelocity = Vector3(0, 2, 0);
        complex.resolve(list, 0.2f);
        EXPECT_NEAR(s.ball->m_linearVelocity.y, -2.0f * e, 1e-5f) << e;
        FrictionlessRRResolver frictionless;
        s.ball->m_linearVelocity = Vector3(0, 2, 0);
        frictionless.resolve(list, 0.2f);
        EXPECT_NEAR(s.ball->m_linearVelocity.y, -2.0f * e, 1e-5f) << e;
        SimpleFrictionRRResolver simple;
        s.ball->m_linearVelocity = Vector3(0, 2, 0);
        simple.resolve(list, 0.2f);
        EXPECT_NEAR(s.ball->m_linearVelocity.y, -2.0f * e, 1e-5f) << e;
    }
}

TEST(ResolverKindsTest, FrictionStopsTheContactPointOrLetsItSlide) {
    // A ball sliding along the floor at 1 while falling at 2: with ample friction the contact point
    // sticks (its tangential velocity ends at 0); without friction the tangential velocity is untouched.
    // (With mu 1 the complex resolver's 20 compression steps take the sliding speed of the contact point,
    // 1 - 0.35 per step, below the stick threshold 0.1, where the holding impulse lies in the cone.)
    for (int kind = 0; kind < 2; ++kind) {
        for (float mu : {0.0f, 1.0f}) {
            Bodies s;
            s.ball->m_restitution = 0.0f;
            s.ball->m_friction = mu;
            s.floor->m_friction = mu;
            s.ball->m_linearVelocity = Vector3(1, 2, 0);
            std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0))};
            std::unique_ptr<RRResolver> r;
            if (kind == 0)
                r = std::make_unique<ComplexFrictionRRResolver>();
            else
                r = std::make_unique<SimpleFrictionRRResolver>();
            r->resolve(list, 0.2f);
            const Vector3 v = s.ball->getPointVelocity(Vector3(0, 0, 0));
            EXPECT_NEAR(v.y, 0.0f, 1e-5f);
            if (mu == 0.0f) {
                EXPECT_NEAR(v.x, 1.0f, 1e-5f) << kind;
                EXPECT_NEAR(s.ball->m_angularVelocity.lengthSqrd(), 0.0f, 1e-10f);
            } else {
                EXPECT_NEAR(v.x, 0.0f, 1e-4f) << kind;
                EXPECT_GT(std::fabs(s.ball->m_angularVelocity.z), 0.1f);  // the ball now rolls
            }
        }
    }
}

TEST(ResolverKindsTest, LimitedFrictionOnlySlowsTheSliding) {
    // Sliding at 3 with mu 0.1 and a normal speed of 1: the friction impulse is at most mu times the
    // normal impulse (1 for mass 1), so the centre's sliding speed drops by at most 0.1.
    Bodies s;
    s.ball->m_restitution = 0.0f;
    s.ball->m_friction = s.floor->m_friction = 0.1f;
    s.ball->m_linearVelocity = Vector3(3, 1, 0);
    std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0))};
    ComplexFrictionRRResolver r;
    r.resolve(list, 0.2f);
    EXPECT_NEAR(s.ball->m_linearVelocity.y, 0.0f, 1e-5f);
    EXPECT_NEAR(s.ball->m_linearVelocity.x, 2.9f, 1e-3f);
}

TEST(ResolverKindsTest, RestingCornerOfACubeIsHeldWhenItsApproachIsInsideTheCone) {
    // A unit cube of mass 1 (inverse inertia 6) resting on a corner r = (0.5, 0.5, -0.5) in the contact
    // frame (rows t0, t1, n): K = 5.5 I - 6 r r^T. Holding the corner alone takes a tangential impulse
    // 0.6 sqrt(2) = 0.849 times the normal one; resting on its other corners too, the box needs none.
    const Matrix3 k(4.0f, -1.5f, 1.5f, -1.5f, 4.0f, 1.5f, 1.5f, 1.5f, 4.0f);
    const Matrix3 kinv = k.getInverse();
    struct Case {
        Vector3 start;
        float mu;
        bool held;
    };
    const Case cases[] = {
        {Vector3(0, 0, -0.25f), 0.85f, true},      // the holding impulse lies in the cone
        {Vector3(0, 0, -0.25f), 0.8f, true},       // it does not, but the approach (straight in) does
        {Vector3(0.05f, 0, -0.25f), 0.8f, true},   // a slope of 0.2, below the friction 0.8
        {Vector3(0.05f, 0, -0.25f), 0.1f, false},  // steeper than the friction: it slides
        {Vector3(0, 0, -0.25f), 0.3f, false},      // the holding impulse leans beyond twice the cone
    };
    for (const Case& c : cases) {
        Vector3 end;
        float w = 0.0f;
        ASSERT_TRUE(doCompressionIntegration(k, kinv, c.start, c.mu, 0.0f, 20, 0.1f, end, w)) << c.mu;
        EXPECT_NEAR(end.z, 0.0f, 1e-6f) << c.mu;
        EXPECT_LT(w, 0.0f) << c.mu;
        if (c.held) {
            EXPECT_EQ(end.x, 0.0f) << c.mu;
            EXPECT_EQ(end.y, 0.0f) << c.mu;
        } else {
            EXPECT_GT(end.x * end.x + end.y * end.y, 1e-6f) << c.mu;
        }
    }
}

TEST(ResolverFaultsTest, NonPositiveDirectionalMassFallsBackInsteadOfDividing) {
    // An off-centre collision matrix with large friction: r2 . d = K22 - mu K20 tx / s = 1 - 2 * 0.9 < 0.
    const Matrix3 k(1, 0, 0.9f, 0, 1, 0, 0.9f, 0, 1);
    const Matrix3 kinv = k.getInverse();
    Vector3 end(7, 7, 7);
    float w = 5.0f;
    EXPECT_FALSE(doCompressionIntegration(k, kinv, Vector3(1, 0, -1), 2.0f, 0.0f, 20, 0.1f, end, w));
    EXPECT_FLOAT_EQ(end.x, 7.0f);  // untouched
    EXPECT_TRUE(doCompressionIntegration(k, kinv, Vector3(1, 0, -1), 0.5f, 0.0f, 20, 0.1f, end, w));
    EXPECT_NEAR(end.z, 0.0f, 1e-5f);
    EXPECT_LT(w, 0.0f);  // compression absorbs work
}

TEST(ResolverFaultsTest, ContactBetweenTwoExcludedBodiesGivesNoNaN) {
    Bodies s;
    s.ball->setPinned(true);
    std::vector<CollisionDetails> list{s.contact(Vector3(0, 0, 0))};
    Item item;
    calculateCacheItem(list[0], item);
    EXPECT_FALSE(item.usable);
    ComplexFrictionRRResolver r;
    r.resolve(list, 0.2f);
    SimpleFrictionRRResolver simple;
    simple.resolve(list, 0.2f);
    EXPECT_EQ(s.ball->m_linearVelocity.lengthSqrd(), 0.0f);
    EXPECT_TRUE(std::isfinite(s.ball->m_angularVelocity.x));
}

// ---- whole steps ----

namespace {

float groundUp(float x, float z) {
    return 2.0f + 0.3f * std::sin(x / 5.0f) * std::cos(z / 7.0f);
}

struct DropScene {
    explicit DropScene(Subspace::RRResolverType type = Subspace::COMPLEXFRICTION,
                       const std::function<float(float, float)>& up = groundUp)
        : field(33, 33, 1.0f, up), kit(1), box(boxGeometry(Vector3(0.5f, 0.5f, 0.5f))) {
        kit.m_defaultRigidCollection->setODESolver(EULER);
        kit.m_defaultSubspace->setGravity(Vector3(0.0f, 15.1074f, 0.0f));
        kit.m_defaultSubspace->getDeactivator()->setEnabled(false);
        detector = new CollisionDetector(0.2f);
        kit.m_defaultSubspace->m_collisionDetector = detector;
        kit.m_defaultCollisionDetector = detector;
        kit.m_defaultCleanup->remember(detector);
        kit.m_defaultSubspace->setRRResolverType(type);
        kit.m_defaultSubspace->getRRResolver()->setEventPipe(&events);
        ground = new RigidBody();
        HeightFieldPrimitiveBlueprint bp;
        bp.m_heightField = &field;
        bp.m_optimisedCD = 1;
        ground->addPrimitive(bp);
        ground->m_friction = 0.8f;
        ground->m_restitution = 0.1f;
        kit.addRigidBody(ground, Vector3_Zero, Quaternion_Zero);
    }
    RigidBody* drop(float x, float z, float height, const Quaternion& q = Quaternion_Zero) {
        auto* b = new RigidBody();
        GeometricPrimitiveBlueprint bp;
        bp.m_geometry = box.get();
        bp.m_mass = 1.0f;
        bp.m_isConvex = 1;
        b->addPrimitive(bp);
        b->m_friction = 0.8f;
        b->m_restitution = 0.1f;
        kit.addRigidBody(b, Vector3(x, field.getHeightAt(x, z) - height, z), q);
        return b;
    }
    void run(int steps) {
        for (int i = 0; i < steps; ++i) {
            ++step;
            const int before = events.count;
            kit.m_defaultWorld->stepTo(static_cast<float>(step) / 60.0f, 1);
            eventsMatched &= (events.count - before) == lastContacts;
            lastContacts = static_cast<int>(detector->getRRCollisionList().size());
        }
    }
    // Lowest clearance of the box's corners over the ground.
    float clearance(const RigidBody* b) const {
        float best = 1e9f;
        for (int c = 0; c < 8; ++c) {
            const Vector3 local((c & 1) ? 0.5f : -0.5f, (c & 2) ? 0.5f : -0.5f, (c & 4) ? 0.5f : -0.5f);
            const Vector3 p = b->m_transformation.getTransformedPos(local);
            best = std::min(best, field.getHeightAt(p.x, p.z) - p.y);
        }
        return best;
    }

    GridHeightField field;
    Toolkit kit;
    std::unique_ptr<Geometry> box;
    CollisionDetector* detector = nullptr;
    RigidBody* ground = nullptr;
    EventCounter events;
    int step = 0;
    int lastContacts = 0;
    bool eventsMatched = true;
};

}  // namespace

TEST(SettleTest, BoxesDroppedOnAHeightFieldComeToRestWithinTheContactDistance) {
    DropScene s;
    std::vector<RigidBody*> boxes;
    for (int i = 0; i < 4; ++i)
        boxes.push_back(s.drop(8.0f + 4.0f * i, 10.0f + 3.0f * i, 2.0f + 0.5f * i, aboutY(0.3f * i)));
    s.run(210);
    std::vector<Vector3> before;
    for (RigidBody* b : boxes) before.push_back(b->m_position);
    s.run(30);
    EXPECT_TRUE(s.eventsMatched);  // one collision event per contact of the previous detection
    EXPECT_GT(s.events.count, 0);
    for (size_t i = 0; i < boxes.size(); ++i) {
        const RigidBody* b = boxes[i];
        const float c = s.clearance(b);
        // Contacts are resolved as soon as they come within the detector's tolerance (0.2), so a box
        // comes to rest just inside it.
        EXPECT_GT(c, 0.15f);
        EXPECT_LE(c, 0.2f);
        // At rest: each step's resolve takes back the one step of gravity (15.1074 / 60) the integration
        // adds, so the velocity read between steps is that much, but the box no longer moves vertically.
        // Its resting corners are held (see RestingCornerOfACubeIsHeldWhenItsApproachIsInsideTheCone):
        // in half a second it moves by a few millimetres at most, as it rocks between its corners (which
        // also adds a little to the velocity read).
        EXPECT_LT((b->m_position - before[i]).length(), 0.005f) << i;
        EXPECT_LT(b->m_linearVelocity.length(), 0.35f) << i;
    }
}

TEST(SettleTest, BoxesWithFrictionAboveTheCornerCriticalValueDoNotCreep) {
    // The same drop with friction 1 on both sides: every corner sticks, and half a second after settling
    // each box has moved by at most a couple of millimetres.
    DropScene s;
    s.ground->m_friction = 1.0f;
    std::vector<RigidBody*> boxes;
    for (int i = 0; i < 4; ++i) {
        boxes.push_back(s.drop(8.0f + 4.0f * i, 10.0f + 3.0f * i, 2.0f + 0.5f * i, aboutY(0.3f * i)));
        boxes.back()->m_friction = 1.0f;
    }
    s.run(210);
    std::vector<Vector3> before;
    for (RigidBody* b : boxes) before.push_back(b->m_position);
    s.run(30);
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_LT((boxes[i]->m_position - before[i]).length(), 0.005f) << i;
        const float c = s.clearance(boxes[i]);
        EXPECT_GT(c, 0.15f);
        EXPECT_LE(c, 0.2f);
    }
}

TEST(SettleTest, RestitutionChangesTheFirstBounce) {
    float peak[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        DropScene s;
        s.ground->m_restitution = 1.0f;
        RigidBody* b = s.drop(16.0f, 16.0f, 3.0f);
        b->m_restitution = k == 0 ? 0.0f : 0.8f;
        float lowest = 1e9f;
        for (int i = 0; i < 90; ++i) {
            s.run(1);
            lowest = std::min(lowest, b->m_linearVelocity.y);  // most negative: fastest upwards
        }
        peak[k] = -lowest;
    }
    // From 3 up the box lands at about 9.5; restitution 0.8 sends it back up at several metres per second.
    // With 0 only the driving impulse (at most 10 x tolerance = 2) separates it.
    EXPECT_LT(peak[0], 2.0f);
    EXPECT_GT(peak[1], 4.0f);
}

TEST(SettleTest, FrictionHoldsABoxOnASlopeThatItSlidesDownWithout) {
    // A slope of 0.3 (about 17 degrees) rising along +x; the friction of 0.8 on both sides is well above
    // its tangent.
    float moved[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const float mu = k == 0 ? 0.0f : 0.8f;
        DropScene s(Subspace::COMPLEXFRICTION, [](float x, float) { return 1.0f + 0.3f * x; });
        s.ground->m_friction = mu;
        // Turned to lie flat on the slope (its surface y = -(1 + 0.3 x) falls with x), just clear of it.
        const float tilt = std::atan(0.3f);
        RigidBody* b = s.drop(16.0f, 16.0f, 0.5f / std::cos(tilt) + 0.15f, aboutZ(-tilt));
        b->m_friction = mu;
        s.run(30);
        const Vector3 start = b->m_position;
        s.run(60);
        moved[k] = (b->m_position - start).length();
        // Down the slope is towards -x; the held box only jitters by a few hundredths.
        EXPECT_LT(b->m_position.x, start.x + 0.05f) << mu;
        if (mu == 0.0f) {
            EXPECT_LT(b->m_position.x, start.x - 1.0f);
        }
    }
    // Without friction: down the slope at g sin(17 deg), about 2.2 in a second; with it, held.
    EXPECT_GT(moved[0], 1.5f);
    EXPECT_LT(moved[1], 0.1f);
}
