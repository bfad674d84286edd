// A model object that moves and takes part in the physics world: it answers action packets and hears of
// the collisions of its bodies.
#pragma once

#include "game/model/bounding_model_object.h"

class CPacket;
namespace Kinetic {
class CollisionEvent;
}

class CDynamicObject : public CBoundingModelObject {
public:
    CDynamicObject();
    explicit CDynamicObject(int descriptionId);

    virtual void doAction(const CPacket& packet, float dt) = 0;
    // `other` is the partner's game object, null when its body has none.
    virtual void collisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event);
    // A phantom handler's event carries the began/stopped state (CPhantomEvent::StateOf).
    virtual void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event);

    qzVector3d linearVelocity;
    qzVector3d linearAcceleration;
    qzVector3d angularVelocity;
    qzVector3d angularAcceleration;
};
