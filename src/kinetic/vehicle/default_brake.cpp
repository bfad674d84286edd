#include "kinetic/vehicle/default_brake.h"

#include <algorithm>

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

void DefaultBrake::updateComponent() {
    const KineticVehicle& v = *m_vehicle;
    const float pedal = v.m_driverInput->m_brakePedalInput;
    const BodyInfo& ci = v.m_chassis->m_chassisInfo;
    const float speed = ci.m_linVelWS.dot(ci.m_transform.getRotatedDir(v.m_chassis->m_forwardDirCS));
    for (unsigned i = 0; i < m_numWheels; ++i) {
        // Against the ground speed the wheel rolls at (not its spin, which the friction solver lets run
        // ahead or behind): a braked wheel that slips must not be driven the other way.
        const float rolling = speed / v.m_wheels->m_wheelsRadius[i];
        m_wheelsBrakingTorque[i] = -pedal * m_wheelsMaxBrakingTorque[i] * std::clamp(rolling, -1.0f, 1.0f);
        if (pedal >= m_wheelsMinPedalInputToBlock[i])
            m_blockTimer[i] += v.m_timeInfo.m_deltaTime;
        else
            m_blockTimer[i] = 0.0f;
        const bool blocked =
            pedal >= m_wheelsMinPedalInputToBlock[i] && m_blockTimer[i] >= m_wheelsMinTimeToBlock[i];
        const bool handbrake = v.m_driverInput->m_handbrakeOn && m_wheelsIsConnectedToHandbrake[i];
        m_wheelsIsFixed[i] = blocked || handbrake;
    }
}

}  // namespace Kinetic
