#include "kinetic/vehicle/default_transmission.h"

#include <cmath>

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/engine_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

void DefaultTransmission::updateComponent() {
    const KineticVehicle& v = *m_vehicle;
    const BodyInfo& ci = v.m_chassis->m_chassisInfo;
    const float speed = ci.m_linVelWS.dot(ci.m_transform.getRotatedDir(v.m_chassis->m_forwardDirCS));
    // The first driven wheel's radius turns ground speed into wheel RPM.
    float radius = v.m_wheels->m_wheelsRadius.empty() ? 1.0f : v.m_wheels->m_wheelsRadius[0];
    for (unsigned i = 0; i < m_numWheels && i < m_wheelsTorqueRatio.size(); ++i)
        if (m_wheelsTorqueRatio[i] > 0.0f) {
            radius = v.m_wheels->m_wheelsRadius[i];
            break;
        }
    const float wheelRPM = std::fabs(speed) / radius * 60.0f / (2.0f * 3.14159265f);
    m_isReversing = v.m_driverInput->m_tryingToReverse && speed < 1.0f;
    if (m_clutchTimer > 0.0f) m_clutchTimer -= v.m_timeInfo.m_deltaTime;
    float ratio = m_isReversing ? -m_reverseGearRatio : 0.0f;
    if (!m_isReversing && !m_gearsRatio.empty()) {
        if (m_currentGear >= m_gearsRatio.size())
            m_currentGear = static_cast<uint32_t>(m_gearsRatio.size() - 1);
        const float rpm = wheelRPM * m_gearsRatio[m_currentGear] * m_primaryTransmissionRatio;
        if (rpm > m_upshiftRPM && m_currentGear + 1 < m_gearsRatio.size()) {
            ++m_currentGear;
            m_clutchTimer = m_clutchDelayTime;
        } else if (rpm < m_downshiftRPM && m_currentGear > 0) {
            --m_currentGear;
            m_clutchTimer = m_clutchDelayTime;
        }
        ratio = m_gearsRatio[m_currentGear];
    }
    ratio *= m_primaryTransmissionRatio;
    m_transmissionRPM = wheelRPM * std::fabs(ratio);
    m_mainTransmittedTorque = m_clutchTimer > 0.0f ? 0.0f : v.m_engine->m_engineTorque * ratio;
    for (unsigned i = 0; i < m_numWheels; ++i)
        m_wheelsTransmittedTorque[i] =
            i < m_wheelsTorqueRatio.size() ? m_mainTransmittedTorque * m_wheelsTorqueRatio[i] : 0.0f;
}

}  // namespace Kinetic
