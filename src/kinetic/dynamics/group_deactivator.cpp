#include "kinetic/dynamics/group_deactivator.h"

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

const float kn_groupDeactivatorDefaults[4] = {0.01f, 0.005f, 0.1f, 0.2f};

GroupDeactivator::GroupDeactivator() {
    setDeactivationThreshold(1.0f);
}

void GroupDeactivator::setDeactivationThreshold(float scale) {
    for (int i = 0; i < 4; ++i) m_thresholds[i] = scale * kn_groupDeactivatorDefaults[i];
}

bool GroupDeactivator::tryDeactivateGroup(float t) {
    if (m_active) {
        const bool shortDue = t - m_lastShortFrequencyCheck > m_shortPeriod;
        const bool longDue = t - m_lastLongFrequencyCheck > m_longPeriod;
        if (!shortDue && !longDue) return false;
        if (shortDue) m_lastShortFrequencyCheck = t;
        if (longDue) m_lastLongFrequencyCheck = t;
        bool all = true;
        // Every body is asked, so each one's samples advance even after one has said no.
        for (RigidBody* b : m_bodies)
            if (!b->shouldDeactivate(t, shortDue, longDue, m_thresholds)) all = false;
        if (!all) return false;
        m_active = 0;
        for (RigidBody* b : m_bodies) b->setActive(false, true);
        return true;
    }
    for (RigidBody* b : m_bodies) {
        if (b->isActive()) {
            m_active = 1;
            for (RigidBody* w : m_bodies) w->setActive(true, true);
            return false;
        }
    }
    return true;
}

void GroupDeactivator::apply(Subspace& subspace, float t) {
    if (tryDeactivateGroup(t)) return;
    for (size_t i = 0; i < m_actions.size(); ++i) m_actions[i]->apply(subspace, t);
}

}  // namespace Kinetic
