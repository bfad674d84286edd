#include "kinetic/vehicle/default_engine.h"

#include <algorithm>

#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/transmission_component.h"

namespace Kinetic {

namespace {

float shape(float rpm, const knDefaultEngineBP& bp, float atMin, float atOpt, float atMax) {
    if (rpm <= bp.m_optRPM) {
        const float span = bp.m_optRPM - bp.m_minRPM;
        const float f = span > 0.0f ? (rpm - bp.m_minRPM) / span : 1.0f;
        return atMin + (atOpt - atMin) * f;
    }
    const float span = bp.m_maxRPM - bp.m_optRPM;
    const float f = span > 0.0f ? (rpm - bp.m_optRPM) / span : 1.0f;
    return atOpt + (atMax - atOpt) * f;
}

}  // namespace

void DefaultEngine::updateComponent() {
    const float wanted = m_vehicle->m_transmission->m_transmissionRPM;
    m_engineRPM = std::clamp(wanted, m_bp.m_minRPM, m_bp.m_maxRPM);
    const float pedal = m_vehicle->m_driverInput->m_acceleratorPedalInput;
    const float factor =
        shape(m_engineRPM, m_bp, m_bp.m_torqueFactorAtMinRPM, 1.0f, m_bp.m_torqueFactorAtMaxRPM);
    const float resistance = shape(m_engineRPM, m_bp, m_bp.m_resistanceFactorAtMinRPM,
                                   m_bp.m_resistanceFactorAtOptRPM, m_bp.m_resistanceFactorAtMaxRPM);
    // Past the maximum RPM the engine gives nothing more.
    const float drive = wanted > m_bp.m_maxRPM ? 0.0f : pedal * factor;
    m_engineTorque = (drive - resistance) * m_bp.m_torque;
}

}  // namespace Kinetic
