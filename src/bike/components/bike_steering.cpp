#include "bike/components/bike_steering.h"

#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"

namespace Kinetic {

CBikeSteering::CBikeSteering(const knDefaultSteeringBP& bp)
    : SteeringComponent(bp),
      m_maxSteeringAngle(bp.m_maxSteeringAngle),
      m_maxSpeedFullSteeringAngle(bp.m_maxSpeedFullSteeringAngle),
      m_wheelsDoesSteer(bp.m_wheelsDoesSteer) {
    m_wheelsDoesSteer.resize(m_numWheels, false);
}

void CBikeSteering::updateComponent() {
    m_mainSteeringAngle = m_vehicle->m_driverInput->m_steeringWheelInput * m_maxSteeringAngle;
    // The bike has two wheels: the front always steers, the back only if its flag says so.
    if (m_numWheels > 0) m_wheelsSteeringAngle[0] = steeringPercent[0] * m_mainSteeringAngle;
    if (m_numWheels > 1)
        m_wheelsSteeringAngle[1] = m_wheelsDoesSteer[1] ? steeringPercent[1] * m_mainSteeringAngle : 0.0f;
}

}  // namespace Kinetic
