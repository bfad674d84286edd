#include "kinetic/dynamics/rk45_ode_solver.h"

namespace Kinetic {

void RK45ODESolver::step(float t, float h, const VectorN& x, const VectorN& dx, Differentiable* system,
                         VectorN& out, int n) {
    m_k2.resize(n);
    m_k3.resize(n);
    m_k4.resize(n);
    if (out.size() < n) out.resize(n);
    const float half = h * 0.5f;
    for (int i = 0; i < n; ++i) out[i] = x[i] + half * dx[i];
    system->getDerivativeArray(t + half, out, m_k2);
    for (int i = 0; i < n; ++i) out[i] = x[i] + half * m_k2[i];
    system->getDerivativeArray(t + half, out, m_k3);
    for (int i = 0; i < n; ++i) out[i] = x[i] + h * m_k3[i];
    system->getDerivativeArray(t + h, out, m_k4);
    const float third = h / 3.0f;
    for (int i = 0; i < n; ++i) out[i] = x[i] + third * (dx[i] * 0.5f + m_k2[i] + m_k3[i] + m_k4[i] * 0.5f);
}

}  // namespace Kinetic
