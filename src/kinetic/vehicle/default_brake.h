// Brakes: the pedal times each wheel's maximum torque, against the wheel's rolling speed over the ground
// (full from 1 rad/s up, less below so that a stopped vehicle is not pushed back); a wheel locks while the
// pedal has been at or above its blocking input for its blocking time, or while the handbrake is on
// and connected to it.
#pragma once

#include <vector>

#include "kinetic/vehicle/brake_component.h"

namespace Kinetic {

class DefaultBrake : public BrakeComponent {
public:
    explicit DefaultBrake(const knDefaultBrakeBP& bp)
        : BrakeComponent(bp),
          m_wheelsMaxBrakingTorque(bp.m_wheelsMaxBrakingTorque),
          m_wheelsMinPedalInputToBlock(bp.m_wheelsMinPedalInputToBlock),
          m_wheelsMinTimeToBlock(bp.m_wheelsMinTimeToBlock),
          m_wheelsIsConnectedToHandbrake(bp.m_wheelsIsConnectedToHandbrake),
          m_blockTimer(bp.m_numWheels, 0.0f) {
        // Shortened blueprint arrays: the missing wheels get no brake.
        m_wheelsMaxBrakingTorque.resize(m_numWheels, 0.0f);
        m_wheelsMinPedalInputToBlock.resize(m_numWheels, 1.1f);
        m_wheelsMinTimeToBlock.resize(m_numWheels, 0.0f);
        m_wheelsIsConnectedToHandbrake.resize(m_numWheels, false);
    }
    void updateComponent() override;

    std::vector<float> m_wheelsMaxBrakingTorque;
    std::vector<float> m_wheelsMinPedalInputToBlock;
    std::vector<float> m_wheelsMinTimeToBlock;
    std::vector<bool> m_wheelsIsConnectedToHandbrake;
    std::vector<float> m_blockTimer;
};

}  // namespace Kinetic
