#include "kinetic/vehicle/default_aerodynamics.h"

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"

namespace Kinetic {

void DefaultAerodynamics::updateComponent() {
    const ChassisComponent& c = *m_vehicle->m_chassis;
    const BodyInfo& ci = c.m_chassisInfo;
    const Vector3& v = ci.m_linVelWS;
    const float k = 0.5f * m_bp.m_airDensity * m_bp.m_frontalArea;
    const float s = v.dot(ci.m_transform.getRotatedDir(c.m_forwardDirCS));
    const Vector3 up = ci.m_transform.getRotatedDir(c.m_upDirCS);
    m_totalForceWS = v * (-k * m_bp.m_dragCoefficient * v.length()) +
                     up * (k * m_bp.m_liftCoefficient * s * s) + m_bp.m_extraGravity * ci.m_mass;
    m_totalTorqueWS = Vector3(0.0f, 0.0f, 0.0f);
}

}  // namespace Kinetic
