#include "kinetic/vehicle/raycast_vehicle.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include "kinetic/collide/error.h"
#include "kinetic/collide/group_segment_test.h"
#include "kinetic/collide/intersection_solver.h"
#include "kinetic/collide/segment_test.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/aerodynamics_component.h"
#include "kinetic/vehicle/brake_component.h"
#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/external_vehicle_controller.h"
#include "kinetic/vehicle/steering_component.h"
#include "kinetic/vehicle/suspension_component.h"
#include "kinetic/vehicle/transmission_component.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    g_pGlobalErrorHandler->fatal("RaycastVehicle: " + why, 1);
    std::abort();  // a replaced reporter must not return either
}

Quaternion aboutAxis(const Vector3& axis, float angle) {
    const float s = std::sin(angle * 0.5f);
    return Quaternion(std::cos(angle * 0.5f), axis.x * s, axis.y * s, axis.z * s);
}

}  // namespace

unsigned RaycastVehicle::checkedAxleCount(const knRaycastVehicleBP& bp) {
    if (!bp.m_chassis || !bp.m_wheels || !bp.m_driverInput || !bp.m_steering || !bp.m_engine ||
        !bp.m_transmission || !bp.m_brake || !bp.m_suspension || !bp.m_aerodynamics)
        refuse("a component is missing");
    if (!bp.m_chassisRigidBody) refuse("no chassis body");
    if (!bp.m_intersectionSolver) refuse("no intersection solver");
    const WheelsComponent& w = *bp.m_wheels;
    const unsigned n = w.m_numWheels;
    if (w.m_wheelsRadius.size() < n || w.m_wheelsAxle.size() < n || w.m_wheelsInfo.size() < n ||
        w.m_wheelsFriction.size() < n || w.m_wheelsViscosityFriction.size() < n)
        refuse("wheel arrays shorter than the wheel count");
    const SuspensionComponent& s = *bp.m_suspension;
    if (bp.m_steering->m_numWheels != n || bp.m_steering->m_wheelsSteeringAngle.size() < n ||
        bp.m_transmission->m_numWheels != n || bp.m_transmission->m_wheelsTransmittedTorque.size() < n ||
        bp.m_brake->m_numWheels != n || bp.m_brake->m_wheelsBrakingTorque.size() < n ||
        bp.m_brake->m_wheelsIsFixed.size() < n || s.m_numWheels != n ||
        s.m_wheelsSuspensionForce.size() < n || s.m_wheelsHardpointCS.size() < n ||
        s.m_wheelsDirectionCS.size() < n || s.m_wheelsLength.size() < n)
        refuse("the components disagree on the wheel count (" + std::to_string(n) + " wheels)");
    for (unsigned i = 0; i < n; ++i) {
        if (w.m_wheelsAxle[i] >= w.m_numAxles) refuse("wheel " + std::to_string(i) + " names a missing axle");
        if (!(w.m_wheelsRadius[i] > 0.0f)) refuse("wheel " + std::to_string(i) + " has no radius");
    }
    if (w.m_numAxles != 2)
        refuse("the wheel friction needs exactly two axles, not " + std::to_string(w.m_numAxles));
    return w.m_numAxles;
}

RaycastVehicle::RaycastVehicle(const knRaycastVehicleBP& bp)
    : KineticVehicle(bp),
      m_intersectionSolver(bp.m_intersectionSolver),
      m_frictionSolver(checkedAxleCount(bp)),
      m_numExternalVehicleControllers(bp.m_numExternalVehicleControllers),
      m_externalVehicleControllers(bp.m_externalVehicleControllers),
      m_chassisRigidBody(bp.m_chassisRigidBody) {
    m_chassisRigidBody->setNeverDeactivate(true);
    m_frictionSolverEnabled = true;
    reinitializeInternal(bp);
}

RaycastVehicle::~RaycastVehicle() {
    for (ExternalVehicleController* c : m_externalVehicleControllers) delete c;
}

void RaycastVehicle::reinitializeInternal(const knRaycastVehicleBP& bp) {
    RaycastFrictionSolverParams& p = m_frictionSolver.m_params;
    p.m_torquePitchFactor = bp.m_torquePitchFactor;
    p.m_torqueRollFactor = bp.m_torqueRollFactor;
    p.m_torqueYawFactor = bp.m_torqueYawFactor;
    p.m_frictionEqualizer = bp.m_frictionEqualizer;
    p.m_extraAngularImpulseFactor = bp.m_extraAngularImpulseFactor;
    p.m_extraTorqueFactor = bp.m_extraTorqueFactor;
    switch (m_chassis->m_coordinateSystem) {
        case CCS_Z_UP_X_RIGHT:
            p.m_upAxisIndex = 2, p.m_forwardAxisIndex = 1, p.m_rightAxisIndex = 0;
            break;
        case CCS_X_UP_Y_RIGHT:
            p.m_upAxisIndex = 0, p.m_forwardAxisIndex = 2, p.m_rightAxisIndex = 1;
            break;
        case CCS_Y_UP_Z_RIGHT:
            p.m_upAxisIndex = 1, p.m_forwardAxisIndex = 0, p.m_rightAxisIndex = 2;
            break;
    }
    const float mass = m_chassis->m_chassisInfo.m_mass;
    m_chassisRigidBody->setMass(mass);
    const Vector3 d = (m_chassis->m_upDirCS * bp.m_chassisUnitInertiaYaw +
                       m_chassis->m_forwardDirCS * bp.m_chassisUnitInertiaRoll +
                       m_chassis->m_rightDirCS * bp.m_chassisUnitInertiaPitch) *
                      mass;
    m_chassisRigidBody->setInertia(Matrix3(d.x, 0, 0, 0, d.y, 0, 0, 0, d.z));
}

void RaycastVehicle::updateBodiesInfo() {
    RigidBody* body = m_chassisRigidBody;
    BodyInfo& ci = m_chassis->m_chassisInfo;
    ci.m_transform = body->m_transformation;
    ci.m_linVelWS = body->m_linearVelocity;
    ci.m_angVelWS = body->m_angularVelocity;
    ci.m_mass = body->m_mass;

    const unsigned n = m_wheels->m_numWheels;
    GroupSegmentTest& group = m_wheelCasts;
    if (group.m_tests.size() != n) {
        group.clear();
        for (unsigned i = 0; i < n; ++i) group.addTest(new ClosestHitSegmentTest(Segment()));
    }
    for (unsigned i = 0; i < n; ++i) {
        const Vector3& h = m_suspension->m_wheelsHardpointCS[i];
        const Vector3& d = m_suspension->m_wheelsDirectionCS[i];
        const float reach = m_suspension->m_wheelsLength[i] + m_wheels->m_wheelsRadius[i];
        const Segment s = Segment::between(ci.m_transform.getTransformedPos(h),
                                           ci.m_transform.getTransformedPos(h + d * reach));
        group.m_tests[i]->restart(s);
    }
    group.restart();
    m_intersectionSolver->solveGroupTest(group);

    for (unsigned i = 0; i < n; ++i) {
        const auto* t = static_cast<const ClosestHitSegmentTest*>(group.m_tests[i]);
        const Segment& seg = t->m_originalSegment;
        const Vector3& s = seg.m_start;
        const Vector3& u = seg.m_direction;
        const float r = m_wheels->m_wheelsRadius[i];
        WheelInfo& w = m_wheels->m_wheelsInfo[i];
        w.m_isInContact = t->m_isTestValid != 0;
        Vector3 centre;
        if (w.m_isInContact) {
            const SimpleHit& hit = t->m_hit;
            centre = s + u * (hit.m_distance - r);
            w.m_contactPointWS = s + u * hit.m_distance;
            w.m_contactFriction = hit.m_friction;
            const Vector3 nrm = hit.m_normal.dot(u) < 0.0f ? hit.m_normal : -hit.m_normal;
            w.m_contactNormalWS = nrm;
            const Vector3 v = ci.m_linVelWS + ci.m_angVelWS.cross(s - body->m_position);
            const float nu = nrm.dot(u);
            // A ground nearly parallel to the suspension gives no sensible wheel velocity.
            if (std::fabs(nu) <= 0.1f)
                w.m_linVelWS = Vector3(0, 0, 0);
            else
                w.m_linVelWS = v - u * (nrm.dot(v) / nu);
        } else {
            centre = s + u * (seg.m_length - r);
            w.m_linVelWS = ci.m_linVelWS;
            w.m_contactPointWS = seg.m_end;
            w.m_contactNormalWS = -u;
            w.m_contactFriction = 0.0f;
        }
        w.m_transform.setTranslation(centre);
    }

    const Vector3 forward = Matrix3(ci.m_transform) * m_chassis->m_forwardDirCS;
    const float speed = ci.m_linVelWS.dot(forward);
    for (unsigned i = 0; i < n; ++i) {
        WheelInfo& w = m_wheels->m_wheelsInfo[i];
        if (m_brake->m_wheelsIsFixed[i]) {
            w.m_spinVelocity = 0.0f;
        } else {
            w.m_spinVelocity = (speed + w.m_forwardSlipVelocity) / m_wheels->m_wheelsRadius[i];
            w.m_spinAngle += w.m_spinVelocity * m_timeInfo.m_deltaTime;
        }
    }
}

void RaycastVehicle::doSimulationStep() {
    const float dt = m_timeInfo.m_deltaTime;
    RigidBody* body = m_chassisRigidBody;
    const bool movable = !body->isFixed() && !body->isPinned();
    Quaternion q;
    q.set(m_chassis->m_chassisInfo.m_transform);
    RaycastFrictionSolverParams& p = m_frictionSolver.m_params;
    for (unsigned a = 0; a < p.m_numAxles; ++a) p.m_axleParams[a] = RaycastFrictionSolverAxleParams();

    if (movable) {
        body->m_linearVelocity += m_aerodynamics->m_totalForceWS * (body->m_massInv * dt);
        body->m_angularVelocity += body->m_worldInertiaInv * (m_aerodynamics->m_totalTorqueWS * dt);
    }

    const Vector3& up = m_chassis->m_upDirCS;
    const Vector3& right = m_chassis->m_rightDirCS;
    for (unsigned i = 0; i < m_wheels->m_numWheels; ++i) {
        WheelInfo& w = m_wheels->m_wheelsInfo[i];
        RaycastFrictionSolverAxleParams& ap = p.m_axleParams[m_wheels->m_wheelsAxle[i]];
        const Quaternion steer = aboutAxis(up, -m_steering->m_wheelsSteeringAngle[i]);
        const Quaternion spin = aboutAxis(right, -w.m_spinAngle);
        w.m_transform.setRotation(q * steer * spin);
        const Vector3 axle = q.getRotatedPos(steer.getRotatedPos(right));
        float force = 0.0f;
        if (w.m_isInContact) {
            force = m_suspension->m_wheelsSuspensionForce[i];
            if (movable) {
                const Vector3 j = w.m_contactNormalWS * (force * dt);
                const Vector3 hp = m_chassis->m_chassisInfo.m_transform.getTransformedPos(
                    m_suspension->m_wheelsHardpointCS[i]);
                body->m_linearVelocity += j * body->m_massInv;
                body->m_angularVelocity += body->m_worldInertiaInv * (hp - body->m_position).cross(j);
            }
        }
        const float r = m_wheels->m_wheelsRadius[i];
        const float forwardForce =
            (m_brake->m_wheelsBrakingTorque[i] + m_transmission->m_wheelsTransmittedTorque[i]) / r;
        Vector3 fwd = w.m_contactNormalWS.cross(axle);
        fwd.normalize();
        const Vector3 side = fwd.cross(w.m_contactNormalWS);
        const float weight = force + 0.01f;
        ap.m_contactPointWS += w.m_contactPointWS * weight;
        ap.m_constraintNormalWS += side;
        ap.m_forwardDirWS += fwd;
        ap.m_frictionCoefficient += weight * m_wheels->m_wheelsFriction[i] * w.m_contactFriction;
        ap.m_viscosityFrictionCoefficient += weight * m_wheels->m_wheelsViscosityFriction[i];
        ap.m_wheelDownForce += force;
        ap.m_forwardForce += forwardForce;
        ap.m_rotationInertia += w.m_mass;
        if (m_brake->m_wheelsIsFixed[i]) ap.m_wheelFixed = true;
    }
    for (unsigned a = 0; a < p.m_numAxles; ++a) {
        RaycastFrictionSolverAxleParams& ap = p.m_axleParams[a];
        ap.m_constraintNormalWS.normalize();
        ap.m_forwardDirWS.normalize();
        const float k =
            1.0f / (ap.m_wheelDownForce + 0.01f * static_cast<float>(m_wheels->m_numWheelsPerAxle[a]));
        ap.m_contactPointWS *= k;
        ap.m_frictionCoefficient *= k;
        ap.m_viscosityFrictionCoefficient *= k;
    }
    p.m_fastYawSteeringAngle = m_steering->m_mainSteeringAngle;
    p.m_chassis = body;
    p.m_ground = nullptr;
    for (ExternalVehicleController* c : m_externalVehicleControllers)
        if (c) c->update(*this);
    if (m_frictionSolverEnabled) m_frictionSolver.solveRaycastFriction(dt);
    for (unsigned i = 0; i < m_wheels->m_numWheels; ++i) {
        WheelInfo& w = m_wheels->m_wheelsInfo[i];
        const unsigned a = m_wheels->m_wheelsAxle[i];
        w.m_skidEnergyDensity = w.m_isInContact ? m_frictionSolver.getSkidEnergyDensity(a) : 0.0f;
        w.m_sideForce = w.m_isInContact ? m_frictionSolver.getSideForce(a) : 0.0f;
        w.m_forwardSlipVelocity = m_frictionSolver.getForwardSlipVelocity(a);
    }
}

}  // namespace Kinetic
