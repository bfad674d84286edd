#include "bike/components/bike_aerodynamics.h"

#include <cmath>

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"

namespace Kinetic {

CBikeAerodynamics::CBikeAerodynamics(const knDefaultAerodynamicsBP& bp)
    : m_airDensity(bp.m_airDensity),
      m_frontalArea(bp.m_frontalArea),
      m_dragCoefficient(bp.m_dragCoefficient),
      m_liftCoefficient(bp.m_liftCoefficient) {}

void CBikeAerodynamics::updateComponent() {
    const ChassisComponent& c = *m_vehicle->m_chassis;
    const BodyInfo& ci = c.m_chassisInfo;
    const Vector3 f = ci.m_transform.getRotatedDir(c.m_forwardDirCS);
    const float s = ci.m_linVelWS.dot(f);
    const float drag = -0.5f * m_airDensity * m_dragCoefficient * m_frontalArea * std::fabs(s) * s;
    m_totalForceWS = f * drag + calcAerodynamicLift() + m_extraGravity * ci.m_mass;
    m_totalTorqueWS = Vector3(0.0f, 0.0f, 0.0f);
}

Vector3 CBikeAerodynamics::calcAerodynamicLift() const {
    const ChassisComponent& c = *m_vehicle->m_chassis;
    const BodyInfo& ci = c.m_chassisInfo;
    const float s = ci.m_linVelWS.dot(ci.m_transform.getRotatedDir(c.m_forwardDirCS));
    return ci.m_transform.getRotatedDir(c.m_upDirCS) *
           (0.5f * m_airDensity * m_liftCoefficient * m_frontalArea * s * s);
}

}  // namespace Kinetic
