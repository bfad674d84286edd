#include "kinetic/dynamics/collision_event_filter.h"

#include <cmath>

#include "kinetic/collide/collidable.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

namespace {

Vector3 pointVelocity(const Collidable* c, const Vector3& p) {
    const Entity* e = c ? c->m_entity : nullptr;
    return e ? static_cast<const RigidBody*>(e)->getPointVelocity(p) : Vector3_Zero;
}

}  // namespace

CollisionEventFilter::CollisionEventFilter(EventPipe* child, const Subspace& subspace)
    : FilteredEventPipe(child), m_impl(new Impl{&subspace, {}}) {}

CollisionEventFilter::~CollisionEventFilter() {
    for (auto& [id, chain] : m_impl->m_pairs) delete chain;
    delete m_impl;
}

void CollisionEventFilter::registerInterest(Collidable* a, Collidable* b, float frequency, float minSpeed,
                                            int eventId) {
    auto* pair = new EventPair(a, b, frequency != 0.0f ? 1.0f / frequency : 0.0f, minSpeed, eventId);
    EventPair*& head = m_impl->m_pairs[a->m_ID];
    if (!head) {
        head = pair;
        return;
    }
    EventPair* p = head;
    while (p->m_next) p = p->m_next;
    p->m_next = pair;
}

int CollisionEventFilter::filter(Event& e) {
    auto& ce = static_cast<CollisionEvent&>(e);
    const float now = m_impl->m_subspace->m_lastTime;
    auto nrv = [&ce]() {
        const Vector3 va = pointVelocity(ce.m_objectA, ce.m_point);
        const Vector3 vb = pointVelocity(ce.m_objectB, ce.m_point);
        return std::fabs((vb - va).dot(ce.m_normal));
    };
    if (ce.m_objectA) {
        auto it = m_impl->m_pairs.find(ce.m_objectA->m_ID);
        if (it != m_impl->m_pairs.end()) {
            for (EventPair* p = it->second; p; p = p->m_next) {
                if (p->m_objectB && p->m_objectB != ce.m_objectB) continue;
                if (now - p->m_lastTime < p->m_interval) continue;
                ce.m_nrv = nrv();
                if (ce.m_nrv < p->m_minSpeed) continue;
                p->m_lastTime = now;
                ce.m_eventID = p->m_eventID;
                return 0;
            }
            return 1;
        }
    }
    if (ce.m_objectB) {
        auto it = m_impl->m_pairs.find(ce.m_objectB->m_ID);
        if (it != m_impl->m_pairs.end()) {
            for (EventPair* p = it->second; p; p = p->m_next) {
                if (p->m_objectB && p->m_objectB != ce.m_objectA) continue;
                // Found under B, an event exactly one interval after the last is still held back.
                if (now - p->m_lastTime <= p->m_interval) continue;
                ce.m_nrv = nrv();
                if (ce.m_nrv < p->m_minSpeed) continue;
                p->m_lastTime = now;
                ce.m_eventID = p->m_eventID;
                Collidable* a = ce.m_objectA;
                ce.m_objectA = ce.m_objectB;
                ce.m_objectB = a;
                ce.m_normal = -ce.m_normal;
                return 0;
            }
        }
    }
    return 1;
}

}  // namespace Kinetic
