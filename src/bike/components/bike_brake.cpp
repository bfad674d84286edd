#include "bike/components/bike_brake.h"

#include <cmath>

#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

namespace {
constexpr float kNeverBlocks = 1.1f;  // a pedal input to block above any the pedal gives
}  // namespace

CBikeBrake::CBikeBrake(const knDefaultBrakeBP& bp)
    : BrakeComponent(bp),
      m_wheelsMaxBrakingTorque(bp.m_wheelsMaxBrakingTorque),
      m_wheelsMinPedalInputToBlock(bp.m_wheelsMinPedalInputToBlock),
      m_wheelsMinTimeToBlock(bp.m_wheelsMinTimeToBlock),
      m_wheelsIsConnectedToHandbrake(bp.m_wheelsIsConnectedToHandbrake),
      m_wheelsLastTimeMaxPedalInput(bp.m_numWheels, -1.0f) {
    // Shortened blueprint arrays: the missing wheels get no brake.
    m_wheelsMaxBrakingTorque.resize(m_numWheels, 0.0f);
    m_wheelsMinPedalInputToBlock.resize(m_numWheels, kNeverBlocks);
    m_wheelsMinTimeToBlock.resize(m_numWheels, 0.0f);
    m_wheelsIsConnectedToHandbrake.resize(m_numWheels, false);
}

void CBikeBrake::updateComponent() {
    const KineticVehicle& v = *m_vehicle;
    const DriverInputComponent& in = *v.m_driverInput;
    const WheelsComponent& wheels = *v.m_wheels;
    for (unsigned i = 0; i < m_numWheels; ++i) {
        m_wheelsIsFixed[i] = in.m_handbrakeOn && m_wheelsIsConnectedToHandbrake[i];
        const WheelInfo& w = wheels.m_wheelsInfo[i];
        // The torque that stops the wheel's spin within this step.
        const float stop =
            -w.m_spinVelocity * w.m_mass * (1.0f / wheels.m_wheelsRadius[i]) * v.m_timeInfo.m_deltaTimeInv;
        const float available = in.m_brakePedalInput * m_wheelsMaxBrakingTorque[i];
        if (std::fabs(stop) <= available)
            m_wheelsBrakingTorque[i] = stop;
        else
            m_wheelsBrakingTorque[i] = stop > 0.0f ? available : -available;
        if (in.m_brakePedalInput <= m_wheelsMinPedalInputToBlock[i])
            m_wheelsLastTimeMaxPedalInput[i] = -1.0f;
        else if (m_wheelsLastTimeMaxPedalInput[i] <= 0.0f)
            m_wheelsLastTimeMaxPedalInput[i] = v.m_timeInfo.m_currentTime;
    }
}

}  // namespace Kinetic
