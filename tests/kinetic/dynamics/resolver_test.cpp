// Collision response: the impulse loop's threshold and budget, the resolver kinds' formulas, guarded
// degenerate cases, and boxes settling on a height field.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "../collide/grid_height_field.h"
#include "../collide/test_shapes.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_group.h"
#include "kinetic/dynamics/complex_friction_rr_resolver.h"
#include "kinetic/dynamics/event_pipe.h"
#include "kinetic/dynamics/frictionless_rr_resolver.h"
#include "kinetic/dynamics/naive_resolver.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/simple_friction_rr_resolver.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"
#include "resolver_kinds.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

const Vector3 kUp(0.0f, -1.0f, 0.0f);  // +y is down: the floor's normal points to -y

// A unit ball of mass 1 (restitution e, friction mu) above a fixed floor plane at y = 0 (restitution 1,
// friction mu), touching it at the origin.
struct Bodies {
    explicit Bodies(float e = 0.0f, float mu = 0.5f)
        : ball(sphereBody(1.0f, 1.0f, Vector3(0, -1, 0))), floor(planeBody(kUp, 0.0f)) {
        floor->setFixed();
        ball->m_restitution = e;
        floor->m_restitution = 1.0f;
        ball->m_friction = floor->m_friction = mu;
    }
    CollisionDetails contact(const Vector3& point = Vector3_Zero, float distance = 0.0f) const {
        CollisionDetails d;
        d.m_objectA = ball->getPrimitives()[0];
        d.m_objectB = floor->getPrimitives()[0];
        d.m_contact.m_normal = kUp;
        d.m_contact.m_position = point;
        d.m_contact.m_distance = distance;
        return d;
    }
    void resolve(RRResolver& r) {
        std::vector<CollisionDetails> list{contact()};
        r.resolve(list, 0.2f);
    }
    std::unique_ptr<RigidBody> ball;
    std::unique_ptr<RigidBody> floor;
};

struct EventCounter : EventPipe {
    void raiseEvent(Event& e) override { count += e.m_eventID == CollisionEvent::defaultID; }
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

TEST(ResolverLoopTest, ThresholdBudgetAndEvents) {
    Bodies s;
    FrictionlessRRResolver r;
    s.ball->m_linearVelocity = Vector3(0, 0.001f, 0);  // normal velocity -0.001: not strictly below
    s.resolve(r);
    EXPECT_EQ(r.getImpulseCount(), 0);
    EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.y, 0.001f);
    s.ball->m_linearVelocity = Vector3(0, 0.0011f, 0);
    s.resolve(r);
    EXPECT_EQ(r.getImpulseCount(), 1);
    EXPECT_NEAR(s.ball->m_linearVelocity.y, 0.0f, 1e-7f);
    // A group that approaches forever gets 400 impulses, late from the 102nd.
    StubbornResolver stubborn;
    s.ball->m_linearVelocity = Vector3(0, 1, 0);
    s.resolve(stubborn);
    ASSERT_EQ(stubborn.late.size(), 400u);
    EXPECT_FALSE(stubborn.late[100]);
    EXPECT_TRUE(stubborn.late[101]);
    EXPECT_TRUE(stubborn.late[399]);
    // Every contact is reported before any impulse, approaching or not.
    Bodies still;
    ComplexFrictionRRResolver complex;
    EventCounter events;
    complex.setEventPipe(&events);
    std::vector<CollisionDetails> list{still.contact(), still.contact(Vector3(0.1f, 0, 0))};
    complex.resolve(list, 0.2f);
    EXPECT_EQ(events.count, 2);
    EXPECT_FLOAT_EQ(complex.m_tolerance, 0.2f);
}

TEST(ResolverKindsTest, NaiveReflectsAgainstAFixedBody) {
    Bodies s;
    s.ball->m_linearVelocity = Vector3(1, 2, 3);
    s.ball->m_angularVelocity = Vector3(0.5f, 0, -1);
    NaiveResolver r;
    s.resolve(r);
    EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.x, -1.0f);
    EXPECT_FLOAT_EQ(s.ball->m_linearVelocity.z, -3.0f);
    EXPECT_FLOAT_EQ(s.ball->m_angularVelocity.z, 1.0f);
    EXPECT_EQ(s.floor->m_linearVelocity.lengthSqrd(), 0.0f);
}

TEST(ResolverKindsTest, BounceAndFrictionOfASingleContact) {
    // Straight down through the centre no friction acts: every kind gives e * v back. Sliding at 1 while
    // falling at 2: with ample friction the contact point sticks (the complex resolver's 20 compression
    // steps take its sliding speed, 1 - 0.35 per step, below the stick threshold 0.1) and the ball rolls;
    // without, the sliding is untouched. Sliding at 3 with mu 0.1 and normal speed 1, the friction impulse
    // is at most 0.1 times the normal one (1): the centre slows to 2.9.
    struct Case {
        int kind;
        float e, mu;
        Vector3 v;
        float centreX, pointX;  // expected, after
        bool rolls;
    };
    const int F = Subspace::FRICTIONLESS, S = Subspace::SIMPLEFRICTION, C = Subspace::COMPLEXFRICTION;
    std::vector<Case> cases;
    for (int kind : {F, S, C})
        for (float e : {0.0f, 0.25f, 0.5f})
            cases.push_back({kind, e, 0.5f, Vector3(0, 2, 0), 0.0f, 0.0f, false});
    for (int kind : {S, C}) {
        cases.push_back({kind, 0.0f, 0.0f, Vector3(1, 2, 0), 1.0f, 1.0f, false});
        cases.push_back({kind, 0.0f, 1.0f, Vector3(1, 2, 0), NAN, 0.0f, true});
    }
    cases.push_back({C, 0.0f, 0.1f, Vector3(3, 1, 0), 2.9f, NAN, true});
    for (const Case& c : cases) {
        Bodies s(c.e, c.mu);
        s.ball->m_linearVelocity = c.v;
        s.resolve(*makeResolver(c.kind));
        SCOPED_TRACE(std::to_string(c.kind) + " e " + std::to_string(c.e) + " mu " + std::to_string(c.mu));
        EXPECT_NEAR(s.ball->m_linearVelocity.y, -c.v.y * c.e, 1e-5f);
        if (!std::isnan(c.centreX)) {
            EXPECT_NEAR(s.ball->m_linearVelocity.x, c.centreX, 1e-3f);
        }
        if (!std::isnan(c.pointX)) {
            EXPECT_NEAR(s.ball->getPointVelocity(Vector3_Zero).x, c.pointX, 1e-4f);
        }
        if (c.rolls) {
            EXPECT_GT(std::fabs(s.ball->m_angularVelocity.z), 0.1f);
        } else {
            EXPECT_NEAR(s.ball->m_angularVelocity.lengthSqrd(), 0.0f, 1e-10f);
        }
    }
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
            EXPECT_TRUE(end.x == 0.0f && end.y == 0.0f) << c.mu;
        } else {
            EXPECT_GT(end.x * end.x + end.y * end.y, 1e-6f) << c.mu;
        }
    }
}

TEST(ResolverFaultsTest, DegenerateContactsFallBackInsteadOfDividing) {
    // An off-centre collision matrix with large friction: r2 . d = K22 - mu K20 tx / s = 1 - 2 * 0.9 < 0.
    const Matrix3 k(1, 0, 0.9f, 0, 1, 0, 0.9f, 0, 1);
    Vector3 end(7, 7, 7);
    float w = 5.0f;
    EXPECT_FALSE(
        doCompressionIntegration(k, k.getInverse(), Vector3(1, 0, -1), 2.0f, 0.0f, 20, 0.1f, end, w));
    EXPECT_FLOAT_EQ(end.x, 7.0f);  // untouched
    // A contact between two bodies that take no impulse gives no NaN.
    Bodies s;
    s.ball->setPinned(true);
    Item item;
    calculateCacheItem(s.contact(), item);
    EXPECT_FALSE(item.usable);
    for (int kind : {Subspace::SIMPLEFRICTION, Subspace::COMPLEXFRICTION}) s.resolve(*makeResolver(kind));
    EXPECT_EQ(s.ball->m_linearVelocity.lengthSqrd(), 0.0f);
    EXPECT_TRUE(std::isfinite(s.ball->m_angularVelocity.x));
}

// ---- whole steps ----

namespace {

// The race's settings over a 33 x 33 height field of friction 0.8 and restitution 0.1 (by default gently
// rolling, with its surface 2 up), collision events counted.
struct DropScene {
    explicit DropScene(const std::function<float(float, float)>& up =
                           [](float x, float z) {
                               return 2.0f + 0.3f * std::sin(x / 5.0f) * std::cos(z / 7.0f);
                           })
        : field(33, 33, 1.0f, up), kit(1), box(boxGeometry(Vector3(0.5f, 0.5f, 0.5f))) {
        kit.m_defaultRigidCollection->setODESolver(EULER);
        kit.m_defaultSubspace->setGravity(Vector3(0.0f, 15.1074f, 0.0f));
        kit.m_defaultSubspace->getDeactivator()->setEnabled(false);
        detector = new CollisionDetector(0.2f);
        kit.m_defaultSubspace->m_collisionDetector = kit.m_defaultCollisionDetector = detector;
        kit.m_defaultCleanup->remember(detector);
        kit.m_defaultSubspace->getRRResolver()->setEventPipe(&events);
        ground = fieldBody(&field, true);
        ground->m_friction = 0.8f;
        ground->m_restitution = 0.1f;
        kit.addRigidBody(ground, Vector3_Zero, Quaternion_Zero);
    }
    RigidBody* drop(float x, float z, float height, const Quaternion& q = Quaternion_Zero) {
        RigidBody* b = meshBody(box.get(), 1.0f, true, Vector3_Zero);
        b->m_friction = 0.8f;
        b->m_restitution = 0.1f;
        kit.addRigidBody(b, Vector3(x, field.getHeightAt(x, z) - height, z), q);
        return b;
    }
    void run(int steps) {
        for (int i = 0; i < steps; ++i) {
            const int before = events.count;
            kit.m_defaultWorld->stepTo(static_cast<float>(++step) / 60.0f, 1);
            eventsMatched &= (events.count - before) == lastContacts;
            lastContacts = static_cast<int>(detector->getRRCollisionList().size());
        }
    }
    // Lowest clearance of the box's corners over the ground.
    float clearance(const RigidBody* b) const {
        float best = 1e9f;
        for (int c = 0; c < 8; ++c) {
            const Vector3 p = b->m_transformation.getTransformedPos(
                Vector3((c & 1) ? 0.5f : -0.5f, (c & 2) ? 0.5f : -0.5f, (c & 4) ? 0.5f : -0.5f));
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
        // Contacts are resolved as soon as they come within the detector's tolerance (0.2), so a box
        // comes to rest just inside it.
        const float c = s.clearance(boxes[i]);
        EXPECT_GT(c, 0.15f);
        EXPECT_LE(c, 0.2f);
        // Each step's resolve takes back the one step of gravity (15.1074 / 60) the integration adds, so
        // the velocity read between steps is that much; the box rocks between its held corners by a few
        // millimetres at most.
        EXPECT_LT((boxes[i]->m_position - before[i]).length(), 0.005f) << i;
        EXPECT_LT(boxes[i]->m_linearVelocity.length(), 0.35f) << i;
    }
}
