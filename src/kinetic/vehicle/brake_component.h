// Brakes: a signed torque per wheel (added to its drive torque) and whether the wheel is locked.
#pragma once

#include <vector>

#include "kinetic/vehicle/vehicle_blueprints.h"
#include "kinetic/vehicle/vehicle_component.h"

namespace Kinetic {

class BrakeComponent : public VehicleComponent {
public:
    explicit BrakeComponent(const knBrakeComponentBP& bp)
        : m_wheelsBrakingTorque(bp.m_numWheels, 0.0f),
          m_wheelsIsFixed(bp.m_numWheels, false),
          m_numWheels(bp.m_numWheels) {}

    std::vector<float> m_wheelsBrakingTorque;
    std::vector<bool> m_wheelsIsFixed;
    unsigned m_numWheels;
};

}  // namespace Kinetic
