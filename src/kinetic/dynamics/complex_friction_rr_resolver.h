// The race's resolver: each impulse integrates the contact's compression and restitution phases in the
// contact frame, with friction opposing the sliding direction as it turns during the impact.
#pragma once

#include <vector>

#include "kinetic/dynamics/point_rr_resolver.h"
#include "kinetic/math/matrix3.h"

namespace Kinetic {

struct Item {
    Matrix3 collisionMatrix = Matrix3_Zero;  // in the contact frame
    Matrix3 inverseCollisionMatrix = Matrix3_Zero;
    Matrix3 contactFrame = Matrix3_Zero;  // rows t0, t1, n
    bool usable = false;                  // false: neither body can move, no impulse
};

class ComplexFrictionRRResolver : public PointRRResolver {
public:
    ComplexFrictionRRResolver() : PointRRResolver(3), m_items(new std::vector<Item>()) {}
    ~ComplexFrictionRRResolver() override { delete m_items; }

    using RRResolver::resolve;
    void resolve(std::vector<CollisionDetails>& group) override;
    Vector3 resolveSingleContact(const CollisionDetails& contact, const ResolverDetails& details) override;

protected:
    bool getRestingContact(const CollisionDetails& contact, RestingContact& out) override;
    float pairFriction(const RigidBody* a, const RigidBody* b) const;

public:
    float m_stickThreshold = 0.1f;
    bool m_useMinimumFriction = false;
    std::vector<Item>* m_items;
};

void calculateCacheItem(const CollisionDetails& contact, Item& item);
// Both return false when the normal impulse per unit of the friction-weighted direction (r2 . d) is not
// positive: the integration cannot go on and the caller falls back to a damped single impulse.
bool doCompressionIntegration(const Matrix3& K, const Matrix3& Kinv, const Vector3& startVelocity, float mu,
                              float targetNormalVelocity, int steps, float stickThreshold,
                              Vector3& endVelocity, float& work);
bool doRestitutionIntegration(const Matrix3& K, const Matrix3& Kinv, const Vector3& startVelocity, float mu,
                              float startWork, float targetWork, int steps, float stickThreshold,
                              Vector3& endVelocity);

}  // namespace Kinetic
