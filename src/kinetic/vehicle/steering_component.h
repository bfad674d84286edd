// Steering: the main angle (for the friction solver's fast yaw) and each wheel's angle about the chassis
// up axis.
#pragma once

#include <vector>

#include "kinetic/vehicle/vehicle_blueprints.h"
#include "kinetic/vehicle/vehicle_component.h"

namespace Kinetic {

class SteeringComponent : public VehicleComponent {
public:
    explicit SteeringComponent(const knSteeringComponentBP& bp)
        : m_wheelsSteeringAngle(bp.m_numWheels, 0.0f), m_numWheels(bp.m_numWheels) {}

    float m_mainSteeringAngle = 0.0f;
    std::vector<float> m_wheelsSteeringAngle;
    unsigned m_numWheels;
};

}  // namespace Kinetic
