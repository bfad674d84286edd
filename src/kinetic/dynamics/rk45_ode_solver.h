// Classical fourth-order Runge-Kutta step (no error estimate, no step control). Each trial derivative
// sets the bodies to the trial state and evaluates every action there.
#pragma once

#include "kinetic/dynamics/ode_solver.h"

namespace Kinetic {

class RK45ODESolver : public ODESolver {
public:
    void step(float t, float h, const VectorN& x, const VectorN& dx, Differentiable* system, VectorN& out,
              int n) override;
    ODESolverType getType() const override { return RK45; }

private:
    VectorN m_k2, m_k3, m_k4;
};

}  // namespace Kinetic
