#include "kinetic/dynamics/point_rr_resolver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

bool PointRRResolver::Implementation::getNextCollision(std::vector<CollisionDetails>& group, float threshold,
                                                       CollisionDetails** contact, ResolverDetails** details,
                                                       int& index) {
    for (int examined = 0; examined < m_count; ++examined) {
        const int i = m_cursor;
        m_cursor = (m_cursor + 1) % m_count;
        CollisionDetails& c = group[static_cast<size_t>(i)];
        m_details.relativeVelocity = relativeVelocity(c);
        m_details.normalVelocity = m_details.relativeVelocity.dot(c.m_contact.m_normal);
        if (m_details.normalVelocity < threshold) {
            *contact = &c;
            *details = &m_details;
            index = i;
            return true;
        }
    }
    return false;
}

namespace {

// Velocity of a body (null: none) at the offset r from its centre.
Vector3 pointVelocity(const RigidBody* b, const Vector3& r) {
    return b ? b->m_linearVelocity + b->m_angularVelocity.cross(r) : Vector3_Zero;
}

void give(RigidBody* b, const Vector3& r, const Vector3& j) {
    if (!b) return;
    b->m_linearVelocity += j * b->m_massInv;
    b->m_angularVelocity += b->m_worldInertiaInv * r.cross(j);
}

// The impulse d, given in the contact's frame, to both bodies.
void apply(const PointRRResolver::RestingContact& h, const Vector3& d) {
    const Vector3 j(h.F(0, 0) * d.x + h.F(1, 0) * d.y + h.F(2, 0) * d.z,
                    h.F(0, 1) * d.x + h.F(1, 1) * d.y + h.F(2, 1) * d.z,
                    h.F(0, 2) * d.x + h.F(1, 2) * d.y + h.F(2, 2) * d.z);
    give(h.a, h.ra, j);
    give(h.b, h.rb, -j);
}

RigidBody* movable(const Collidable* c) {
    RigidBody* b = bodyOf(c);
    return isExcluded(b) ? nullptr : b;
}

// Cuts the impulse d (contact frame) where it would add energy to a contact moving at u: d . u + d . K d / 2
// is the change; the best step along d is taken instead, or none.
bool keepsEnergy(const Matrix3& K, const Vector3& u, Vector3& d) {
    const float a = d.dot(u), b = 0.5f * d.dot(K * d);
    if (!(a + b > 0.0f)) return true;
    if (!(a < 0.0f && b > 0.0f)) return false;
    d = d * (-0.5f * a / b);
    return true;
}

// Clips an impulse (contact frame) into the friction cone of mu; a pulling one becomes none.
Vector3 insideCone(Vector3 p, float mu) {
    if (!(p.z > 0.0f)) return Vector3_Zero;
    const float t2 = p.x * p.x + p.y * p.y, limit = mu * p.z;
    if (t2 > limit * limit) {
        const float k = limit / std::sqrt(t2);
        p.x *= k;
        p.y *= k;
    }
    return p;
}

size_t pairHash(const Collidable* a, const Collidable* b) {
    const uint64_t h = reinterpret_cast<uintptr_t>(a) * 0x9E3779B97F4A7C15ull ^
                       reinterpret_cast<uintptr_t>(b) * 0xC2B2AE3D27D4EB4Full;
    return static_cast<size_t>(h >> 32);
}

}  // namespace

void PointRRResolver::startList() {
    m_lastHeld.swap(m_held);
    m_held.clear();
    // An open table of the last list's pairs, each slot the head of its pair's chain of impulses.
    size_t size = 16;
    while (size < 2 * m_lastHeld.size()) size *= 2;
    m_heldTable.assign(size, -1);
    for (size_t i = 0; i < m_lastHeld.size(); ++i) {
        HeldImpulse& e = m_lastHeld[i];
        size_t slot = pairHash(e.a, e.b) & (size - 1);
        while (m_heldTable[slot] >= 0) {
            const HeldImpulse& o = m_lastHeld[static_cast<size_t>(m_heldTable[slot])];
            if (o.a == e.a && o.b == e.b) break;
            slot = (slot + 1) & (size - 1);
        }
        e.next = m_heldTable[slot];
        m_heldTable[slot] = static_cast<int>(i);
    }
}

const PointRRResolver::HeldImpulse* PointRRResolver::lastHeld(const CollisionDetails& c) const {
    constexpr float kSamePoint = 0.02f;  // a resting contact barely moves from one list to the next
    if (m_lastHeld.empty()) return nullptr;
    const size_t mask = m_heldTable.size() - 1;
    size_t slot = pairHash(c.m_objectA, c.m_objectB) & mask;
    int i = m_heldTable[slot];
    while (i >= 0) {
        const HeldImpulse& o = m_lastHeld[static_cast<size_t>(i)];
        if (o.a == c.m_objectA && o.b == c.m_objectB) break;
        slot = (slot + 1) & mask;
        i = m_heldTable[slot];
    }
    const HeldImpulse* best = nullptr;
    float nearest = kSamePoint * kSamePoint;
    for (; i >= 0; i = m_lastHeld[static_cast<size_t>(i)].next) {
        const HeldImpulse& o = m_lastHeld[static_cast<size_t>(i)];
        const float d2 = (o.position - c.m_contact.m_position).lengthSqrd();
        if (d2 < nearest) {
            nearest = d2;
            best = &o;
        }
    }
    return best;
}

// Why resting boxes walked: one impulse at a time, each stopping its own corner outright, the first
// corners of a box settling on the ground took more than their share of its weight, and the later
// corners' impulses then lifted them off again. The loop in resolve revisits only contacts that still
// approach, so every step left the box turning a little and hopping on a corner or two, and on a slope
// it walked downhill, about a millimetre a step (the push out of the contact distance, through a single
// corner, turned it further). Now the slow contacts of a group (the resting ones) are held together
// first: each keeps the impulse it has taken so far, and sweeps over them give back what a contact no
// longer needs (its normal impulse never negative, its friction inside the cone) until all have stopped.
// Each starts from the impulse that held it in the last list, so that what one step's sweeps leave is
// taken up by the next. No step of this adds energy. Impacts are left to the kind's single-contact
// impulses, and so is anything that still approaches afterwards.
void PointRRResolver::holdRestingContacts(std::vector<CollisionDetails>& group) {
    constexpr int kSweeps = 16;
    constexpr float kSettled = 1e-4f;  // the impulse change below which a sweep ends the holding
    m_resting.clear();
    RestingContact r;
    for (size_t i = 0; i < group.size(); ++i) {
        const CollisionDetails& c = group[i];
        if (!(relativeVelocity(c).lengthSqrd() < m_restingSpeed * m_restingSpeed) || !getRestingContact(c, r))
            continue;
        const Vector3& at = c.m_contact.m_position;
        r.a = movable(c.m_objectA);
        r.b = movable(c.m_objectB);
        r.ra = r.a ? at - r.a->m_position : Vector3_Zero;
        r.rb = r.b ? at - r.b->m_position : Vector3_Zero;
        r.index = i;
        r.impulse = Vector3_Zero;
        m_resting.push_back(r);
    }
    // Each contact starts from the impulse that held it in the last list, if it was held there (a resting
    // contact barely moves): the sweeps then only refine it, and across steps they converge.
    for (RestingContact& h : m_resting) {
        const HeldImpulse* best = lastHeld(group[h.index]);
        if (!best) continue;
        const Vector3 u = h.F * (pointVelocity(h.a, h.ra) - pointVelocity(h.b, h.rb));
        Vector3 d = insideCone(h.F * best->impulse, h.mu);
        if (!keepsEnergy(h.K, u, d)) continue;
        h.impulse = d;
        apply(h, d);
    }
    for (int sweep = 0; sweep < kSweeps; ++sweep) {
        float largest = 0.0f;
        for (RestingContact& h : m_resting) {
            const Vector3 u = h.F * (pointVelocity(h.a, h.ra) - pointVelocity(h.b, h.rb));
            // Stops the contact, within the cone; where the cone's clipping would add energy, only the best
            // step towards that.
            const Vector3 stop = h.impulse - h.Kinv * u;
            const Vector3 held = insideCone(stop, h.mu);
            Vector3 d = held - h.impulse;
            // The whole stop, -Kinv u, changes the energy by -u . Kinv u / 2: only a clipped one can add
            // some.
            if (!(held.x == stop.x && held.y == stop.y && held.z == stop.z) && !keepsEnergy(h.K, u, d))
                continue;
            h.impulse += d;
            apply(h, d);
            largest = std::max(largest, d.lengthSqrd());
        }
        if (largest < kSettled * kSettled) break;
    }
    for (const RestingContact& h : m_resting) {
        if (!(h.impulse.z > 0.0f)) continue;
        const CollisionDetails& c = group[h.index];
        m_held.push_back(
            {c.m_objectA, c.m_objectB, c.m_contact.m_position, h.F.transposed() * h.impulse, -1});
        // A pressed pair that sits too close moves apart along the normal, at the driving speed, without
        // spin: a push through the contact point would turn the body and slide its other corners.
        const float speed = drivingSpeed(c, m_tolerance);
        if (!(speed > 0.0f)) continue;
        const Vector3& n = c.m_contact.m_normal;
        const Vector3 va = h.a ? h.a->m_linearVelocity : Vector3_Zero;
        const Vector3 vb = h.b ? h.b->m_linearVelocity : Vector3_Zero;
        const float missing = speed - (va - vb).dot(n);
        if (!(missing > 0.0f)) continue;
        const float share = h.a && h.b ? 0.5f * missing : missing;
        if (h.a) h.a->m_linearVelocity += n * share;
        if (h.b) h.b->m_linearVelocity -= n * share;
    }
}

void PointRRResolver::resolve(std::vector<CollisionDetails>& group) {
    m_impulses = 0;
    if (group.empty()) return;
    m_impl->m_cursor = 0;
    m_impl->m_count = static_cast<int>(group.size());
    CollisionDetails* contact = nullptr;
    ResolverDetails* details = nullptr;
    int index = 0;
    const int budget = 4 * m_impl->m_budgetBase;
    bool held = false;
    while (m_impulses < budget &&
           m_impl->getNextCollision(group, kApproachThreshold, &contact, &details, index)) {
        if (!held) {  // something approaches: resting contacts are held first, then the loop goes on
            held = true;
            holdRestingContacts(group);
            continue;
        }
        details->lateIteration = m_impulses > m_impl->m_budgetBase;
        const Vector3 j = resolveSingleContact(*contact, *details);
        applyImpulsePair(j, *contact);
        applyDrivingImpulse(*contact, m_tolerance);
        ++m_impulses;
    }
}

}  // namespace Kinetic
