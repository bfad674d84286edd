// Velocity reflection: a body hitting a fixed one leaves with its velocities negated.
#pragma once

#include "kinetic/dynamics/rr_resolver.h"

namespace Kinetic {

class NaiveResolver : public RRResolver {
public:
    NaiveResolver() : RRResolver(0) {}
    using RRResolver::resolve;
    void resolve(std::vector<CollisionDetails>& group) override;
};

// Reflection of one contact's bodies (see NaiveResolver).
void resolveSingleContact(const CollisionDetails& contact);

}  // namespace Kinetic
