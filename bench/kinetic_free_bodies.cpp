// One world step of 1,000 free rigid bodies under the race's settings (fast subspace, Euler in fast mode,
// gravity (0, 15.1074, 0), +y down), deactivation off. The plain subspace with an Euler solver object and
// with RK45 are measured alongside for comparison.
#include <benchmark/benchmark.h>

#include <cmath>

#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/ode_solver.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"

namespace {

using namespace Kinetic;

constexpr int kBodies = 1000;

void fill(Toolkit& kit) {
    for (int i = 0; i < kBodies; ++i) {
        auto* b = new RigidBody();
        SphericalPrimitiveBlueprint bp;
        bp.m_radius = 0.5f;
        bp.m_mass = 1.0f + 0.001f * i;
        b->addPrimitive(bp);
        const float a = 0.01f * i;
        kit.addRigidBody(b, Vector3(2.0f * (i % 32), -2.0f * (i / 32), 0.0f),
                         Quaternion(std::cos(a), 0.0f, std::sin(a), 0.0f));
        b->m_linearVelocity = Vector3(std::sin(a), -1.0f, std::cos(a));
        b->m_angularVelocity = Vector3(0.1f, 1.0f + 0.001f * i, -0.2f);
    }
}

void stepBodies(benchmark::State& state, int simulationType, ODESolverType solver) {
    Toolkit kit(simulationType);
    kit.m_defaultRigidCollection->setODESolver(solver);
    kit.m_defaultSubspace->setGravity(Vector3(0.0f, 15.1074f, 0.0f));
    kit.m_defaultSubspace->getDeactivator()->setEnabled(false);
    fill(kit);
    int step = 0;
    for (auto _ : state) {
        ++step;
        kit.m_defaultWorld->stepTo(static_cast<float>(step) / 60.0f, 1);
    }
    state.SetItemsProcessed(state.iterations() * kBodies);
}

void BM_KineticFreeBodies_FastEuler(benchmark::State& state) {
    stepBodies(state, 1, EULER);
}
void BM_KineticFreeBodies_SolverEuler(benchmark::State& state) {
    stepBodies(state, 0, EULER);
}
void BM_KineticFreeBodies_SolverRK45(benchmark::State& state) {
    stepBodies(state, 0, RK45);
}

}  // namespace

BENCHMARK(BM_KineticFreeBodies_FastEuler)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KineticFreeBodies_SolverEuler)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KineticFreeBodies_SolverRK45)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
