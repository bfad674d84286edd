// Transmission: current gear and the drive torque it passes to each wheel.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/vehicle/vehicle_blueprints.h"
#include "kinetic/vehicle/vehicle_component.h"

namespace Kinetic {

class TransmissionComponent : public VehicleComponent {
public:
    explicit TransmissionComponent(const knTransmissionComponentBP& bp)
        : m_wheelsTransmittedTorque(bp.m_numWheels, 0.0f), m_numWheels(bp.m_numWheels) {}

    uint32_t m_currentGear = 0;
    bool m_isReversing = false;
    float m_transmissionRPM = 0.0f;
    float m_mainTransmittedTorque = 0.0f;
    std::vector<float> m_wheelsTransmittedTorque;
    unsigned m_numWheels;
};

}  // namespace Kinetic
