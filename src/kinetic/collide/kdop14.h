// 14-sided discrete-orientation polytope: lower and upper bounds of a shape's projection on 7 fixed unit
// axes. Cheap rejection in front of exact triangle tests.
#pragma once

#include "kinetic/collide/segment.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class OBB;

class KDop14 {
public:
    static constexpr int numAxes = 7;
    static const Vector3 axes[numAxes];

    // Empty: every minimum +FLT_MAX, every maximum -FLT_MAX.
    KDop14();
    // The three vertices of one triangle, no tolerance.
    KDop14(const Vector3* vertices, const TriangleIndices* triangle);
    // A sphere grown by a tolerance (bounds swapped if radius + tolerance is negative).
    KDop14(const Vector3& centre, float radius, float tolerance);
    // An oriented box grown by a tolerance, placed by bodyToWorld.
    KDop14(const OBB& box, const Transform& bodyToWorld, float tolerance);

    void include(const Vector3& p);
    bool intersects(const KDop14& other) const;
    bool intersects(const Segment& s) const;

    float m_min[numAxes];
    float m_max[numAxes];
};

}  // namespace Kinetic
