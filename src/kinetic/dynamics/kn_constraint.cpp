#include "kinetic/dynamics/kn_constraint.h"

#include "kinetic/dynamics/kn_local_constraint_system.h"

namespace Kinetic {

kn_Constraint::kn_Constraint(kn_Local_Constraint_System* system, RigidBody* entity0, RigidBody* entity1,
                             int storageSize)
    : m_entity{entity0, entity1}, m_system(system) {
    if (m_system) m_system->add_constraint(this, storageSize);
}

kn_Constraint::~kn_Constraint() {
    if (m_system) m_system->constraint_deletion_event(this);
}

}  // namespace Kinetic
