#include "kinetic/dynamics/kn_bike_roll_constraint.h"

#include <cmath>
#include <new>

#include "kinetic/dynamics/kn_rigid_body_core.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

struct RollStorage {
    kn_VMQ_Storage<1> rows;
    float error;
    bool usable;  // false: no rotational response about the row's axis, nothing to solve
};
static_assert(sizeof(RollStorage) <= kn_Bike_Roll_Constraint::kStorageSize,
              "roll storage fits its 224 bytes");

void impulseStep(const kn_Rigid_Body_Core& core, RollStorage& s, float tau, float strength, float invDt,
                 float tauFactor, float dampFactor) {
    kn_Dense_Matrix m = s.rows.matrix();
    const float impulse =
        m(0, 0) * (s.error * tauFactor * tau * invDt - s.rows.m_velocities[0] * dampFactor * strength);
    kn_Core_VMQ_Input in = s.rows.input();
    core.apply_impulses(in, &impulse);
}

}  // namespace

kn_Bike_Roll_Constraint::kn_Bike_Roll_Constraint(kn_Local_Constraint_System* system,
                                                 const kn_Bike_Roll_BP& bp, RigidBody* body)
    : kn_Constraint(system, body, nullptr, kStorageSize),
      m_tau(bp.m_tau),
      m_strength(bp.m_strength),
      m_dir0(bp.m_dir0),
      m_dir1(bp.m_dir1),
      m_up(bp.m_up) {}

void kn_Bike_Roll_Constraint::init_constraint(const void* blueprint) {
    const auto& bp = *static_cast<const kn_Bike_Roll_BP*>(blueprint);
    m_tau = bp.m_tau;
    m_strength = bp.m_strength;
    m_dir0 = bp.m_dir0;
    m_dir1 = bp.m_dir1;
    m_up = bp.m_up;
    m_roll_angle = 0.0f;
}

int kn_Bike_Roll_Constraint::setup_and_step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor,
                                                       float dampFactor) {
    auto* s = new (storage) RollStorage();
    const kn_Rigid_Body_Core core(m_entity[0]);
    const Matrix3 r(core.get_cached_transform());
    const Vector3 a = r * m_dir0;
    const Vector3 b = r * m_dir1;
    s->error = m_up.dot(b) - std::sin(m_roll_angle);
    kn_VMQ_Row& row = s->rows.m_rows[0];
    row.m_linear = Vector3(0, 0, 0);
    row.m_angular = a;
    row.m_zero = 0;
    row.m_index = 0;
    kn_Dense_Matrix m = s->rows.matrix();
    m.makeZero();
    s->rows.clear_velocities();
    kn_Core_VMQ_Input in = s->rows.input();
    core.add_to_mass_matrix_inv(in, m, s->rows.m_velocities);
    // A body without rotational response (no inertia, or fixed) has nothing to turn: no 1/0.
    s->usable = m(0, 0) > 1e-12f;
    if (!s->usable) return kStorageSize;
    m(0, 0) = 1.0f / m(0, 0);
    impulseStep(core, *s, m_tau, m_strength, psi.m_inv_delta_time, tauFactor, dampFactor);
    return kStorageSize;
}

int kn_Bike_Roll_Constraint::step_constraint(kn_PSI_Info& psi, void* storage, float tauFactor,
                                             float dampFactor) {
    auto* s = static_cast<RollStorage*>(storage);
    if (!s->usable) return kStorageSize;
    const kn_Rigid_Body_Core core(m_entity[0]);
    s->rows.m_velocities[0] = 0.0f;
    core.add_to_velocities(s->rows.input(), s->rows.m_velocities);
    impulseStep(core, *s, m_tau, m_strength, psi.m_inv_delta_time, tauFactor, dampFactor);
    return kStorageSize;
}

void kn_Bike_Roll_Constraint::apply_effector_PSI(kn_PSI_Info& psi, kn_Array<kn_Entity*>* entities) {
    (void)entities;
    alignas(16) unsigned char storage[kStorageSize];
    setup_and_step_constraint(psi, storage, 1.0f, 1.0f);
}

}  // namespace Kinetic
