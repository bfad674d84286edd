#include "kinetic/dynamics/complex_friction_rr_resolver.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

// Below this r2 . d the integration would divide by (nearly) zero or reverse the normal impulse.
constexpr float kMinDirectionalMass = 1e-6f;

Vector3 row(const Matrix3& m, int r) {
    return Vector3(m(r, 0), m(r, 1), m(r, 2));
}

// Friction opposes the sliding velocity (tx, ty) of speed s; unit normal impulse.
Vector3 slidingDirection(float mu, float tx, float ty, float s) {
    return Vector3(-mu * tx / s, -mu * ty / s, 1.0f);
}

bool insideCone(const Matrix3& Kinv, float mu) {
    const float a = Kinv(0, 2), b = Kinv(1, 2), c = mu * Kinv(2, 2);
    return a * a + b * b <= c * c;
}

// The normal impulse after which friction, changing the sliding velocity (tx, ty) by (gx, gy) per unit,
// brings it to its slowest; a very large value when friction does not slow it.
float stopsSlidingAfter(float tx, float ty, float gx, float gy) {
    const float tg = tx * gx + ty * gy, gg = gx * gx + gy * gy;
    return tg < 0.0f ? -tg / gg : FLT_MAX;
}

// A resting contact (sliding below the stick threshold) whose approach lies inside the friction cone, as
// on a slope shallower than the friction angle. One corner of a body resting on several leans its holding
// impulse away from the normal (for a cube's corner the impulse needs friction 0.849), because a single
// impulse there must also stop the body turning about that corner; resting on its other corners, the body
// gets that turn stopped by them. So the contact is held when its approach is inside the cone and its
// holding impulse is within twice the cone. Holding is a perfectly inelastic stop: it adds no energy.
bool holdsAtRest(const Matrix3& Kinv, float tx, float ty, float approach, float mu) {
    if (!(mu > 0.0f) || !(approach > 0.0f) || tx * tx + ty * ty > mu * mu * approach * approach) return false;
    const Vector3 p = Kinv * Vector3(-tx, -ty, approach);
    return p.z > 0.0f && p.x * p.x + p.y * p.y <= 4.0f * mu * mu * p.z * p.z;
}

// v scaled to length 1 (the frame's axes are never zero: n is a unit normal, crossed with the axis it is
// least aligned with).
Vector3 unit(const Vector3& v) {
    const float k = 1.0f / std::sqrt(v.lengthSqrd());
    return Vector3(v.x * k, v.y * k, v.z * k);
}

// Adds a body's collision matrix at p (the velocity change there per unit impulse) seen in the frame of
// the given axes: with c_i = r x axis_i, element (i, j) is 1/m [i == j] + c_i . Iw^-1 c_j.
void addCollisionMatrix(const RigidBody& body, const Vector3& p, const Vector3 (&axes)[3], Matrix3& k) {
    const Vector3 r = p - body.m_position;
    const Vector3 c[3] = {r.cross(axes[0]), r.cross(axes[1]), r.cross(axes[2])};
    for (int j = 0; j < 3; ++j) {
        const Vector3 wc = body.m_worldInertiaInv * c[j];
        k(j, j) += body.m_massInv + c[j].dot(wc);
        for (int i = 0; i < j; ++i) {
            const float e = c[i].dot(wc);
            k(i, j) += e;
            k(j, i) += e;
        }
    }
}

}  // namespace

void calculateCacheItem(const CollisionDetails& contact, Item& item) {
    const Vector3& n = contact.m_contact.m_normal;
    const Vector3 t1 = unit(std::fabs(n.x) < 0.57f ? n.cross(Vector3(1, 0, 0)) : n.cross(Vector3(0, 1, 0)));
    const Vector3 t0 = unit(t1.cross(n));
    item.contactFrame = Matrix3(t0.x, t0.y, t0.z, t1.x, t1.y, t1.z, n.x, n.y, n.z);
    const Vector3& p = contact.m_contact.m_position;
    const Vector3 axes[3] = {t0, t1, n};
    Matrix3 k = Matrix3_Zero;
    const RigidBody* a = bodyOf(contact.m_objectA);
    const RigidBody* b = bodyOf(contact.m_objectB);
    if (!isExcluded(a)) addCollisionMatrix(*a, p, axes, k);
    if (!isExcluded(b)) addCollisionMatrix(*b, p, axes, k);
    item.collisionMatrix = k;
    // Both bodies excluded: a zero matrix has no inverse, and no impulse would reach them anyway.
    item.usable = !k.isExactlyZero();
    item.inverseCollisionMatrix = item.usable ? k.getInverse() : Matrix3_Zero;
    if (item.usable) {
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r)
                if (!std::isfinite(item.inverseCollisionMatrix(r, c))) item.usable = false;
    }
}

bool doCompressionIntegration(const Matrix3& K, const Matrix3& Kinv, const Vector3& startVelocity, float mu,
                              float target, int steps, float stickThreshold, Vector3& endVelocity,
                              float& work) {
    const Vector3 r0 = row(K, 0), r1 = row(K, 1), r2 = row(K, 2);
    float tx = startVelocity.x, ty = startVelocity.y, vz = startVelocity.z;
    float w = 0.0f;
    const float step = (target - vz) / static_cast<float>(steps);
    bool early = false;
    for (int i = 0; i < steps; ++i) {
        const float s = std::sqrt(tx * tx + ty * ty);
        if (s < stickThreshold) {
            early = true;
            break;
        }
        const Vector3 d = slidingDirection(mu, tx, ty, s);
        const float r2d = r2.dot(d);
        if (!(r2d > kMinDirectionalMass)) return false;
        const float dPn = step / r2d;
        const float gx = r0.dot(d), gy = r1.dot(d);
        const float part = stopsSlidingAfter(tx, ty, gx, gy);
        if (part < dPn) {
            // Friction would carry the sliding past its slowest point within this step, reversing it
            // (and, with a large friction, speeding it up): go only that far and decide there.
            tx += part * gx;
            ty += part * gy;
            w += part * vz;
            vz += part * r2d;
            early = true;
            break;
        }
        tx += dPn * gx;
        ty += dPn * gy;
        w += dPn * vz;
        vz += step;
    }
    if (early) {
        // A contact that barely slides sticks when the impulse that holds it lies inside the friction
        // cone, or when it is held at rest (see holdsAtRest: a box's corner leans its holding impulse
        // away from the normal, and without that rule a box resting on its corners at friction 0.8
        // would creep by centimetres per second).
        if (insideCone(Kinv, mu) || holdsAtRest(Kinv, tx, ty, target - vz, mu)) {
            tx = ty = 0.0f;
            w += 0.5f * Kinv(2, 2) * (target * target - vz * vz);
            vz = target;
        } else {
            float s = std::sqrt(tx * tx + ty * ty);
            if (s == 0.0f) s = 1.0f;
            const Vector3 d = slidingDirection(mu, tx, ty, s);
            const float r2d = r2.dot(d);
            if (!(r2d > kMinDirectionalMass)) return false;
            tx += (target - vz) * r0.dot(d) / r2d;
            ty += (target - vz) * r1.dot(d) / r2d;
            w += (target * target - vz * vz) / (2.0f * r2d);
            vz = target;
        }
    }
    endVelocity = Vector3(tx, ty, vz);
    work = w;
    return true;
}

bool doRestitutionIntegration(const Matrix3& K, const Matrix3& Kinv, const Vector3& startVelocity, float mu,
                              float startWork, float targetWork, int steps, float stickThreshold,
                              Vector3& endVelocity) {
    const Vector3 r0 = row(K, 0), r1 = row(K, 1), r2 = row(K, 2);
    Vector3 u = startVelocity;
    float w = startWork;
    const float step = (targetWork - startWork) / static_cast<float>(steps);
    bool early = false;
    for (int i = 0; i < steps; ++i) {
        const float s = std::sqrt(u.x * u.x + u.y * u.y);
        if (s < stickThreshold) {
            early = true;
            break;
        }
        // The normal speed grows from a positive separation speed; a zero one cannot carry the work.
        if (!(u.z > kMinDirectionalMass)) return false;
        const Vector3 d = slidingDirection(mu, u.x, u.y, s);
        const float dPn = step / u.z;
        const Vector3 du = K * d;
        const float part = stopsSlidingAfter(u.x, u.y, du.x, du.y);
        if (part < dPn) {  // as in the compression: no sliding carried past its slowest point
            w += part * u.z;
            u += du * part;
            early = true;
            break;
        }
        u += du * dPn;
        w += step;
    }
    if (early) {
        if (insideCone(Kinv, mu)) {
            u.x = u.y = 0.0f;
            u.z = std::sqrt(std::max(0.0f, u.z * u.z + 2.0f * (targetWork - w) / Kinv(2, 2)));
        } else {
            float s = std::sqrt(u.x * u.x + u.y * u.y);
            if (s == 0.0f) s = 1.0f;
            const Vector3 d = slidingDirection(mu, u.x, u.y, s);
            const float r2d = r2.dot(d);
            if (!(r2d > kMinDirectionalMass)) return false;
            const float vz = std::sqrt(std::max(0.0f, u.z * u.z + 2.0f * r2d * (targetWork - w)));
            const float dPn = (vz - u.z) / r2d;
            u.x += dPn * r0.dot(d);
            u.y += dPn * r1.dot(d);
            u.z = vz;
        }
    }
    endVelocity = Vector3(u.x, u.y, u.z);
    return true;
}

void ComplexFrictionRRResolver::resolve(std::vector<CollisionDetails>& group) {
    m_items->resize(group.size());
    for (size_t i = 0; i < group.size(); ++i) {
        calculateCacheItem(group[i], (*m_items)[i]);
        group[i].m_group = static_cast<int>(i);
    }
    PointRRResolver::resolve(group);
}

float ComplexFrictionRRResolver::pairFriction(const RigidBody* a, const RigidBody* b) const {
    return m_useMinimumFriction ? std::min(a->m_friction, b->m_friction)
                                : std::sqrt(a->m_friction * b->m_friction);
}

bool ComplexFrictionRRResolver::getRestingContact(const CollisionDetails& contact, RestingContact& out) {
    const Item& item = (*m_items)[static_cast<size_t>(contact.m_group)];
    if (!item.usable) return false;
    out.K = item.collisionMatrix;
    out.Kinv = item.inverseCollisionMatrix;
    out.F = item.contactFrame;
    out.mu = pairFriction(bodyOf(contact.m_objectA), bodyOf(contact.m_objectB));
    return true;
}

Vector3 ComplexFrictionRRResolver::resolveSingleContact(const CollisionDetails& contact,
                                                        const ResolverDetails& details) {
    const Item& item = (*m_items)[static_cast<size_t>(contact.m_group)];
    if (!item.usable) return Vector3_Zero;
    const RigidBody* a = bodyOf(contact.m_objectA);
    const RigidBody* b = bodyOf(contact.m_objectB);
    const Matrix3& K = item.collisionMatrix;
    const Matrix3& Kinv = item.inverseCollisionMatrix;
    const Matrix3& F = item.contactFrame;
    const Vector3 uL = F * details.relativeVelocity;
    const float mu = pairFriction(a, b);
    // Late in a crowded group: one damped impulse that stops the normal motion and most of the sliding
    // (all of it from friction 1 up: more would reverse the sliding).
    const float muDamped = std::min(mu, 1.0f);
    const Vector3 damped = Kinv * Vector3(-muDamped * uL.x, -muDamped * uL.y, -uL.z);
    Vector3 p = damped;
    const float e = details.lateIteration ? 0.0f : a->m_restitution * b->m_restitution;
    if (!details.lateIteration) {
        Vector3 vComp;
        float wc = 0.0f;
        bool ok = doCompressionIntegration(K, Kinv, uL, mu, 0.0f, 20, m_stickThreshold, vComp, wc);
        Vector3 vEnd = vComp;
        if (ok) {
            const float wr = -e * e * wc;
            const float rad = 2.0f * wr * (K(2, 2) - mu * std::sqrt(K(2, 0) * K(2, 0) + K(2, 1) * K(2, 1)));
            const float vs = std::sqrt(std::fabs(rad));
            if (vs > 1e-5f) {
                Vector3 vRest;
                float w2 = 0.0f;
                ok = doCompressionIntegration(K, Kinv, vComp, mu, vs, 5, m_stickThreshold, vRest, w2) &&
                     doRestitutionIntegration(K, Kinv, vRest, mu, w2, wr, 10, m_stickThreshold, vEnd);
            }
        }
        if (ok) p = Kinv * (vEnd - uL);
    }
    // The integrations and the damped impulse can still add a little energy (the steps' work is summed
    // from each step's start, and stopping the normal motion exactly may take a tangential push): where
    // they would, blend towards the frictionless bounce until they do not.
    const Vector3 bounce(0.0f, 0.0f, K(2, 2) > 0.0f ? -(1.0f + e) * uL.z / K(2, 2) : 0.0f);
    p = keepEnergy(K, uL, p, bounce);
    return F.transposed() * p;  // p.x t0 + p.y t1 + p.z n
}

}  // namespace Kinetic
