// The collection of rigid bodies: integrates them either through an ODE solver over 13-float state
// arrays (with roll-back) or, in a fast subspace with Euler, by each body's own explicit Euler step.
#pragma once

#include "kinetic/dynamics/entity_collection.h"
#include "kinetic/dynamics/ode_solver.h"

namespace Kinetic {

class RigidBody;

class RigidCollection : public EntityCollection {
public:
    static constexpr int kVariablesPerBody = 13;

    RigidCollection();
    ~RigidCollection() override;

    // Unknown types change nothing (the current solver stays installed).
    void setODESolver(ODESolverType type);
    ODESolverType getODESolverType() const { return m_ODESolverType; }
    const ODESolver* getODESolver() const { return m_ODESolver; }
    void setUsingFastSubspace(bool b);
    bool isFastUpdate() const { return m_fastUpdate != 0; }
    // A positive value splits longer steps into sub-steps of at most this length.
    void setMaxIntegrationStep(float m);

    void update(float t) override;
    void updateBoundingVolumes() override;
    void allocatePreviousStates() override;
    void deallocatePreviousStates() override;
    void applyGravity(const Vector3& g) override;
    int numVariables(int entityIndex) const override {
        (void)entityIndex;
        return kVariablesPerBody;
    }
    void getCurrentDerivativeArray(VectorN& dx, int& count) override;

    void getArrayFromState(VectorN& x) const override;
    void setStateFromArray(const VectorN& x) override;
    void getDerivativeArray(float t, const VectorN& x, VectorN& dx) override;
    void setDerivativesFromArray(const VectorN& dx) override;

    ODESolver* m_ODESolver = nullptr;
    ODESolverType m_ODESolverType = EULER;
    float m_maxIntegrationStep = -1.0f;
    VectorN m_tempStates[2];
    VectorN m_tempDerivs[2];
    uint8_t m_fastSubspace = 0;
    uint8_t m_fastUpdate = 0;

private:
    RigidBody* body(size_t activeIndex) const;
};

}  // namespace Kinetic
