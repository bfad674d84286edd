#include "kinetic/dynamics/kn_local_constraint_system.h"

#include "kinetic/dynamics/kn_constraint.h"

namespace Kinetic {

kn_Local_Constraint_System::~kn_Local_Constraint_System() {
    while (m_constraints.length() > 0) {
        kn_Constraint* c = m_constraints[m_constraints.length() - 1];
        delete c;  // leaves the list through constraint_deletion_event
    }
}

void kn_Local_Constraint_System::add_constraint(kn_Constraint* c, int storageSize) {
    m_constraints.add(c);
    for (RigidBody* e : c->m_entity)
        if (e && m_entities.index_of(e) < 0) m_entities.add(e);
    m_total_storage_size += storageSize;
}

void kn_Local_Constraint_System::constraint_deletion_event(kn_Constraint* c) {
    const int i = m_constraints.index_of(c);
    if (i < 0) return;
    m_constraints.remove_at(i);
    if (m_constraints.length() > 0) recalc_storage_size();
}

void kn_Local_Constraint_System::recalc_storage_size() {
    m_total_storage_size = 0;
    for (int i = 0; i < m_constraints.length(); ++i)
        m_total_storage_size += m_constraints[i]->get_vmq_storage_size();
}

void kn_Local_Constraint_System::apply_effector_PSI(kn_PSI_Info& psi, kn_Array<RigidBody*>* entities) {
    (void)entities;
    m_storage.resize(static_cast<size_t>(m_total_storage_size + 15) / 16);
    auto* base = reinterpret_cast<unsigned char*>(m_storage.data());
    std::vector<unsigned char*> parts(static_cast<size_t>(m_constraints.length()));
    int offset = 0;
    for (int i = 0; i < m_constraints.length(); ++i) {
        parts[static_cast<size_t>(i)] = base + offset;
        offset += m_constraints[i]->setup_and_step_constraint(psi, base + offset, 1.0f, 1.0f);
    }
    for (int k = 0; k < kPasses; ++k) {
        const float tau = kPassFactors[k][0], damp = kPassFactors[k][1];
        if (tau == 0.0f) break;
        for (int i = 0; i < m_constraints.length(); ++i)
            m_constraints[i]->step_constraint(psi, parts[static_cast<size_t>(i)], tau, damp);
    }
}

}  // namespace Kinetic
