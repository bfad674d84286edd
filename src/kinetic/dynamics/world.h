// The top of a simulation: its subspaces (not owned) and the time last asked for.
#pragma once

#include <vector>

#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class Subspace;

class World : public KineticObject {
public:
    void addSubspace(Subspace* s) { m_subspaces.push_back(s); }
    // Every subspace advances to t in n equal sub-steps.
    void stepTo(float t, int n);

    std::vector<Subspace*> m_subspaces;
    float m_currentTime = 0.0f;
};

}  // namespace Kinetic
