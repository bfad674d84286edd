// The subspace the race runs: one resolve-integrate-detect pass per sub-step, no roll-back; bodies found
// interpenetrating are moved back along their step instead.
#pragma once

#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

class FastSubspace : public Subspace {
public:
    // Only rigid-body collections are taken (and switched to their fast mode); others are ignored.
    void addEntityCollection(EntityCollection* c, bool atFront) override;
    float tryStep(float t) override;
    // Moves interpenetrating bodies back along their last step. Not built yet: the back-off comes with the
    // collision response, so interpenetrating bodies are left where the step put them.
    void resolveInterpenetrations() {}
};

}  // namespace Kinetic
