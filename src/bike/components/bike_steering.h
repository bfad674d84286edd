// The bike's steering: the driver's steering input times the maximum angle, scaled per wheel by the
// percent the bike's control step sets. Wheel 0 always steers; wheel 1 only if its flag says so.
#pragma once

#include <vector>

#include "kinetic/vehicle/steering_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class CBikeSteering : public SteeringComponent {
public:
    explicit CBikeSteering(const knDefaultSteeringBP& bp);
    void updateComponent() override;

    // `wheel` is 0 or 1; other values are ignored.
    void setSteeringAnglePercent(int wheel, float percent) {
        if (wheel == 0 || wheel == 1) steeringPercent[wheel] = percent;
    }

    float m_maxSteeringAngle;
    float m_maxSpeedFullSteeringAngle;  // kept from the blueprint; the angle does not fall with speed
    std::vector<bool> m_wheelsDoesSteer;
    float steeringPercent[2] = {0.0f, 0.0f};
};

}  // namespace Kinetic
