// Something that acts on the simulation once per inner step (constraints, the vehicle, game forces).
#pragma once

#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class Subspace;

class Action : public KineticObject {
public:
    Action() = default;
    ~Action() override = default;
    virtual void apply(Subspace& subspace, float t) = 0;

    float m_lastRefresh = 0.0f;  // time the action was last applied
};

}  // namespace Kinetic
