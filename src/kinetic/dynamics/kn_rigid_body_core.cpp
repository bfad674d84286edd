#include "kinetic/dynamics/kn_rigid_body_core.h"

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

bool kn_Rigid_Body_Core::takesPart() const {
    return m_body && !m_body->isFixed() && !m_body->isPinned();
}

void kn_Rigid_Body_Core::add_to_velocities(const kn_Core_VMQ_Input& in, float* vel) const {
    if (!takesPart()) return;
    for (int i = 0; i < in.m_n_rows; ++i) {
        const kn_VMQ_Row& r = in.m_rows[i];
        vel[r.m_index] +=
            r.m_angular.dot(m_body->m_angularVelocity) + r.m_linear.dot(m_body->m_linearVelocity);
    }
}

void kn_Rigid_Body_Core::add_to_mass_matrix_inv(kn_Core_VMQ_Input& in, kn_Dense_Matrix& m, float* vel) const {
    if (!takesPart()) return;
    for (int i = 0; i < in.m_n_rows; ++i) {
        const kn_VMQ_Row& ri = in.m_rows[i];
        vel[ri.m_index] +=
            ri.m_angular.dot(m_body->m_angularVelocity) + ri.m_linear.dot(m_body->m_linearVelocity);
        in.m_angular_response[i] = m_body->m_inertiaInv * ri.m_angular;
        const kn_Vector3& resp = in.m_angular_response[i];
        for (int j = 0; j < i; ++j) {
            const kn_VMQ_Row& rj = in.m_rows[j];
            const float c = resp.dot(rj.m_angular) + m_body->m_massInv * ri.m_linear.dot(rj.m_linear);
            m(ri.m_index, rj.m_index) += c;
            m(rj.m_index, ri.m_index) += c;
        }
        m(ri.m_index, ri.m_index) += resp.dot(ri.m_angular) + m_body->m_massInv * ri.m_linear.lengthSqrd();
    }
}

void kn_Rigid_Body_Core::apply_impulses(const kn_Core_VMQ_Input& in, const float* impulses) const {
    if (!takesPart()) return;
    for (int i = 0; i < in.m_n_rows; ++i) {
        const kn_VMQ_Row& r = in.m_rows[i];
        const float l = impulses[r.m_index];
        m_body->m_angularVelocity += in.m_angular_response[i] * l;
        m_body->m_linearVelocity += r.m_linear * (m_body->m_massInv * l);
    }
}

Transform kn_Rigid_Body_Core::get_cached_transform() const {
    return m_body->m_transformation;
}

}  // namespace Kinetic
