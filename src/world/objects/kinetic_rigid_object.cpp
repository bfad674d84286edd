#include "world/objects/kinetic_rigid_object.h"

#include "engine/sys/math.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/raycast_vehicle.h"

namespace kinetic_pose {

namespace {
constexpr float kModelUnitsPerMetre = 100.0f;
constexpr float kMetresPerModelUnit = 0.01f;
}  // namespace

Kinetic::Quaternion halfTurnX() {
    const float a = 1.5707964f;
    return Kinetic::Quaternion(x_cos(a), x_sin(a), 0.0f, 0.0f);
}

Kinetic::Quaternion toKinetic(const qzQuaternion& q) {
    return Kinetic::Quaternion(q.S, q.Axis.x, q.Axis.y, q.Axis.z);
}

qzQuaternion toModel(const Kinetic::Quaternion& q) {
    qzQuaternion r;
    r.S = q.m_real;
    r.Axis = {q.m_imag.x, q.m_imag.y, q.m_imag.z};
    return r;
}

void modelToBody(const qzVector3d& position, const qzQuaternion& orientation, Kinetic::RigidBody* body) {
    const Kinetic::Vector3 p(position.x * kMetresPerModelUnit, position.y * kMetresPerModelUnit,
                             position.z * kMetresPerModelUnit);
    body->setDisplayToWorldTransform(p, toKinetic(orientation) * halfTurnX());
}

void bodyToModel(const Kinetic::RigidBody* body, qzVector3d& position, qzQuaternion& orientation) {
    Kinetic::Vector3 p;
    Kinetic::Quaternion q;
    body->getDisplayToWorldTransform(p, q);
    orientation = toModel(q * halfTurnX());
    position.x = p.x * kModelUnitsPerMetre;
    position.y = p.y * kModelUnitsPerMetre;
    position.z = p.z * kModelUnitsPerMetre;
}

}  // namespace kinetic_pose

KineticRigidObject::KineticRigidObject() : rigidBody(nullptr) {}

KineticRigidObject::KineticRigidObject(int descriptionId)
    : CDynamicObject(descriptionId), rigidBody(nullptr) {}

KineticRigidObject::~KineticRigidObject() = default;

void KineticRigidObject::update(float) {
    updateModelObjectFromKinetic();
}

void KineticRigidObject::doAction(const CPacket&, float) {}

void KineticRigidObject::phantomCollisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}

void KineticRigidObject::updateModelObjectFromKinetic() {
    // The count is asked again on every pass; with several bodies the last one's pose remains.
    for (int i = 0; i < getRigidBodyCount(); ++i)
        if (Kinetic::RigidBody* b = getRigidBody(i)) kinetic_pose::bodyToModel(b, position, qOrientation);
}

void KineticRigidObject::updateKineticFromModelObject() {
    for (int i = 0; i < getRigidBodyCount(); ++i)
        if (Kinetic::RigidBody* b = getRigidBody(i)) kinetic_pose::modelToBody(position, qOrientation, b);
}

void KineticRigidObject::setRigidBody(Kinetic::RigidBody* body) {
    rigidBody = body;
}

Kinetic::RigidBody* KineticRigidObject::getRigidBody(int) {
    return rigidBody;
}

int KineticRigidObject::getRigidBodyCount() {
    return 1;
}

KineticVehicleObject::KineticVehicleObject(int descriptionId) : CDynamicObject(descriptionId) {}

KineticVehicleObject::~KineticVehicleObject() = default;

void KineticVehicleObject::update(float) {
    updateModelObjectFromKinetic();
}

void KineticVehicleObject::updateModelObjectFromKinetic() {
    kinetic_pose::bodyToModel(vehicle->m_chassisRigidBody, position, qOrientation);
}

void KineticVehicleObject::updateKineticFromModelObject() {
    kinetic_pose::modelToBody(position, qOrientation, vehicle->m_chassisRigidBody);
}
