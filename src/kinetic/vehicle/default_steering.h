// Steering: the main angle is the steering-wheel input times the maximum angle, scaled down above the
// speed of full steering; steering wheels take the main angle, the others 0.
#pragma once

#include <vector>

#include "kinetic/vehicle/steering_component.h"

namespace Kinetic {

class DefaultSteering : public SteeringComponent {
public:
    explicit DefaultSteering(const knDefaultSteeringBP& bp)
        : SteeringComponent(bp),
          m_maxSteeringAngle(bp.m_maxSteeringAngle),
          m_maxSpeedFullSteeringAngle(bp.m_maxSpeedFullSteeringAngle),
          m_wheelsDoesSteer(bp.m_wheelsDoesSteer) {}
    void updateComponent() override;

    float m_maxSteeringAngle;
    float m_maxSpeedFullSteeringAngle;
    std::vector<bool> m_wheelsDoesSteer;
};

}  // namespace Kinetic
