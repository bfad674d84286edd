// The bike's brakes: per wheel the torque that would stop the wheel's spin within this step, limited to
// the pedal times the wheel's maximum braking torque. Only the handbrake fixes a wheel.
#pragma once

#include <vector>

#include "kinetic/vehicle/brake_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class CBikeBrake : public BrakeComponent {
public:
    explicit CBikeBrake(const knDefaultBrakeBP& bp);
    void updateComponent() override;

    std::vector<float> m_wheelsMaxBrakingTorque;
    std::vector<float> m_wheelsMinPedalInputToBlock;
    std::vector<float> m_wheelsMinTimeToBlock;
    std::vector<bool> m_wheelsIsConnectedToHandbrake;
    // When the pedal last went past the blocking input; -1 while it is not past it.
    std::vector<float> m_wheelsLastTimeMaxPedalInput;
};

}  // namespace Kinetic
