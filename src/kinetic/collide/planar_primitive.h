// An infinite plane: points p with normal.p = distance; the solid side is against the normal.
#pragma once

#include "kinetic/collide/primitive.h"

namespace Kinetic {

class PlanarPrimitive : public Primitive {
public:
    PlanarPrimitive(RigidBody* body, const Vector3& normal, float distance);

    void precomputeCDinfo(float tolerance) override;
    bool intersectionTest(SegmentTest& test) const override;
    bool insideBody(const Vector3& p) const override {
        (void)p;
        return false;
    }
    AABB computeLocalAABB() const override;
    Primitive* clone(RigidBody* body) const override;

    Vector3 m_normal;
    float m_distance;
};

}  // namespace Kinetic
