#include "kinetic/dynamics/angular_constraint_1d.h"

#include "kinetic/dynamics/kn_bike_roll_constraint.h"

namespace Kinetic {

AngularConstraint1D::AngularConstraint1D(RigidBody* body)
    : Constraint(body, nullptr, KN_CONSTRAINT_HINGE),
      m_dir_os{Vector3(1, 0, 0), Vector3(0, 1, 0)},
      m_up_ws(0, 0, 0) {}

void AngularConstraint1D::internalInit(kn_Local_Constraint_System* system) {
    kn_Bike_Roll_BP bp;
    bp.m_tau = m_tau;
    bp.m_strength = m_strength;
    bp.m_dir0 = m_dir_os[0];
    bp.m_dir1 = m_dir_os[1];
    bp.m_up = m_up_ws;
    if (m_internal_constraint)
        m_internal_constraint->init_constraint(&bp);
    else
        m_internal_constraint = new kn_Bike_Roll_Constraint(system, bp, m_bodies[0]);
}

void AngularConstraint1D::setAxis(const Vector3& up, const Vector3& dir0, const Vector3& dir1) {
    m_up_ws = up;
    m_dir_os[0] = dir0;
    m_dir_os[1] = dir1;
    applyChanges();
}

void AngularConstraint1D::setAngle(float angle) {
    if (m_internal_constraint) getRollConstraint()->set_roll_angle(angle);
}

kn_Bike_Roll_Constraint* AngularConstraint1D::getRollConstraint() const {
    return static_cast<kn_Bike_Roll_Constraint*>(m_internal_constraint);
}

}  // namespace Kinetic
