// The bases that tie a model object to its physics bodies and copy the pose between the two worlds.
// A model position is 100 times the physics position; a model orientation is the body's orientation
// followed by a half turn about x. The body's pose is always its display-to-world transform.
#pragma once

#include <memory>
#include <vector>

#include "game/model/dynamic_object.h"
#include "game/model/object_connection.h"
#include "kinetic/math/quaternion.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {
class RaycastVehicle;
class RigidBody;
}  // namespace Kinetic

namespace kinetic_pose {
// The half turn about x that separates the model frame from the body frame, built at run time from the
// quarter angle so that it carries the float rounding of sin and cos.
Kinetic::Quaternion halfTurnX();
// Model form (scalar first) to physics form and back.
Kinetic::Quaternion toKinetic(const qzQuaternion& q);
qzQuaternion toModel(const Kinetic::Quaternion& q);
// Pose copies through a body's display-to-world transform.
void modelToBody(const qzVector3d& position, const qzQuaternion& orientation, Kinetic::RigidBody* body);
void bodyToModel(const Kinetic::RigidBody* body, qzVector3d& position, qzQuaternion& orientation);
}  // namespace kinetic_pose

// A model object owning rigid bodies addressed by index (by default exactly one, `rigidBody`). The
// subclass that creates the bodies removes and deletes them.
class KineticRigidObject : public CDynamicObject {
public:
    KineticRigidObject();
    explicit KineticRigidObject(int descriptionId);
    ~KineticRigidObject() override;

    void update(float time) override;
    void doAction(const CPacket& packet, float dt) override;
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;

    virtual void updateKineticFromModelObject();
    virtual void updateModelObjectFromKinetic();
    virtual void setRigidBody(Kinetic::RigidBody* body);
    virtual Kinetic::RigidBody* getRigidBody(int index);
    virtual int getRigidBodyCount();

    Kinetic::RigidBody* rigidBody;
};

// A model object owning a raycast vehicle and following its chassis body. The subclass builds the
// vehicle (and may release it earlier, to keep the order of its own teardown).
class KineticVehicleObject : public CDynamicObject {
public:
    explicit KineticVehicleObject(int descriptionId);
    ~KineticVehicleObject() override;

    void update(float time) override;

    virtual void updateKineticFromModelObject();
    virtual void updateModelObjectFromKinetic();

    std::unique_ptr<Kinetic::RaycastVehicle> vehicle;
    std::vector<unsigned int> objects;
    std::vector<CObjectConnection> connections;
};
