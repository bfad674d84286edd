// The bike's automatic gearbox. While the throttle is open the transmission RPM follows the chassis's
// forward speed through the back wheel's share, the gear and the primary ratio; while it is closed the
// RPM falls by 50 per step. It is kept between minRPM and maxRPM. Above the upshift RPM it changes up,
// below the downshift RPM down, one gear per step; the step after a change passes no torque.
#pragma once

#include <vector>

#include "kinetic/vehicle/transmission_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class CBikeTransmission : public TransmissionComponent {
public:
    explicit CBikeTransmission(const knDefaultTransmissionBP& bp);

    // Copies ratios, shift RPMs and the clutch delay from the blueprint.
    void reinitializeInternal(const knDefaultTransmissionBP& bp);
    void updateComponent() override;
    void updateCurrentGear();

    void setMinRPM(float rpm) { minRPM = rpm; }
    void setMaxRPM(float rpm) { maxRPM = rpm; }
    void setWheelRPMScale(float scale) { wheelRPMScale = scale; }

    std::vector<float> m_wheelsTorqueRatio;
    std::vector<float> m_gearsRatio;
    float m_primaryTransmissionRatio = 0.0f;
    float m_reverseGearRatio = 0.0f;
    float m_downshiftRPM = 0.0f;
    float m_upshiftRPM = 0.0f;
    float m_clutchDelayTime = 0.0f;
    bool m_delayed = false;
    float m_lastTimeGearChanged = -1.0f;
    static constexpr float kDefaultWheelRPMScale = 45.0f;
    static constexpr float kDefaultMaxRPM = 8000.0f;
    static constexpr float kDefaultMinRPM = 2000.0f;
    float wheelRPMScale = kDefaultWheelRPMScale;
    float maxRPM = kDefaultMaxRPM;
    float minRPM = kDefaultMinRPM;
    unsigned m_numGears;
};

}  // namespace Kinetic
