// A gearbox: the transmission RPM is the driven wheels' RPM times the gear and primary ratios; it shifts
// up above the upshift RPM and down below the downshift RPM, passing no torque for the clutch delay
// after a shift; the engine torque times the ratios is shared among the wheels by their torque ratios.
#pragma once

#include <vector>

#include "kinetic/vehicle/transmission_component.h"

namespace Kinetic {

class DefaultTransmission : public TransmissionComponent {
public:
    explicit DefaultTransmission(const knDefaultTransmissionBP& bp)
        : TransmissionComponent(bp),
          m_gearsRatio(bp.m_gearsRatio),
          m_wheelsTorqueRatio(bp.m_wheelsTorqueRatio),
          m_downshiftRPM(bp.m_downshiftRPM),
          m_upshiftRPM(bp.m_upshiftRPM),
          m_primaryTransmissionRatio(bp.m_primaryTransmissionRatio),
          m_clutchDelayTime(bp.m_clutchDelayTime),
          m_reverseGearRatio(bp.m_reverseGearRatio) {}
    void updateComponent() override;

    std::vector<float> m_gearsRatio;
    std::vector<float> m_wheelsTorqueRatio;
    float m_downshiftRPM;
    float m_upshiftRPM;
    float m_primaryTransmissionRatio;
    float m_clutchDelayTime;
    float m_reverseGearRatio;
    float m_clutchTimer = 0.0f;
};

}  // namespace Kinetic
