// The subspace the race runs: one resolve-integrate-detect pass per sub-step, no roll-back; bodies found
// interpenetrating are moved back along their step instead.
#pragma once

#include "kinetic/collide/pair.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

class Collidable;

class FastSubspace : public Subspace {
public:
    // Only rigid-body collections are taken (and switched to their fast mode); others are ignored.
    void addEntityCollection(EntityCollection* c, bool atFront) override;
    float tryStep(float t) override;
    // Moves the bodies of interpenetrating pairs back along their last step until the pairs are apart,
    // re-detects the moved bodies and splices their fresh contacts into the detector's lists. Pairs that
    // cannot be separated go on the bad-pair list.
    void resolveInterpenetrations();
    // Bisects the step positions of the pair's bodies to where the pair no longer interpenetrates.
    void findPairCollision(const Pair<Collidable*>& pair);
};

}  // namespace Kinetic
