// Normal impulse with restitution plus Coulomb friction: sticking when the impulse that stops all relative
// motion lies in the friction cone, otherwise sliding along the cone's edge.
#pragma once

#include <vector>

#include "kinetic/dynamics/frictionless_rr_resolver.h"
#include "kinetic/math/matrix3.h"

namespace Kinetic {

class SimpleFrictionRRResolver : public FrictionlessRRResolver {
public:
    SimpleFrictionRRResolver() : FrictionlessRRResolver(2) {}
    using RRResolver::resolve;
    void resolve(std::vector<CollisionDetails>& group) override;
    Vector3 resolveSingleContact(const CollisionDetails& contact, const ResolverDetails& details) override;

    std::vector<Matrix3> m_matrices;  // the pair's collision matrix per contact (world frame)
    std::vector<Matrix3> m_inverseMatrices;
};

}  // namespace Kinetic
