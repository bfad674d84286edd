// Explicit Euler: out = x + h.dx; the system is not consulted.
#pragma once

#include "kinetic/dynamics/ode_solver.h"

namespace Kinetic {

class EulerODESolver : public ODESolver {
public:
    void step(float t, float h, const VectorN& x, const VectorN& dx, Differentiable* system, VectorN& out,
              int n) override;
    ODESolverType getType() const override { return EULER; }
};

}  // namespace Kinetic
