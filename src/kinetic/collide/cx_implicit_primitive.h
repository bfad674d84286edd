// A convex shape given implicitly by its support function (the sphere is the only one).
#pragma once

#include "kinetic/collide/primitive.h"

namespace Kinetic {

class CXImplicitPrimitive : public Primitive {
public:
    CXImplicitPrimitive(RigidBody* body, const Transform& bodyToLocal, float mass)
        : Primitive(CD_CXIMPLICIT, body, bodyToLocal, mass) {}
    // The world point of the shape farthest along the direction.
    virtual Vector3 getSupportingVertex(const Vector3& direction) const = 0;
    virtual int getSubType() const = 0;
};

}  // namespace Kinetic
