// Oriented box in a primitive's body frame, fitted to a mesh along the principal axes of its covariance.
#pragma once

#include "kinetic/collide/geometry.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/matrix3.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class OBB {
public:
    // Eigenvectors of the covariance as a right-handed frame; returns whether the eigen-solver converged.
    static bool getAxesFromCovariance(Matrix3& covariance, Vector3& axis0, Vector3& axis1, Vector3& axis2);
    // Fits the box to the triangles along the given axes. No triangles: a point box at the origin.
    void makeOBBUsingAxes(const Vector3* vertices, const TriangleIndices* triangles,
                          unsigned int triangleCount, const Vector3& axis0, const Vector3& axis1,
                          const Vector3& axis2);
    void makeOBBOfHull(const Geometry* geometry);
    void makeOBBOfHull(const Vector3* vertices, const TriangleIndices* triangles, unsigned int triangleCount);

    // Separating-axis test of box A (extentA, at the origin of frame A) and box B (extentB, placed in A by
    // bToA), both grown by tolerance. Touching boxes are not disjoint.
    bool isDisjointFrom(const Transform& bToA, const Vector3& extentA, const Vector3& extentB,
                        float tolerance) const;
    // The same with bToA = first * second, composed lazily; product receives it only when not disjoint.
    bool isDisjointFrom(const Transform& first, const Transform& second, Transform& product,
                        const Vector3& extentA, const Vector3& extentB, float tolerance) const;

    Vector3 m_extent;
    Transform m_BVToBodyTransform;
};

}  // namespace Kinetic
