// Integrator interface: one step of length h from state x with derivative dx into out (n floats).
#pragma once

#include "kinetic/dynamics/differentiable.h"
#include "kinetic/dynamics/vector_n.h"

namespace Kinetic {

enum ODESolverType { EULER = 0, RK45 = 1 };

class ODESolver {
public:
    virtual ~ODESolver() = default;
    virtual void step(float t, float h, const VectorN& x, const VectorN& dx, Differentiable* system,
                      VectorN& out, int n) = 0;
    virtual ODESolverType getType() const = 0;
};

}  // namespace Kinetic
