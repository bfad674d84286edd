// A solid sphere centred on the origin of its primitive frame.
#pragma once

#include "kinetic/collide/cx_implicit_primitive.h"

namespace Kinetic {

class SphericalPrimitive : public CXImplicitPrimitive {
public:
    SphericalPrimitive(RigidBody* body, float radius, const Transform& bodyToLocal, float mass);

    void precomputeCDinfo(float tolerance) override;
    bool intersectionTest(SegmentTest& test) const override;
    bool insideBody(const Vector3& p) const override;
    AABB computeLocalAABB() const override;
    Primitive* clone(RigidBody* body) const override;
    bool computeMassProperties() override;
    Vector3 getSupportingVertex(const Vector3& direction) const override;
    int getSubType() const override { return 0; }

    float m_radius;
};

}  // namespace Kinetic
