#include "bike/components/bike_suspension.h"

#include <cmath>

#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

namespace {
constexpr float kMinSquareness = 0.1f;  // how squarely the ground meets the suspension, at least
constexpr float kMaxForce = 250.0f;     // per unit of chassis mass (m/s^2)
}  // namespace

CBikeSuspension::CBikeSuspension(const knDefaultSuspensionBP& bp)
    : SuspensionComponent(bp),
      m_wheelsStrength(bp.m_wheelsStrength),
      m_wheelsDampingRelaxation(bp.m_wheelsDampingRelaxation),
      m_wheelsDampingCompression(bp.m_wheelsDampingCompression),
      suspensionRestLength(bp.m_numWheels, 0.0f),
      suspensionCurrentLength(bp.m_numWheels, 0.0f) {
    // Shortened blueprint arrays: the missing wheels get no spring.
    m_wheelsStrength.resize(m_numWheels, 0.0f);
    m_wheelsDampingRelaxation.resize(m_numWheels, 0.0f);
    m_wheelsDampingCompression.resize(m_numWheels, 0.0f);
}

void CBikeSuspension::updateComponent() {
    if (!suspensionOn) {
        for (float& f : m_wheelsSuspensionForce) f = 0.0f;
        return;
    }
    const BodyInfo& ci = m_vehicle->m_chassis->m_chassisInfo;
    const WheelsComponent& wheels = *m_vehicle->m_wheels;
    const Vector3 centre = ci.m_transform.getTranslation();
    for (unsigned i = 0; i < m_numWheels && i < wheels.m_wheelsInfo.size(); ++i) {
        const WheelInfo& w = wheels.m_wheelsInfo[i];
        const Vector3 h = ci.m_transform.getTransformedPos(m_wheelsHardpointCS[i]);
        const Vector3 d = ci.m_transform.getRotatedDir(m_wheelsDirectionCS[i]);
        const float rest = m_wheelsLength[i];
        float c = (w.m_transform.getTranslation() - h).dot(d);
        if (std::fabs(c) > 2.0f * rest) c = c < 0.0f ? -2.0f * rest : 2.0f * rest;
        suspensionRestLength[i] = rest;
        suspensionCurrentLength[i] = c;
        const float x = rest - c;
        // How squarely the ground meets the suspension; kept away from zero.
        float k = -d.dot(w.m_contactNormalWS);
        if (std::fabs(k) < kMinSquareness) k = k < 0.0f ? -kMinSquareness : kMinSquareness;
        float f = m_wheelsStrength[i] * x / k;
        const Vector3 u = w.m_linVelWS - (ci.m_linVelWS + ci.m_angVelWS.cross(h - centre));
        const float e = x * u.dot(d);
        if (e > 0.0f)
            f -= m_wheelsDampingCompression[i] * e;
        else
            f -= m_wheelsDampingRelaxation[i] * e;
        if (std::fabs(f) > kMaxForce) f = f < 0.0f ? -kMaxForce : kMaxForce;
        m_wheelsSuspensionForce[i] = f * ci.m_mass;
    }
}

}  // namespace Kinetic
