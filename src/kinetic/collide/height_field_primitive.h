// A terrain height field in a (fixed) rigid body.
#pragma once

#include <cstdint>

#include "kinetic/collide/height_field.h"
#include "kinetic/collide/primitive.h"

namespace Kinetic {

class HeightFieldPrimitive : public Primitive {
public:
    HeightFieldPrimitive(RigidBody* body, HeightField* field);

    void precomputeCDinfo(float tolerance) override;
    bool intersectionTest(SegmentTest& test) const override;
    bool insideBody(const Vector3& p) const override {
        (void)p;
        return false;
    }
    AABB computeLocalAABB() const override;
    // The clone sits at the identity placement with fast detection off, whatever the source had.
    Primitive* clone(RigidBody* body) const override;

    HeightField* m_heightfield;
    uint8_t m_fastCD = 0;
};

}  // namespace Kinetic
