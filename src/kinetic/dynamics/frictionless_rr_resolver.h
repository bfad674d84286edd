// Normal impulses only, with the pair's restitution.
#pragma once

#include <vector>

#include "kinetic/dynamics/point_rr_resolver.h"

namespace Kinetic {

class FrictionlessRRResolver : public PointRRResolver {
public:
    FrictionlessRRResolver() : PointRRResolver(1) {}
    using RRResolver::resolve;
    void resolve(std::vector<CollisionDetails>& group) override;
    Vector3 resolveSingleContact(const CollisionDetails& contact, const ResolverDetails& details) override;

    std::vector<float> m_normalDenominator;

protected:
    explicit FrictionlessRRResolver(int kind) : PointRRResolver(kind) {}
};

}  // namespace Kinetic
