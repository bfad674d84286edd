#include "kinetic/vehicle/default_suspension.h"

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

void DefaultSuspension::updateComponent() {
    const BodyInfo& ci = m_vehicle->m_chassis->m_chassisInfo;
    const WheelsComponent& wheels = *m_vehicle->m_wheels;
    const Vector3 centre = ci.m_transform.getTranslation();
    for (unsigned i = 0; i < m_numWheels; ++i) {
        const WheelInfo& w = wheels.m_wheelsInfo[i];
        if (!w.m_isInContact) {
            m_wheelsSuspensionForce[i] = 0.0f;
            continue;
        }
        const Vector3 hp = ci.m_transform.getTransformedPos(m_wheelsHardpointCS[i]);
        const Vector3 u = ci.m_transform.getRotatedDir(m_wheelsDirectionCS[i]).getNormalized();
        const float length = (w.m_contactPointWS - hp).dot(u) - wheels.m_wheelsRadius[i];
        const float compression = m_wheelsLength[i] - length;
        const Vector3 v = ci.m_linVelWS + ci.m_angVelWS.cross(hp - centre);
        const float rate = -v.dot(w.m_contactNormalWS);  // hardpoint closing on the ground
        const float damping = rate > 0.0f ? m_wheelsDampingCompression[i] : m_wheelsDampingRelaxation[i];
        const float f = m_wheelsStrength[i] * compression + damping * rate;
        m_wheelsSuspensionForce[i] = f > 0.0f ? f : 0.0f;
    }
}

}  // namespace Kinetic
