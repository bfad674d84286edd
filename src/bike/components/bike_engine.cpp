#include "bike/components/bike_engine.h"

#include <algorithm>

#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/transmission_component.h"

namespace Kinetic {

namespace {
// The speed band's key: 0.6 x the speed in km/h (0.01 x 100 leaves it as it is).
constexpr float kSpeedKeyScale = 0.01f;
constexpr float kSpeedKeyShare = 0.6f;
constexpr float kKmhPerMs = 3.6f;
constexpr float kSpeedKeyUnits = 100.0f;
constexpr float kMaxBoost = 6.0f;      // speed band boost times engine boost
constexpr float kMaxTorque = 3000.0f;  // N m before the boost
}  // namespace

CBikeEngine::CBikeEngine(const knDefaultEngineBP& bp, std::unique_ptr<CPowerBands> power,
                         std::unique_ptr<CSpeedBands> speed)
    : m_clutchSlipRPM(bp.m_clutchSlipRPM),
      m_minRPM(bp.m_minRPM),
      m_optRPM(bp.m_optRPM),
      m_maxRPM(bp.m_maxRPM),
      m_torque(bp.m_torque),
      m_torqueFactorAtMinRPM(bp.m_torqueFactorAtMinRPM),
      m_torqueFactorAtMaxRPM(bp.m_torqueFactorAtMaxRPM),
      m_resistanceFactorAtMinRPM(bp.m_resistanceFactorAtMinRPM),
      m_resistanceFactorAtOptRPM(bp.m_resistanceFactorAtOptRPM),
      m_resistanceFactorAtMaxRPM(bp.m_resistanceFactorAtMaxRPM),
      powerBand(std::move(power)),
      speedBand(std::move(speed)) {}

CBikeEngine::~CBikeEngine() {
    // The power band goes first, as it was made first.
    powerBand.reset();
    speedBand.reset();
}

void CBikeEngine::updateComponent() {
    const float r = m_vehicle->m_transmission->m_transmissionRPM;
    const float half = 0.5f * m_minRPM;
    if (r < m_minRPM) {
        // The clutch slips: the engine runs above the transmission.
        if (r < half)
            m_engineRPM = m_minRPM + m_clutchSlipRPM;
        else
            m_engineRPM = m_minRPM + m_clutchSlipRPM * (r - half) / (m_minRPM - half);
    } else {
        m_engineRPM = r;
    }
    if (m_vehicle->m_driverInput->m_acceleratorPedalInput != 0.0f) {
        powerBandTorque = powerBand ? powerBand->getTorque(static_cast<unsigned>(m_engineRPM)) : 0.0f;
        const float key = kSpeedKeyScale * kSpeedKeyShare * kKmhPerMs * kSpeedKeyUnits * velocity;
        speedBandBoost = speedBand ? speedBand->getBoost(key > 0.0f ? static_cast<unsigned>(key) : 0u) : 0.0f;
    } else {
        powerBandTorque = 0.0f;
        speedBandBoost = 1.0f;
    }
    const float boost = std::min(speedBandBoost * engineBoost, kMaxBoost);
    m_engineTorque = std::min(calcTorque(), kMaxTorque) * boost;
}

float CBikeEngine::calcTorque() const {
    const float rpm = m_engineRPM;
    const float fMin = m_resistanceFactorAtMinRPM;
    const float fOpt = m_resistanceFactorAtOptRPM;
    const float fMax = m_resistanceFactorAtMaxRPM;
    float resistance;
    if (rpm < m_optRPM) {
        const float transmissionRPM = m_vehicle ? m_vehicle->m_transmission->m_transmissionRPM : rpm;
        if (transmissionRPM < m_minRPM)
            resistance = transmissionRPM / m_minRPM;
        else
            resistance = m_torque * (fOpt + (rpm - m_optRPM) * (fMin - fOpt) / (m_minRPM - m_optRPM));
    } else if (rpm < m_maxRPM) {
        resistance = m_torque * (fOpt + (rpm - m_optRPM) * (fMax - fOpt) / (m_maxRPM - m_optRPM));
    } else {
        resistance = m_torque * fMax;
    }
    const float pedal = m_vehicle ? m_vehicle->m_driverInput->m_acceleratorPedalInput : 0.0f;
    return powerBandTorque * pedal - resistance;
}

}  // namespace Kinetic
