#include "kinetic/vehicle/default_steering.h"

#include <cmath>

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"

namespace Kinetic {

void DefaultSteering::updateComponent() {
    const KineticVehicle& v = *m_vehicle;
    float angle = v.m_driverInput->m_steeringWheelInput * m_maxSteeringAngle;
    if (m_maxSpeedFullSteeringAngle > 0.0f) {
        const BodyInfo& ci = v.m_chassis->m_chassisInfo;
        const float speed =
            std::fabs(ci.m_linVelWS.dot(ci.m_transform.getRotatedDir(v.m_chassis->m_forwardDirCS)));
        if (speed > m_maxSpeedFullSteeringAngle) angle *= m_maxSpeedFullSteeringAngle / speed;
    }
    m_mainSteeringAngle = angle;
    for (unsigned i = 0; i < m_numWheels; ++i)
        m_wheelsSteeringAngle[i] = i < m_wheelsDoesSteer.size() && m_wheelsDoesSteer[i] ? angle : 0.0f;
}

}  // namespace Kinetic
