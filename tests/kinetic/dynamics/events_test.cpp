// Collision events through the filter (interval, speed, A/B roles) to the delegator and its callbacks.
#include <gtest/gtest.h>

#include <vector>

#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_event_filter.h"
#include "kinetic/dynamics/event_callback_proxy.h"
#include "kinetic/dynamics/event_delegator.h"
#include "kinetic/dynamics/interpenetration_event.h"
#include "kinetic/dynamics/phantom_penetration_event.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/subspace.h"

using namespace Kinetic;

namespace {

// Stands in for the game's model: two handlers behind proxies.
struct Model {
    void onCollide(Event& e) {
        auto& c = static_cast<CollisionEvent&>(e);
        collisions.push_back(c);
    }
    void onPhantom(Event& e) { phantoms.push_back(static_cast<PhantomPenetrationEvent&>(e).m_state); }
    std::vector<CollisionEvent> collisions;
    std::vector<int> phantoms;
};

struct Scene {
    Scene() {
        SphericalPrimitiveBlueprint bp;
        bp.m_radius = 0.5f;
        bp.m_mass = 1.0f;
        a = bodyA.addPrimitive(bp);
        b = bodyB.addPrimitive(bp);
        c = bodyB.addPrimitive(bp);
        sub.registerCallbackObject(&collideProxy, CollisionEvent::defaultID);
        sub.registerCallbackObject(&phantomProxy, PhantomPenetrationEvent::defaultID);
    }
    CollisionEvent event(Collidable* x, Collidable* y) {
        CollisionEvent e;
        e.m_objectA = x;
        e.m_objectB = y;
        e.m_point = Vector3(0, 0, 0);
        e.m_normal = Vector3(0, -1, 0);
        return e;
    }
    bool raise(CollisionEvent e, float now) {
        sub.m_lastTime = now;
        const size_t before = model.collisions.size();
        filter.raiseEvent(e);
        return model.collisions.size() > before;
    }
    Subspace sub;
    Model model;
    EventCallbackProxy<Model> collideProxy{&model, &Model::onCollide};
    EventCallbackProxy<Model> phantomProxy{&model, &Model::onPhantom};
    CollisionEventFilter filter{sub.getEventDelegator(), sub};
    RigidBody bodyA, bodyB;
    Primitive *a, *b, *c;
};

}  // namespace

TEST(CollisionEventFilterTest, GameRegistrationPassesAtMostOncePerSecondAndReportsItAsA) {
    Scene s;
    s.filter.registerInterest(s.a, nullptr, 1.0f, 0.0f, CollisionEvent::defaultID);
    EXPECT_FALSE(s.raise(s.event(s.a, s.b), 0.0f));
    EXPECT_FALSE(s.raise(s.event(s.a, s.b), 0.99f));  // none before t = 1.0
    EXPECT_TRUE(s.raise(s.event(s.a, s.b), 1.0f));    // exactly the interval passes under A
    EXPECT_FALSE(s.raise(s.event(s.a, s.c), 1.5f));
    EXPECT_FALSE(s.raise(s.event(s.b, s.a), 2.0f));  // exactly the interval is still held back under B
    ASSERT_TRUE(s.raise(s.event(s.b, s.a), 2.01f));
    const CollisionEvent& e = s.model.collisions.back();  // registered as B: reported as A, normal negated
    EXPECT_EQ(e.m_objectA, s.a);
    EXPECT_EQ(e.m_objectB, s.b);
    EXPECT_EQ(e.m_normal.y, 1.0f);
    EXPECT_EQ(s.model.collisions[0].m_objectA, s.a);
    EXPECT_FALSE(s.raise(s.event(s.b, s.c), 50.0f));  // unregistered collidables pass nothing
}

TEST(CollisionEventFilterTest, SpeedLimitPartnerAndChainedRegistrations) {
    Scene s;
    s.bodyB.m_linearVelocity = Vector3(0, 3, 0);              // B approaches along the normal at 3
    s.filter.registerInterest(s.a, s.c, 0.0f, 0.0f, 40);      // only against c
    s.filter.registerInterest(s.a, nullptr, 0.0f, 5.0f, 41);  // too fast a limit for this contact
    s.filter.registerInterest(s.a, nullptr, 0.0f, 1.0f, 42);
    CollisionEvent e = s.event(s.a, s.b);
    s.sub.m_lastTime = 3.0f;
    EXPECT_EQ(s.filter.filter(e), 0);
    EXPECT_EQ(e.m_eventID, 42);  // the first matching registration that passes decides
    EXPECT_FLOAT_EQ(e.m_nrv, 3.0f);
    CollisionEvent withC = s.event(s.a, s.c);
    EXPECT_EQ(s.filter.filter(withC), 0);
    EXPECT_EQ(withC.m_eventID, 40);
    // The speed is written into the event even when it then drops it.
    Scene slow;
    slow.filter.registerInterest(slow.a, nullptr, 0.0f, 10.0f, 2);
    slow.bodyB.m_linearVelocity = Vector3(0, -2, 0);
    CollisionEvent d = slow.event(slow.a, slow.b);
    EXPECT_EQ(slow.filter.filter(d), 1);
    EXPECT_FLOAT_EQ(d.m_nrv, 2.0f);
    // Events with ids nobody registered for reach no callback.
    slow.filter.registerInterest(slow.b, nullptr, 0.0f, 0.0f, 77);
    EXPECT_FALSE(slow.raise(slow.event(slow.b, slow.c), 1.0f));
}

TEST(EventDelegatorTest, CallsCallbacksOfTheEventIdInRegistrationOrder) {
    Scene s;
    EventDelegator& d = *s.sub.getEventDelegator();
    std::vector<int> order;
    struct Tagged : EventCallback {
        Tagged(std::vector<int>* o, int t) : order(o), tag(t) {}
        void receiveEvent(Event&) override { order->push_back(tag); }
        std::vector<int>* order;
        int tag;
    } first(&order, 1), second(&order, 2);
    d.registerCallbackObject(&second, 9);
    d.registerCallbackObject(&first, 9);
    d.registerCallbackObject(&second, 9);  // no effect
    Event e(9);
    d.raiseEvent(e);
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
    // Interpenetration events have no callbacks in the game's wiring.
    InterpenetrationEvent ip;
    d.raiseEvent(ip);
    EXPECT_TRUE(s.model.collisions.empty());
    PhantomPenetrationEvent began, ended;
    ended.m_state = PhantomPenetrationEvent::ENDED;
    d.raiseEvent(began);
    d.raiseEvent(ended);
    EXPECT_EQ(s.model.phantoms, (std::vector<int>{0, 1}));
    EXPECT_EQ(ip.m_eventID, 3);
    EXPECT_EQ(began.m_eventID, 5);
}

TEST(CollisionEventFilterTest, RegistrationsAreKeptByIdNotAddress) {
    // A collidable created later has a new id, so it never inherits a dead one's registration even if
    // it lands at the same address.
    Subspace sub;
    struct Sink : EventPipe {
        void raiseEvent(Event&) override { ++count; }
        int count = 0;
    } sink;
    CollisionEventFilter filter(&sink, sub);
    SphericalPrimitiveBlueprint bp;
    bp.m_radius = 1;
    bp.m_mass = 1;
    uint32_t oldId;
    {
        RigidBody old;
        Primitive* p = old.addPrimitive(bp);
        oldId = p->m_ID;
        filter.registerInterest(p, nullptr, 0.0f, 0.0f, 2);
    }
    RigidBody fresh, other;
    Primitive* p = fresh.addPrimitive(bp);
    Primitive* q = other.addPrimitive(bp);
    EXPECT_NE(p->m_ID, oldId);
    CollisionEvent e;
    e.m_objectA = p;
    e.m_objectB = q;
    filter.raiseEvent(e);
    EXPECT_EQ(sink.count, 0);
}
