#include "kinetic/dynamics/point_rr_resolver.h"

namespace Kinetic {

bool PointRRResolver::Implementation::getNextCollision(std::vector<CollisionDetails>& group, float threshold,
                                                       CollisionDetails** contact, ResolverDetails** details,
                                                       int& index) {
    for (int examined = 0; examined < m_count; ++examined) {
        const int i = m_cursor;
        m_cursor = (m_cursor + 1) % m_count;
        CollisionDetails& c = group[static_cast<size_t>(i)];
        m_details.relativeVelocity = relativeVelocity(c);
        m_details.normalVelocity = m_details.relativeVelocity.dot(c.m_contact.m_normal);
        if (m_details.normalVelocity < threshold) {
            *contact = &c;
            *details = &m_details;
            index = i;
            return true;
        }
    }
    return false;
}

void PointRRResolver::resolve(std::vector<CollisionDetails>& group) {
    m_impulses = 0;
    if (group.empty()) return;
    m_impl->m_cursor = 0;
    m_impl->m_count = static_cast<int>(group.size());
    CollisionDetails* contact = nullptr;
    ResolverDetails* details = nullptr;
    int index = 0;
    const int budget = 4 * m_impl->m_budgetBase;
    while (m_impulses < budget &&
           m_impl->getNextCollision(group, kApproachThreshold, &contact, &details, index)) {
        details->lateIteration = m_impulses > m_impl->m_budgetBase;
        const Vector3 j = resolveSingleContact(*contact, *details);
        applyImpulsePair(j, *contact);
        applyDrivingImpulse(*contact, m_tolerance);
        ++m_impulses;
    }
}

}  // namespace Kinetic
