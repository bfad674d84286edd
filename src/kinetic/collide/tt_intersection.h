// Exact proximity of single triangles: closest point of a triangle to a point (with the feature it lies
// on) and closest points of two triangles. A triangle is three consecutive vectors.
//
// Feature codes: 3k for vertex k, 1 + 3*start + 9*end for an edge (10, 22, 7 for edges 0, 1, 2), 2 for
// the inside of the face.
#pragma once

#include "kinetic/math/vector3.h"

namespace Kinetic {

class TTintersection {
public:
    // Distance from p to the triangle; result and feature always written. A point exactly on edge 0 or 1
    // gives distance 0 with edge 2's closest point as result (the sphere test discards such contacts).
    static float closestPointTri(Vector3 p, const Vector3* t, Vector3& result, int& feature);
    // Distance between the triangles (0 when they intersect); closest points p on s and q on t.
    static float closestTriTri(const Vector3* s, const Vector3* t, Vector3& p, Vector3& q);
};

}  // namespace Kinetic
