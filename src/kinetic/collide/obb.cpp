#include "kinetic/collide/obb.h"

#include <cfloat>
#include <cmath>

#include "kinetic/collide/geometry_util.h"

namespace Kinetic {

namespace {

// The fifteen-axis test on a rotation R[i][j] (B's axis j in A) and translation t. R entries are read
// through a callback so that the two-transform form can compute them only when an axis needs them.
template <typename GetR>
bool separated(GetR&& getR, const float t[3], const Vector3& extentA, const Vector3& extentB, float tol) {
    const float a[3] = {extentA.x + tol, extentA.y + tol, extentA.z + tol};
    const float b[3] = {extentB.x + tol, extentB.y + tol, extentB.z + tol};
    float R[3][3];
    float Q[3][3];
    bool have[3][3] = {};
    auto r = [&](int i, int j) -> float {
        if (!have[i][j]) {
            R[i][j] = getR(i, j);
            Q[i][j] = std::fabs(R[i][j]) + 1e-6f;
            have[i][j] = true;
        }
        return R[i][j];
    };
    auto q = [&](int i, int j) -> float {
        r(i, j);
        return Q[i][j];
    };
    auto testA = [&](int i) {
        return std::fabs(t[i]) > a[i] + b[0] * q(i, 0) + b[1] * q(i, 1) + b[2] * q(i, 2);
    };
    auto testB = [&](int j) {
        return std::fabs(t[0] * r(0, j) + t[1] * r(1, j) + t[2] * r(2, j)) >
               b[j] + a[0] * q(0, j) + a[1] * q(1, j) + a[2] * q(2, j);
    };
    auto testAB = [&](int i, int j) {
        const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
        return std::fabs(t[i2] * r(i1, j) - t[i1] * r(i2, j)) >
               a[i1] * q(i2, j) + a[i2] * q(i1, j) + b[j1] * q(i, j2) + b[j2] * q(i, j1);
    };
    if (testA(0) || testB(0) || testA(1) || testA(2) || testB(1) || testB(2)) return true;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (testAB(i, j)) return true;
    return false;
}

}  // namespace

bool OBB::getAxesFromCovariance(Matrix3& covariance, Vector3& axis0, Vector3& axis1, Vector3& axis2) {
    bool ok = covariance.makeEigenvectors();
    axis0 = covariance.getCol(0);
    axis1 = covariance.getCol(1);
    axis2 = covariance.getCol(2);
    if (axis0.cross(axis1).dot(axis2) < 0.0f) axis2 = -axis2;
    return ok;
}

void OBB::makeOBBUsingAxes(const Vector3* vertices, const TriangleIndices* triangles,
                           unsigned int triangleCount, const Vector3& axis0, const Vector3& axis1,
                           const Vector3& axis2) {
    const Vector3 ax[3] = {axis0, axis1, axis2};
    for (int c = 0; c < 3; ++c) {
        m_BVToBodyTransform(0, c) = ax[c].x;
        m_BVToBodyTransform(1, c) = ax[c].y;
        m_BVToBodyTransform(2, c) = ax[c].z;
    }
    if (triangleCount == 0) {
        // Nothing to fit: an empty box would leave infinite extents behind.
        m_extent = Vector3_Zero;
        m_BVToBodyTransform.setTranslation(Vector3_Zero);
        return;
    }
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (unsigned int t = 0; t < triangleCount; ++t) {
        for (int k = 0; k < 3; ++k) {
            const Vector3& p = vertices[triangles[t].m_verts[k]];
            for (int j = 0; j < 3; ++j) {
                float v = ax[j].dot(p);
                if (v < lo[j]) lo[j] = v;
                if (v > hi[j]) hi[j] = v;
            }
        }
    }
    const Vector3 c((hi[0] + lo[0]) / 2, (hi[1] + lo[1]) / 2, (hi[2] + lo[2]) / 2);
    m_extent = Vector3((hi[0] - lo[0]) / 2, (hi[1] - lo[1]) / 2, (hi[2] - lo[2]) / 2);
    m_BVToBodyTransform.setTranslation(axis0 * c.x + axis1 * c.y + axis2 * c.z);
}

void OBB::makeOBBOfHull(const Geometry* geometry) {
    makeOBBOfHull(geometry->m_vertices, geometry->m_triangles,
                  static_cast<unsigned int>(geometry->m_triangle_count));
}

void OBB::makeOBBOfHull(const Vector3* vertices, const TriangleIndices* triangles,
                        unsigned int triangleCount) {
    Matrix3 covariance;
    Vector3 mean;
    GeometryUtil::getMeanAndCovariance(vertices, triangles, triangleCount, covariance, mean, false);
    Vector3 a0, a1, a2;
    getAxesFromCovariance(covariance, a0, a1, a2);
    makeOBBUsingAxes(vertices, triangles, triangleCount, a0, a1, a2);
}

bool OBB::isDisjointFrom(const Transform& bToA, const Vector3& extentA, const Vector3& extentB,
                         float tolerance) const {
    const float t[3] = {bToA(0, 3), bToA(1, 3), bToA(2, 3)};
    return separated([&](int i, int j) { return bToA(i, j); }, t, extentA, extentB, tolerance);
}

bool OBB::isDisjointFrom(const Transform& first, const Transform& second, Transform& product,
                         const Vector3& extentA, const Vector3& extentB, float tolerance) const {
    const Vector3 tp = first.getTransformedPos(second.getTranslation());
    const float t[3] = {tp.x, tp.y, tp.z};
    auto entry = [&](int i, int j) {
        return first(i, 0) * second(0, j) + first(i, 1) * second(1, j) + first(i, 2) * second(2, j);
    };
    if (separated(entry, t, extentA, extentB, tolerance)) return true;
    product = first * second;
    return false;
}

}  // namespace Kinetic
