// Rigid-rigid collision resolver: raises one collision event per contact of the last detection pass, then
// splits the contacts into groups of touching bodies and hands each group to the kind's own solver.
#pragma once

#include <vector>

#include "kinetic/collide/collision_details.h"
#include "kinetic/dynamics/resolver.h"
#include "kinetic/math/matrix3.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class RigidBody;

class RRResolver : public Resolver {
public:
    // Same numbering as Subspace::RRResolverType.
    explicit RRResolver(int kind) : m_kind(kind) {}

    // Called once per sub-step with the detector's list, before integration.
    void resolve(std::vector<CollisionDetails>& list, float tolerance);
    // One group of connected contacts; m_group of each record is its index in the group.
    virtual void resolve(std::vector<CollisionDetails>& group) = 0;
    // Called at the start of every resolve of a detector's list, before its groups (even for an empty list).
    virtual void startList() {}

    void raiseCollisionEvents(std::vector<CollisionDetails>& list);
    // J to A's body, -J to B's; fixed and pinned bodies take nothing.
    static void applyImpulsePair(const Vector3& impulse, const CollisionDetails& contact);
    int getKind() const { return m_kind; }

protected:
    int m_kind;
    std::vector<CollisionDetails> m_group;  // the group being resolved
};

// The body owning a contact's collidable (null for a collidable without one).
RigidBody* bodyOf(const Collidable* c);
// True for a body that takes no impulse (missing, fixed or pinned).
bool isExcluded(const RigidBody* b);
// Velocity of A's body at the contact point minus that of B's; a fixed body contributes nothing.
Vector3 relativeVelocity(const CollisionDetails& contact);
// An impulse p changes the pair's kinetic energy by p . u + p . K p / 2, where u is the contact's relative
// velocity and K the pair's collision matrix (both in one frame). When p would add energy, the largest
// blend fallback + s (p - fallback), s in [0, 1], that adds none is returned instead; fallback must itself
// add none (a frictionless bounce with restitution at most 1 does not). Otherwise p comes back unchanged.
Vector3 keepEnergy(const Matrix3& K, const Vector3& u, const Vector3& p, const Vector3& fallback);
// The speed at which a pair inside 0.9 of the tolerance is pushed apart (0 outside it).
float drivingSpeed(const CollisionDetails& contact, float tolerance);
// Pushes an already separating pair that sits inside 0.9 of the tolerance slightly further apart.
void applyDrivingImpulse(const CollisionDetails& contact, float tolerance);

}  // namespace Kinetic
