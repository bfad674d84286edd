#include "kinetic/dynamics/kn_constraint.h"

#include "kinetic/dynamics/kn_local_constraint_system.h"

namespace Kinetic {

kn_Constraint::kn_Constraint(kn_Local_Constraint_System* system, kn_Entity* entity0, kn_Entity* entity1,
                             int storageSize)
    : kn_Rigid_Body_Binary_EF(nullptr, entity0, entity1), m_system(system) {
    if (m_system) m_system->add_constraint(this, storageSize);
}

kn_Constraint::~kn_Constraint() {
    if (m_system) m_system->constraint_deletion_event(this);
}

}  // namespace Kinetic
