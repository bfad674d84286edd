#include "kinetic/vehicle/wheels_component.h"

#include <algorithm>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

WheelsComponent::WheelsComponent(const knWheelsComponentBP& bp) : m_numWheels(bp.m_numWheels) {
    reinitializeInternal(bp);
}

void WheelsComponent::reinitializeInternal(const knWheelsComponentBP& bp) {
    m_numWheels = bp.m_numWheels;
    // A blueprint whose arrays were replaced by shorter ones gets the defaults for the missing wheels
    // rather than a read past their end.
    m_wheelsAxle = bp.m_wheelsAxle;
    m_wheelsAxle.resize(m_numWheels, 0);
    m_wheelsRadius = bp.m_wheelsRadius;
    m_wheelsRadius.resize(m_numWheels, 0.5f);
    m_wheelsWidth = bp.m_wheelsWidth;
    m_wheelsWidth.resize(m_numWheels, 0.3f);
    m_wheelsFriction = bp.m_wheelsFriction;
    m_wheelsFriction.resize(m_numWheels, 1.0f);
    m_wheelsViscosityFriction = bp.m_wheelsViscosityFriction;
    m_wheelsViscosityFriction.resize(m_numWheels, 0.1f);
    m_wheelsInfo.resize(m_numWheels);
    for (unsigned i = 0; i < m_numWheels; ++i)
        m_wheelsInfo[i].m_mass = i < bp.m_wheelsMass.size() ? bp.m_wheelsMass[i] : 3.0f;
    m_numAxles = 0;
    for (unsigned a : m_wheelsAxle) m_numAxles = std::max(m_numAxles, a + 1);
    m_numWheelsPerAxle.assign(m_numAxles, 0);
    for (unsigned a : m_wheelsAxle) ++m_numWheelsPerAxle[a];
}

void DefaultWheels::postUpdateWheels() {
    for (unsigned i = 0; i < m_numWheels && i < m_wheelsRigidBody.size(); ++i)
        if (m_wheelsRigidBody[i]) m_wheelsRigidBody[i]->setTransform(m_wheelsInfo[i].m_transform);
}

}  // namespace Kinetic
