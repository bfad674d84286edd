// Free-standing mesh algorithms: the enclosing sphere of a point set (bounds a mesh primitive), the
// area-weighted mean and covariance of a mesh (orients a bounding box) and a point-in-mesh test.
#pragma once

#include "kinetic/collide/geometry.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/matrix3.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

// Building blocks of the sphere search; each writes a centre and a radius.
void PlanarCircumscribe3(const Vector3& a, const Vector3& b, const Vector3& c, Vector3& centre,
                         float& radius);
void MinimalSphere3(const Vector3& a, const Vector3& b, const Vector3& c, Vector3& centre, float& radius);
void Circumscribe4(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d, Vector3& centre,
                   float& radius);
void MinimalSphere4(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d, Vector3& centre,
                    float& radius);
void MinFix2(int m, const Vector3* const* points, const Vector3& q, const Vector3& p, Vector3& centre,
             float& radius);

class GeometryUtil {
public:
    // Enclosing sphere by a fixed-depth scheme over a deterministically shuffled order; not always the
    // smallest for more than four points. No points: the origin and radius 0.
    static void minSphere(const Vector3* points, int n, Vector3& centre, float& radius);
    // Area-weighted mean and covariance (scaled by the total area) of n triangles; a mesh without area
    // gives mean 0 and the identity.
    static void getMeanAndCovariance(const Vector3* vertices, const TriangleIndices* triangles,
                                     unsigned int n, Matrix3& covariance, Vector3& mean, bool jitter);
    // Casts one line through the point and lets the nearest hits on either side vote.
    static bool isPointInside(const Geometry* g, const Vector3& point, const Vector3& direction,
                              bool acceptOneSided);
};

}  // namespace Kinetic
