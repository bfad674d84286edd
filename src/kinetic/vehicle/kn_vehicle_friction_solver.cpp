#include "kinetic/vehicle/kn_vehicle_friction_solver.h"

#include <cassert>
#include <cmath>

#include "kinetic/dynamics/kn_dense_matrix_util.h"
#include "kinetic/dynamics/kn_rigid_body_core.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

void setRow(kn_VMQ_Row& row, const Vector3& dir, const Vector3& arm, int index) {
    row.m_linear = dir;
    row.m_angular = arm.cross(dir);
    row.m_zero = 0;
    row.m_index = index;
}

float component(const Vector3& v, unsigned i) {
    return i == 0 ? v.x : i == 1 ? v.y : v.z;
}

void scaleComponent(Vector3& v, unsigned i, float s) {
    if (i == 0)
        v.x *= s;
    else if (i == 1)
        v.y *= s;
    else
        v.z *= s;
}

}  // namespace

bool kn_Vehicle_Friction_Solver::calc_force(const kn_Vehicle_Friction_Params& p,
                                            const kn_Axis_Friction_Params& a, kn_Vehicle_Friction_Axis_Tmp& t,
                                            kn_Axis_Friction_Status& s, float sideImpulse) {
    const float dt = m_psi->m_delta_time;
    const float invDt = m_psi->m_inv_delta_time;
    const float vf = t.m_forward_velocity, vs = t.m_side_velocity;
    float forward, side, residual, sliding;
    const float speed = std::sqrt(vf * vf + vs * vs);
    if (a.m_wheelFixed) {
        const float c = 0.03f * p.m_chassis->m_mass * invDt;
        forward = -vf * c;
        side = -vs * c;
        sliding = speed;
        residual = 0.0f;
    } else {
        residual = -s.m_forward_slip_velocity * a.m_rotationInertia;
        forward = a.m_forwardForce * dt - residual;
        side = sideImpulse;
        sliding = std::sqrt(s.m_forward_slip_velocity * s.m_forward_slip_velocity + vs * vs);
    }
    const float limit =
        (a.m_frictionCoefficient + sliding * a.m_viscosityFrictionCoefficient) * t.m_normal_force * dt;
    const float sq = forward * forward + side * side;
    bool slides;
    if (sq <= limit * limit) {
        t.m_skid_value = 0.0f;
        slides = a.m_wheelFixed;
    } else {
        const float sigma = limit / std::sqrt(sq);
        if (!a.m_wheelFixed) residual += forward * (1.0f - sigma);
        t.m_skid_value = speed > 0.01f ? sliding * limit / speed : 0.0f;
        forward *= sigma;
        side *= sigma;
        slides = true;
    }
    s.m_side_force = side * invDt;
    if (a.m_wheelFixed) s.m_forward_slip_velocity = -vf;
    t.m_forward_impulse = forward;
    t.m_side_impulse = side;
    t.m_residual_forward_impulse = residual;
    return slides;
}

void kn_Vehicle_Friction_Solver::apply_vehicle_friction(const kn_PSI_Info& psi,
                                                        const kn_Vehicle_Friction_Params& p,
                                                        kn_Vehicle_Friction_Status& st) {
    m_psi = &psi;
    m_reSolved = false;
    const kn_Rigid_Body_Core chassis(p.m_chassis);
    const kn_Rigid_Body_Core ground(p.m_ground);
    const Transform tr = chassis.get_cached_transform();
    const Matrix3 rot(tr);
    const Vector3 cpos = p.m_chassis->m_position;
    const Vector3 gpos = p.m_ground ? p.m_ground->m_position : Vector3_Zero;

    // Forward rows, with arms scaled by the pitch factor.
    kn_Core_VMQ_Input fwdC[2], fwdG[2];
    for (int a = 0; a < 2; ++a) {
        const kn_Axis_Friction_Params& ap = p.m_axis[a];
        kn_Vehicle_Friction_Axis_Tmp& t = m_axis[a];
        setRow(t.m_chassis_forward.m_rows[0], ap.m_forwardDirWS,
               (ap.m_contactPointWS - cpos) * p.m_torquePitchFactor, 0);
        fwdC[a] = t.m_chassis_forward.input();
        kn_Dense_Matrix m = t.m_chassis_forward.matrix();
        m.makeZero();
        t.m_chassis_forward.clear_velocities();
        chassis.add_to_mass_matrix_inv(fwdC[a], m, t.m_chassis_forward.m_velocities);
        if (p.m_ground) {
            setRow(t.m_ground_forward.m_rows[0], -ap.m_forwardDirWS, ap.m_contactPointWS - gpos, 0);
            fwdG[a] = t.m_ground_forward.input();
            kn_Dense_Matrix mg = t.m_ground_forward.matrix();
            mg.makeZero();
            t.m_ground_forward.clear_velocities();
            ground.add_to_mass_matrix_inv(fwdG[a], mg, t.m_ground_forward.m_velocities);
        }
    }
    // Forward impulses decided in the previous step.
    for (int a = 0; a < 2; ++a) {
        const float j = st.m_axis[a].m_forward_impulse;
        if (j == 0.0f) continue;
        chassis.apply_impulses(fwdC[a], &j);
        if (p.m_ground) ground.apply_impulses(fwdG[a], &j);
    }
    // Fast yaw: the steering angle turns the chassis about its up axis directly.
    if (p.m_axis[0].m_wheelDownForce + p.m_axis[1].m_wheelDownForce != 0.0f) {
        const float y = p.m_fastYawSteeringAngle * p.m_extraTorqueFactor * psi.m_delta_time;
        if (y != 0.0f && chassis.takesPart()) {
            const Vector3 u = rot.getCol(static_cast<int>(p.m_upAxisIndex));
            const Vector3 r = p.m_chassis->m_inertiaInv * u;
            const float k = u.dot(r);
            if (k > 1e-12f) p.m_chassis->m_angularVelocity += r * (y / k);
        }
    }
    st.m_fast_yaw = p.m_fastYawSteeringAngle * p.m_extraAngularImpulseFactor;
    // Forward velocities, the chassis's relative to the ground's.
    for (int a = 0; a < 2; ++a) {
        float v[4] = {0, 0, 0, 0};
        chassis.add_to_velocities(fwdC[a], v);
        if (p.m_ground) ground.add_to_velocities(fwdG[a], v);
        m_axis[a].m_forward_velocity = v[0];
    }
    // Side rows, solved jointly.
    kn_Vector3 arm[2];
    for (int a = 0; a < 2; ++a) {
        arm[a] = p.m_axis[a].m_contactPointWS - cpos;
        m_axis[a].m_local_arm.set_rotated_inv_dir(rot, arm[a]);
        setRow(m_chassis_side.m_rows[a], p.m_axis[a].m_constraintNormalWS, arm[a], a);
        if (p.m_ground)
            setRow(m_ground_side.m_rows[a], -p.m_axis[a].m_constraintNormalWS,
                   p.m_axis[a].m_contactPointWS - gpos, a);
    }
    kn_Dense_Matrix M(m_side_matrix, 2, 2, 4);
    M.makeZero();
    float q[4] = {0, 0, 0, 0};
    kn_Core_VMQ_Input sideC = m_chassis_side.input();
    kn_Core_VMQ_Input sideG = m_ground_side.input();
    chassis.add_to_mass_matrix_inv(sideC, M, q);
    if (p.m_ground) ground.add_to_mass_matrix_inv(sideG, M, q);
    kn_Dense_Matrix Minv(m_side_inverse, 2, 2, 4);
    Minv.makeZero();
    float lambda[2] = {0.0f, 0.0f};
    if (kn_Dense_Matrix_Util::invert_2x2(M, Minv, 0.0f) == 0) {
        float y[2];
        kn_Dense_Matrix_Util::mult(Minv, q, y);
        lambda[0] = -y[0];
        lambda[1] = -y[1];
    } else {
        // Singular (e.g. a fixed chassis, all rows empty): each axle on its own where it has a mass.
        for (int a = 0; a < 2; ++a) lambda[a] = M(a, a) > 0.0f ? -q[a] / M(a, a) : 0.0f;
    }
    for (int a = 0; a < 2; ++a) m_axis[a].m_side_velocity = q[a];
    st.m_wheel_base = component(m_axis[0].m_local_arm, p.m_forwardAxisIndex) -
                      component(m_axis[1].m_local_arm, p.m_forwardAxisIndex);
    // Normal forces: the measured ones, or blended with a static lever-rule share.
    const float f0 = p.m_axis[0].m_wheelDownForce, f1 = p.m_axis[1].m_wheelDownForce, f = f0 + f1;
    const float e = p.m_frictionEqualizer;
    // Without a wheel base the lever rule has nothing to divide by: the measured forces stand.
    if (e == 0.0f || st.m_wheel_base == 0.0f) {
        m_axis[0].m_normal_force = f0;
        m_axis[1].m_normal_force = f1;
    } else {
        const float l = st.m_wheel_base;
        const float x0 = component(m_axis[0].m_local_arm, p.m_forwardAxisIndex);
        const float x1 = component(m_axis[1].m_local_arm, p.m_forwardAxisIndex);
        m_axis[0].m_normal_force = e * (-f * x1 / l) + (1.0f - e) * f0;
        m_axis[1].m_normal_force = e * (f * x0 / l) + (1.0f - e) * f1;
    }
    const bool slides0 = calc_force(p, p.m_axis[0], m_axis[0], st.m_axis[0], lambda[0]);
    const bool slides1 = calc_force(p, p.m_axis[1], m_axis[1], st.m_axis[1], lambda[1]);
    if (slides0 || slides1) {
        // Sequentially: the sliding axle alone, then the other against what it kept.
        m_reSolved = true;
        const int s = slides1 ? 1 : 0, o = 1 - s;
        const float ls = M(s, s) > 0.0f ? -m_axis[s].m_side_velocity / M(s, s) : 0.0f;
        calc_force(p, p.m_axis[s], m_axis[s], st.m_axis[s], ls);
        m_axis[o].m_side_velocity += M(o, s) * m_axis[s].m_side_impulse;
        const float lo = M(o, o) > 0.0f ? -m_axis[o].m_side_velocity / M(o, o) : 0.0f;
        calc_force(p, p.m_axis[o], m_axis[o], st.m_axis[o], lo);
    }
    for (int a = 0; a < 2; ++a) {
        kn_Axis_Friction_Status& as = st.m_axis[a];
        as.m_forward_impulse = m_axis[a].m_forward_impulse;
        as.m_skid_energy_density = m_axis[a].m_skid_value;
        const float inertia = p.m_axis[a].m_rotationInertia;
        assert(inertia != 0.0f);  // data precondition: every axle has wheel mass
        if (inertia != 0.0f) as.m_forward_slip_velocity += m_axis[a].m_residual_forward_impulse / inertia;
    }
    const float side[2] = {m_axis[0].m_side_impulse, m_axis[1].m_side_impulse};
    if (p.m_ground) ground.apply_impulses(sideG, side);
    // The chassis takes the side impulses through arms scaled per chassis axis.
    kn_VMQ_Storage<2> scaled;
    for (int a = 0; a < 2; ++a) {
        Vector3 l = m_axis[a].m_local_arm;
        scaleComponent(l, p.m_upAxisIndex, p.m_torqueRollFactor);
        scaleComponent(l, p.m_forwardAxisIndex, p.m_torqueYawFactor);
        scaleComponent(l, p.m_rightAxisIndex, p.m_torquePitchFactor);
        setRow(scaled.m_rows[a], p.m_axis[a].m_constraintNormalWS, rot * l, a);
    }
    kn_Core_VMQ_Input in = scaled.input();
    kn_Dense_Matrix ms = scaled.matrix();
    ms.makeZero();
    scaled.clear_velocities();
    chassis.add_to_mass_matrix_inv(in, ms, scaled.m_velocities);
    chassis.apply_impulses(in, side);
}

}  // namespace Kinetic
