// Sphere-against-triangle contact and the filter that drops a sphere's contacts with inner vertices and
// edges of a mesh (where the neighbouring surface rises above the contact plane).
#pragma once

#include <vector>

#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

struct Triangle {
    Vector3 m_points[3];
};

class InternalCollideUtil {
public:
    // Separation of sphere and triangle; -1 (out untouched) below 1e-5; out written only when the
    // separation is within the tolerance.
    static float triSphere(const Triangle& t, const Vector3& centre, float radius, ContactPoint& out,
                           int& feature, float tolerance);
    static bool isValidTriContact(const CollisionDetails& contact, const TriangleIndices* triangle,
                                  const Vector3* vertices, int feature,
                                  const std::vector<const TriangleIndices*>& triangles,
                                  const Transform& meshToWorld);
};

}  // namespace Kinetic
