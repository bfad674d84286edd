// The bike's engine: the power band's torque at the engine RPM times the accelerator, less an
// RPM-dependent resistance, limited to 3000 and multiplied by the speed band's boost times the engine
// boost (together at most 6). Below the minimum RPM the clutch slips and the engine runs faster than
// the transmission. The engine runs before the transmission, so it sees last step's transmission RPM.
#pragma once

#include <memory>

#include "bike/components/bands.h"
#include "kinetic/vehicle/engine_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class CBikeEngine : public EngineComponent {
public:
    // Takes both bands (either may be null: no torque, no boost).
    CBikeEngine(const knDefaultEngineBP& bp, std::unique_ptr<CPowerBands> powerBand,
                std::unique_ptr<CSpeedBands> speedBand);
    ~CBikeEngine() override;
    CBikeEngine(const CBikeEngine&) = delete;
    CBikeEngine& operator=(const CBikeEngine&) = delete;

    void updateComponent() override;

    // The bike's speed (m/s), set every frame.
    void setVelocity(float v) { velocity = v; }
    // RPM as a share of the optimum RPM, 1 from the optimum up.
    float getThrottle() const { return m_engineRPM < m_optRPM ? m_engineRPM / m_optRPM : 1.0f; }
    void scaleEngineBoost(float s) {
        if (engineBoostEnabled) engineBoost *= s;
    }
    void setEngineBoost(float b) { engineBoost = b; }
    void enableEngineBoost() { engineBoostEnabled = true; }
    void disableEngineBoost() { engineBoostEnabled = false; }
    // Drive torque minus the resistance at the current RPM, before the limit and the boost.
    float calcTorque() const;

    float m_clutchSlipRPM;
    float m_minRPM;
    float m_optRPM;
    float m_maxRPM;
    float m_torque;
    float m_torqueFactorAtMinRPM;
    float m_torqueFactorAtMaxRPM;
    float m_resistanceFactorAtMinRPM;
    float m_resistanceFactorAtOptRPM;
    float m_resistanceFactorAtMaxRPM;
    float engineBoost = 1.0f;
    bool engineBoostEnabled = true;
    std::unique_ptr<CPowerBands> powerBand;
    std::unique_ptr<CSpeedBands> speedBand;
    float velocity = 0.0f;
    float powerBandTorque = 0.0f;
    float speedBandBoost = 1.0f;
};

}  // namespace Kinetic
