#include "kinetic/dynamics/rigid_collection.h"

#include "kinetic/dynamics/euler_ode_solver.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rk45_ode_solver.h"

namespace Kinetic {

RigidCollection::RigidCollection() : EntityCollection(RIGIDBODY) {
    setODESolver(EULER);
}

RigidCollection::~RigidCollection() {
    delete m_ODESolver;
    m_ODESolver = nullptr;
    RigidCollection::deallocatePreviousStates();
}

RigidBody* RigidCollection::body(size_t activeIndex) const {
    return static_cast<RigidBody*>(m_activeEntities[activeIndex]);
}

void RigidCollection::setODESolver(ODESolverType type) {
    // An unknown type must not leave the old solver deleted but still installed.
    if (type != EULER && type != RK45) return;
    delete m_ODESolver;
    m_ODESolver = nullptr;
    m_ODESolverType = type;
    if (type == RK45) {
        m_ODESolver = new RK45ODESolver();
        m_fastUpdate = 0;
    } else if (m_fastSubspace) {
        m_fastUpdate = 1;
    } else {
        m_ODESolver = new EulerODESolver();
    }
}

void RigidCollection::setUsingFastSubspace(bool b) {
    m_fastSubspace = b;
    m_fastUpdate = (m_ODESolver && m_ODESolver->getType() == EULER && b) ? 1 : 0;
}

void RigidCollection::setMaxIntegrationStep(float m) {
    m_maxIntegrationStep = m;
    init();
}

void RigidCollection::allocatePreviousStates() {
    EntityCollection::allocatePreviousStates();
    if (m_maxIntegrationStep > 0.0f) {
        for (int k = 0; k < 2; ++k) {
            m_tempStates[k].assignZero(m_previousStates[k].size());
            m_tempDerivs[k].assignZero(m_previousDerivs[k].size());
        }
    }
}

void RigidCollection::deallocatePreviousStates() {
    EntityCollection::deallocatePreviousStates();
    for (int k = 0; k < 2; ++k) {
        m_tempStates[k].assignZero(0);
        m_tempDerivs[k].assignZero(0);
    }
}

void RigidCollection::applyGravity(const Vector3& g) {
    for (Entity* e : m_activeEntities) {
        if (!e->isActive()) continue;
        auto* b = static_cast<RigidBody*>(e);
        b->m_forceAccum += g * b->m_mass;
    }
}

void RigidCollection::updateBoundingVolumes() {
    for (Entity* e : m_activeEntities) static_cast<RigidBody*>(e)->recomputeBoundingVolumes();
}

void RigidCollection::getArrayFromState(VectorN& x) const {
    const int n = static_cast<int>(m_activeEntities.size()) * kVariablesPerBody;
    if (x.size() < n) x.resize(n);
    for (size_t i = 0; i < m_activeEntities.size(); ++i) {
        float* a = x.data() + i * kVariablesPerBody;
        RigidBody* b = body(i);
        if (b->isFixed() || b->isPinned()) {
            for (int k = 0; k < kVariablesPerBody; ++k) a[k] = 0.0f;
        } else {
            b->convertToArray(a);
        }
    }
}

void RigidCollection::setStateFromArray(const VectorN& x) {
    for (size_t i = 0; i < m_activeEntities.size(); ++i) {
        RigidBody* b = body(i);
        if (b->isFixed() || b->isPinned()) continue;
        b->convertFromArray(x.data() + i * kVariablesPerBody);
    }
}

void RigidCollection::getCurrentDerivativeArray(VectorN& dx, int& count) {
    const int n = static_cast<int>(m_activeEntities.size()) * kVariablesPerBody;
    if (dx.size() < n) dx.resize(n);
    for (size_t i = 0; i < m_activeEntities.size(); ++i) {
        float* a = dx.data() + i * kVariablesPerBody;
        RigidBody* b = body(i);
        if (b->isFixed() || b->isPinned()) {
            for (int k = 0; k < kVariablesPerBody; ++k) a[k] = 0.0f;
        } else {
            b->convertDerivativeToArray(a);
        }
        count += kVariablesPerBody;
    }
}

void RigidCollection::setDerivativesFromArray(const VectorN& dx) {
    for (size_t i = 0; i < m_activeEntities.size(); ++i) {
        RigidBody* b = body(i);
        if (b->isFixed() || b->isPinned()) continue;
        b->convertFromDerivativeArray(dx.data() + i * kVariablesPerBody);
    }
}

void RigidCollection::getDerivativeArray(float t, const VectorN& x, VectorN& dx) {
    setStateFromArray(x);
    evaluateActions(t);
    int n = 0;
    getCurrentDerivativeArray(dx, n);
}

void RigidCollection::update(float t) {
    const int cur = m_currentState;
    const int other = 1 - cur;
    const float t0 = m_previousTimestamps[cur];
    const float dt = t - t0;
    rebuildActiveEntities();

    if (m_fastUpdate) {
        // Each body integrates itself in place; nothing is saved, so there is no roll-back.
        m_lastRefresh = t;
        m_previousTimestamps[cur] = t;
        for (size_t i = 0; i < m_activeEntities.size(); ++i) {
            RigidBody* b = body(i);
            b->setStartState();
            b->eulerIntegrate(dt);
            b->m_stepPosition = 1.0f;
            b->m_timestep = dt;
        }
        return;
    }

    for (size_t i = 0; i < m_activeEntities.size(); ++i) body(i)->setStartState();

    if (!m_ODESolver || m_activeEntities.empty()) {
        m_lastRefresh = t;
        m_previousTimestamps[cur] = t;
    } else {
        VectorN& S0 = m_previousStates[cur];
        VectorN& S1 = m_previousStates[other];
        const float m = m_maxIntegrationStep;
        if (m <= 0.0f || dt <= m) {
            getArrayFromState(S0);
            int n = 0;
            getCurrentDerivativeArray(m_previousDerivs[cur], n);
            m_ODESolver->step(t0, dt, S0, m_previousDerivs[cur], this, S1, n);
            setStateFromArray(S1);
        } else {
            getArrayFromState(S0);
            const int count = static_cast<int>(dt / m);
            const float r = dt - static_cast<float>(count) * m;
            float s = t0;
            int k = 0;
            for (int c = 0; c < count; ++c) {
                int n = 0;
                // Actions for the first sub-step were evaluated at the end of the previous step.
                if (s != t0) evaluateActions(s);
                getCurrentDerivativeArray(m_tempDerivs[k], n);
                getArrayFromState(m_tempStates[k]);
                m_ODESolver->step(s, m, m_tempStates[k], m_tempDerivs[k], this, m_tempStates[1 - k], n);
                setStateFromArray(m_tempStates[1 - k]);
                s += m;
                k = 1 - k;
            }
            if (r > 1e-6f) {
                int n = 0;
                if (s != t0) evaluateActions(s);
                getCurrentDerivativeArray(m_tempDerivs[k], n);
                getArrayFromState(m_tempStates[k]);
                m_ODESolver->step(s, r, m_tempStates[k], m_tempDerivs[k], this, S1, n);
                setStateFromArray(S1);
            } else {
                S1 = m_tempStates[k];
            }
        }
        m_previousTimestamps[other] = t;
        m_lastRefresh = t;
        m_currentState = other;
    }

    for (size_t i = 0; i < m_activeEntities.size(); ++i) {
        RigidBody* b = body(i);
        b->m_stepPosition = 1.0f;
        b->m_timestep = dt;
    }
}

}  // namespace Kinetic
