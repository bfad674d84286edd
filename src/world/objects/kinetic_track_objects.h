// The track's solid objects: each reads its description, builds its body from the description's first
// collision block, sets the body's collision groups and pinning, and enters the world when placed.
//
// - CKineticStaticRigidObject: one immovable body (group 2, or group 3 for object type 29). Also the base
//   of the pickups and target areas.
// - CKineticDynamicRigidObject: one movable body (group 4), pinned again once it has been still for 60
//   sub-steps.
// - CKineticComplexStaticRigidObject: one fixed body per part of the collision block (group 2).
//
// Without a type record the material is mass 100, restitution 0.25 and friction 1. A description id or
// collision id that names nothing is refused with a log line: the object gets a body without shapes,
// which never collides.
#pragma once

#include <cstdint>
#include <vector>

#include "world/objects/kinetic_rigid_object.h"

class CKineticCollide;
class CObjectDescription;
struct _Info;

namespace trackobject {
// Collision group masks (group g is bit g - 1).
inline constexpr uint32_t kStaticGroups = 2;
inline constexpr uint32_t kStaticType29Groups = 4;
inline constexpr uint32_t kDynamicGroups = 8;
// Object type whose static objects take group 3.
inline constexpr uint8_t kType29 = 29;
// Material of an object without a type record.
inline constexpr float kDefaultMass = 100.0f;
inline constexpr float kDefaultRestitution = 0.25f;
inline constexpr float kDefaultFriction = 1.0f;
// Sub-steps a dynamic object must be still before it is pinned, and the speed (m/s) that counts as moving.
inline constexpr int32_t kStillSteps = 60;
inline constexpr float kStillSpeed = 0.1f;

// The description `descriptionId` and its first collision block, each null (with a log line naming
// `kind`) when the id names nothing. An empty collision list is no fault: the object has no collision.
const CObjectDescription* Describe(int descriptionId, const char* kind);
CKineticCollide* CollisionOf(const CObjectDescription* description, int descriptionId, const char* kind);
// Every primitive of the body gets the mask.
void SetGroups(Kinetic::RigidBody* body, uint32_t groups);
}  // namespace trackobject

class CKineticStaticRigidObject : public KineticRigidObject {
public:
    explicit CKineticStaticRigidObject(int descriptionId);
    // One body without shapes (the complex kind builds its own bodies).
    CKineticStaticRigidObject();
    ~CKineticStaticRigidObject() override;

    void update(float time) override;
    void cleanup() override;
    void doAction(const CPacket& packet, float dt) override;
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
    // Enters the bodies into the physics world and the ray casts' static list, at the object's pose.
    virtual void updateModelWorld();

    CKineticCollide* collide;  // not owned; null without a collision block

protected:
    // Takes body `index` out of the world and the static list and clears its owner.
    void leaveWorld(Kinetic::RigidBody* body);
};

class CKineticDynamicRigidObject : public KineticRigidObject {
public:
    explicit CKineticDynamicRigidObject(int descriptionId);
    ~CKineticDynamicRigidObject() override;

    // Counts the still sub-steps and pins the body on the last, then follows the body.
    void update(float time) override;
    void doAction(const CPacket& packet, float dt) override;
    void collisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
    virtual void updateModelWorld();

    CKineticCollide* collide;  // not owned
    int32_t activeTime;        // sub-steps left before the body is pinned
};

class CKineticComplexStaticRigidObject : public CKineticStaticRigidObject {
public:
    explicit CKineticComplexStaticRigidObject(int descriptionId);
    ~CKineticComplexStaticRigidObject() override;

    void setRigidBody(Kinetic::RigidBody* body) override;
    // Null for an index outside the list.
    Kinetic::RigidBody* getRigidBody(int index) override;
    int getRigidBodyCount() override;

    std::vector<Kinetic::RigidBody*> rigidBodyList;  // one per collision part, owned
};
