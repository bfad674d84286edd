#include "kinetic/dynamics/rr_resolver.h"

#include <algorithm>
#include <cmath>

#include "kinetic/collide/collidable.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_group.h"
#include "kinetic/dynamics/event_pipe.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

RigidBody* bodyOf(const Collidable* c) {
    return c ? static_cast<RigidBody*>(c->m_entity) : nullptr;
}

bool isExcluded(const RigidBody* b) {
    return !b || b->isFixed() || b->isPinned();
}

Vector3 relativeVelocity(const CollisionDetails& contact) {
    const RigidBody* a = bodyOf(contact.m_objectA);
    const RigidBody* b = bodyOf(contact.m_objectB);
    const Vector3& p = contact.m_contact.m_position;
    Vector3 v;
    if (a && !a->isFixed()) v += a->getPointVelocity(p);
    if (b && !b->isFixed()) v -= b->getPointVelocity(p);
    return v;
}

void RRResolver::resolve(std::vector<CollisionDetails>& list, float tolerance) {
    m_tolerance = tolerance;
    startList();
    if (list.empty()) return;
    raiseCollisionEvents(list);
    CollisionGroup groups(list);
    std::vector<CollisionDetails>& group = m_group;  // kept from list to list: no allocation once grown
    while (groups.getNextGroup(group)) {
        for (size_t i = 0; i < group.size(); ++i) group[i].m_group = static_cast<int>(i);
        resolve(group);
    }
}

void RRResolver::raiseCollisionEvents(std::vector<CollisionDetails>& list) {
    if (!m_eventPipe) return;
    for (const CollisionDetails& d : list) {
        CollisionEvent e;
        e.m_objectA = d.m_objectA;
        e.m_objectB = d.m_objectB;
        e.m_point = d.m_contact.m_position;
        e.m_normal = d.m_contact.m_normal;
        e.m_nrv = 0.0f;
        m_eventPipe->raiseEvent(e);
    }
}

void RRResolver::applyImpulsePair(const Vector3& impulse, const CollisionDetails& contact) {
    const Vector3& p = contact.m_contact.m_position;
    RigidBody* a = bodyOf(contact.m_objectA);
    RigidBody* b = bodyOf(contact.m_objectB);
    if (!isExcluded(a)) {
        a->m_linearVelocity += impulse * a->m_massInv;
        a->m_angularVelocity += a->m_worldInertiaInv * (p - a->m_position).cross(impulse);
    }
    if (!isExcluded(b)) {
        const Vector3 j = -impulse;
        b->m_linearVelocity += j * b->m_massInv;
        b->m_angularVelocity += b->m_worldInertiaInv * (p - b->m_position).cross(j);
    }
}

Vector3 keepEnergy(const Matrix3& K, const Vector3& u, const Vector3& p, const Vector3& fallback) {
    const float gain = p.dot(u) + 0.5f * p.dot(K * p);
    if (gain <= 0.0f) return p;
    if (!std::isfinite(gain)) return fallback;
    // Energy change along the blend: a s^2 + b s + c with c <= 0; take the larger root, a little short.
    const Vector3 q = p - fallback;
    const float a = 0.5f * q.dot(K * q);
    const float b = q.dot(u + K * fallback);
    const float c = std::min(0.0f, fallback.dot(u) + 0.5f * fallback.dot(K * fallback));
    float s = 0.0f;
    if (a > 0.0f)
        s = (-b + std::sqrt(std::max(0.0f, b * b - 4.0f * a * c))) / (2.0f * a);
    else if (b > 0.0f)
        s = -c / b;
    s = s > 0.0f ? std::min(0.999f * s, 1.0f) : 0.0f;  // NaN gives 0
    return fallback + q * s;
}

float drivingSpeed(const CollisionDetails& contact, float tolerance) {
    const float band = 0.9f * tolerance;
    if (!(band > 0.0f)) return 0.0f;
    const float x = (band - contact.m_contact.m_distance) / band;
    return x > 0.0f && x < 1.0f ? 10.0f * tolerance * x * x : 0.0f;
}

void applyDrivingImpulse(const CollisionDetails& contact, float tolerance) {
    const float speed = drivingSpeed(contact, tolerance);
    if (!(speed > 0.0f)) return;
    const Vector3& n = contact.m_contact.m_normal;
    if (!(relativeVelocity(contact).dot(n) > 0.0f)) return;
    const Vector3 j = n * speed;
    const Vector3& p = contact.m_contact.m_position;
    // Scaled by each body's own mass: both gain the same linear velocity change whatever they weigh.
    RigidBody* a = bodyOf(contact.m_objectA);
    RigidBody* b = bodyOf(contact.m_objectB);
    if (!isExcluded(a)) {
        const Vector3 ja = j * a->m_mass;
        a->m_linearVelocity += ja * a->m_massInv;
        a->m_angularVelocity += a->m_worldInertiaInv * (p - a->m_position).cross(ja);
    }
    if (!isExcluded(b)) {
        const Vector3 jb = j * -b->m_mass;
        b->m_linearVelocity += jb * b->m_massInv;
        b->m_angularVelocity += b->m_worldInertiaInv * (p - b->m_position).cross(jb);
    }
}

}  // namespace Kinetic
