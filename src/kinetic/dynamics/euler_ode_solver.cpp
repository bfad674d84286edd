#include "kinetic/dynamics/euler_ode_solver.h"

namespace Kinetic {

void EulerODESolver::step(float t, float h, const VectorN& x, const VectorN& dx, Differentiable* system,
                          VectorN& out, int n) {
    (void)t;
    (void)system;
    if (out.size() < n) out.resize(n);
    for (int i = 0; i < n; ++i) out[i] = x[i] + h * dx[i];
}

}  // namespace Kinetic
