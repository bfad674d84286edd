#include "kinetic/dynamics/spatial_deactivator.h"

#include "kinetic/dynamics/entity_collection.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

SpatialDeactivator::SpatialDeactivator(float shortFrequency, float longFrequency)
    : m_shortPeriod(1.0f / shortFrequency), m_longPeriod(1.0f / longFrequency) {
    m_lastRefresh = -1.0f;
}

void SpatialDeactivator::stepApply(Subspace& subspace, float t) {
    if (!m_enabled) return;
    const bool shortDue = t - m_lastShortFrequencyCheck > m_shortPeriod;
    const bool longDue = t - m_lastLongFrequencyCheck > m_longPeriod;
    if (!shortDue && !longDue) return;
    for (int i = 0; i < subspace.getNumEntityCollections(); ++i) {
        EntityCollection* c = subspace.getEntityCollection(i);
        if (c->m_type != RIGIDBODY) continue;
        // Index loop: putting a body to sleep may call back into the detector, not into this list.
        for (size_t k = 0; k < c->m_entities.size(); ++k) {
            auto* b = static_cast<RigidBody*>(c->m_entities[k]);
            if (!b->isActive()) continue;
            if (b->shouldDeactivate(t, shortDue, longDue, nullptr)) b->setActive(false, true);
        }
    }
    if (shortDue) m_lastShortFrequencyCheck = t;
    if (longDue) m_lastLongFrequencyCheck = t;
}

}  // namespace Kinetic
