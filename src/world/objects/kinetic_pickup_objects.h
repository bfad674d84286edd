// Track triggers: built like static objects, but every primitive is a phantom, so the physics reports
// overlaps and pushes nothing; not entered into the ray casts' static list. Only a bike's body counts,
// which they find, with its statistics and flag, through trigger_riders.h.
//
// - CKineticPickupObject: the first bike to enter it counts one pickup, the pickup announces it and asks
//   the model to remove it (the model defers that until its event delivery is over).
// - CKineticLandObject / CKineticJumpObject: mark in the bike's statistics whether it is inside a target
//   landing / jump area (a flag, set on entry and cleared on leaving).
#pragma once

#include "world/objects/kinetic_track_objects.h"

class CKineticTriggerObject : public CKineticStaticRigidObject {
public:
    explicit CKineticTriggerObject(int descriptionId);
    void updateModelWorld() override;
};

class CKineticPickupObject : public CKineticTriggerObject {
public:
    using CKineticTriggerObject::CKineticTriggerObject;
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
};

class CKineticLandObject : public CKineticTriggerObject {
public:
    using CKineticTriggerObject::CKineticTriggerObject;
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
};

class CKineticJumpObject : public CKineticTriggerObject {
public:
    using CKineticTriggerObject::CKineticTriggerObject;
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
};
