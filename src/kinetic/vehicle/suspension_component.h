// Suspension: per wheel the hardpoint, cast direction and rest length in chassis space, and the force it
// pushes with along the contact normal while the wheel touches the ground.
#pragma once

#include <vector>

#include "kinetic/vehicle/vehicle_blueprints.h"
#include "kinetic/vehicle/vehicle_component.h"

namespace Kinetic {

class SuspensionComponent : public VehicleComponent {
public:
    explicit SuspensionComponent(const knSuspensionComponentBP& bp)
        : m_wheelsSuspensionForce(bp.m_numWheels, 0.0f),
          m_numWheels(bp.m_numWheels),
          m_wheelsHardpointCS(bp.m_wheelsHardpointCS),
          m_wheelsDirectionCS(bp.m_wheelsDirectionCS),
          m_wheelsLength(bp.m_wheelsLength) {}

    std::vector<float> m_wheelsSuspensionForce;
    unsigned m_numWheels;
    std::vector<Vector3> m_wheelsHardpointCS;
    std::vector<Vector3> m_wheelsDirectionCS;
    std::vector<float> m_wheelsLength;
};

}  // namespace Kinetic
