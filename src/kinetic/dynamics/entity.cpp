#include "kinetic/dynamics/entity.h"

#include "kinetic/dynamics/entity_collection.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

void Entity::setActive(bool active, bool notify) {
    if (active && isFixed()) return;
    if (active)
        m_flags |= ACTIVE;
    else
        m_flags &= ~ACTIVE;
    if (notify && m_collection && m_collection->getSubspace())
        m_collection->getSubspace()->setEntityActive(this, active);
}

void Entity::setFixed() {
    m_flags |= FIXED;
    m_flags &= ~ACTIVE;
}

void Entity::setPinned(bool pinned) {
    if (pinned)
        m_flags |= PINNED;
    else
        m_flags &= ~PINNED;
    setActive(!pinned, true);
}

void Entity::setNeverDeactivate(bool b) {
    if (isFixed() || isPinned()) return;
    if (b) {
        ++m_neverDeactivate;
        if (!isActive()) setActive(true, true);
    } else if (m_neverDeactivate > 0) {
        --m_neverDeactivate;
    }
}

}  // namespace Kinetic
