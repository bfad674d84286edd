#include "bike/components/bike_transmission.h"

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/engine_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"

namespace Kinetic {

namespace {
constexpr float kSecondsPerMinute = 60.0f;
constexpr float kTurnsPerRadian = 0.1591549f;  // 1 / (2 pi)
constexpr float kIdleRPMDrop = 50.0f;          // RPM per step off the throttle
}  // namespace

CBikeTransmission::CBikeTransmission(const knDefaultTransmissionBP& bp)
    : TransmissionComponent(bp), m_numGears(bp.m_numGears) {
    reinitializeInternal(bp);
    wheelRPMScale = kDefaultWheelRPMScale;
    minRPM = kDefaultMinRPM;
    maxRPM = kDefaultMaxRPM;
}

void CBikeTransmission::reinitializeInternal(const knDefaultTransmissionBP& bp) {
    m_primaryTransmissionRatio = bp.m_primaryTransmissionRatio;
    m_gearsRatio = bp.m_gearsRatio;
    m_gearsRatio.resize(m_numGears, 1.0f);
    m_reverseGearRatio = bp.m_reverseGearRatio;
    m_downshiftRPM = bp.m_downshiftRPM;
    m_upshiftRPM = bp.m_upshiftRPM;
    m_clutchDelayTime = bp.m_clutchDelayTime;
    m_wheelsTorqueRatio = bp.m_wheelsTorqueRatio;
    m_wheelsTorqueRatio.resize(m_numWheels, 0.0f);
}

void CBikeTransmission::updateComponent() {
    const KineticVehicle& v = *m_vehicle;
    m_isReversing = v.m_driverInput->m_tryingToReverse && m_currentGear == 0;
    float ratio = 0.0f;
    if (m_isReversing)
        ratio = -m_reverseGearRatio;
    else if (m_currentGear < m_gearsRatio.size())
        ratio = m_gearsRatio[m_currentGear];
    m_mainTransmittedTorque =
        m_delayed ? 0.0f : v.m_engine->m_engineTorque * (ratio * m_primaryTransmissionRatio);
    if (v.m_driverInput->m_acceleratorPedalInput != 0.0f) {
        const BodyInfo& ci = v.m_chassis->m_chassisInfo;
        const float s = ci.m_transform.getRotatedDir(v.m_chassis->m_forwardDirCS).dot(ci.m_linVelWS);
        // The back wheel's spin in revolutions per minute at this ground speed and its torque share.
        const float share = m_wheelsTorqueRatio.size() > 1 ? m_wheelsTorqueRatio[1] : 0.0f;
        const float w = s * kSecondsPerMinute * kTurnsPerRadian * share;
        m_transmissionRPM = wheelRPMScale * (w * (ratio * m_primaryTransmissionRatio));
    } else {
        m_transmissionRPM -= kIdleRPMDrop;
    }
    if (m_transmissionRPM < minRPM) m_transmissionRPM = minRPM;
    if (m_transmissionRPM > maxRPM) m_transmissionRPM = maxRPM;
    for (unsigned i = 0; i < m_numWheels; ++i)
        m_wheelsTransmittedTorque[i] = m_mainTransmittedTorque * m_wheelsTorqueRatio[i];
    updateCurrentGear();
}

void CBikeTransmission::updateCurrentGear() {
    const float now = m_vehicle->m_timeInfo.m_currentTime;
    if (m_delayed && now - m_lastTimeGearChanged > m_clutchDelayTime) m_delayed = false;
    if (m_isReversing) return;
    if (m_transmissionRPM < m_downshiftRPM && m_currentGear > 0) {
        --m_currentGear;
        m_lastTimeGearChanged = now;
        m_delayed = true;
    }
    if (m_transmissionRPM > m_upshiftRPM && m_currentGear + 1 < m_numGears) {
        ++m_currentGear;
        m_lastTimeGearChanged = now;
        m_delayed = true;
    }
}

}  // namespace Kinetic
