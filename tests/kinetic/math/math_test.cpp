// Identities of the engine's vector, matrix, quaternion and transform types.
#include <gtest/gtest.h>

#include <cmath>

#include "kinetic/math/matrix3.h"
#include "kinetic/math/quaternion.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

using namespace Kinetic;

namespace {

void expectVec(const Vector3& v, const Vector3& e, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, e.x, eps);
    EXPECT_NEAR(v.y, e.y, eps);
    EXPECT_NEAR(v.z, e.z, eps);
}

void expectMat(const Matrix3& a, const Matrix3& b, float eps = 1e-5f) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(a(r, c), b(r, c), eps) << "element " << r << "," << c;
}

Quaternion axisAngle(const Vector3& axis, float angle) {
    Vector3 a = axis.getNormalized();
    return Quaternion(std::cos(angle / 2), a * std::sin(angle / 2));
}

Transform fromQuat(const Quaternion& q, const Vector3& t) {
    Transform x;
    x.setRotation(q);
    x.setTranslation(t);
    return x;
}

}  // namespace

TEST(Vector3Test, NormalisingZeroDoesNotDivide) {
    Vector3 z(0, 0, 0);
    z.w = 5.0f;
    Vector3 n = z.getNormalized();
    expectVec(n, Vector3(0, 0, 0));
    EXPECT_EQ(n.w, 1.0f);
    EXPECT_EQ(z.normalize(), 0.0f);
    EXPECT_EQ(z.w, 5.0f);
    Vector3 v(3, 0, 4);
    EXPECT_FLOAT_EQ(v.normalize(), 5.0f);
    expectVec(v, Vector3(0.6f, 0, 0.8f));
}

TEST(Matrix3Test, SkewInverseAndProducts) {
    Vector3 v(1, -2, 3), u(0.5f, 4, -1);
    Matrix3 s;
    s.makeSkewSymetric(v);
    Vector3 su = s * u, vu = v.cross(u);
    expectVec(su, vu);

    Matrix3 m(2, 1, 0, 1, 3, 1, 0, 1, 4);
    expectMat(m * m.getInverse(), Matrix3_Identity);
    Matrix3 inv = m;
    inv.makeInverse();
    expectMat(inv * m, Matrix3_Identity);
    EXPECT_EQ(inv.m_elt[0][3], 1.0f);
    expectMat(m / 2.0f, m * 0.5f);
    expectMat(m + m, 2.0f * m);
    Vector3 r(1, 1, 1);
    m.rotate(r);
    expectVec(r, Vector3(3, 5, 5));
}

TEST(QuaternionTest, MatrixRoundTripAndBranches) {
    // Identity: trace branch.
    Quaternion q(Matrix3_Identity);
    EXPECT_FLOAT_EQ(q.m_real, 1.0f);
    expectVec(q.m_imag, Vector3(0, 0, 0));
    // 180 degrees about x: trace -1, negative branch with i = 0.
    Matrix3 rx(1, 0, 0, 0, -1, 0, 0, 0, -1);
    q.set(rx);
    EXPECT_FLOAT_EQ(q.m_real, 0.0f);
    expectVec(q.m_imag, Vector3(1, 0, 0));
    // Arbitrary rotations survive quaternion -> matrix -> quaternion (up to sign) and rotate alike.
    for (float angle : {0.3f, 2.0f, 3.1f}) {
        Quaternion r = axisAngle(Vector3(1, 2, -0.5f), angle);
        Transform t = fromQuat(r, Vector3_Zero);
        Quaternion back;
        back.set(t);
        float sign = back.m_real * r.m_real + back.m_imag.dot(r.m_imag) < 0 ? -1.0f : 1.0f;
        EXPECT_NEAR(back.m_real * sign, r.m_real, 1e-5f);
        expectVec(back.m_imag * sign, r.m_imag);
        Vector3 p(0.3f, -1, 2);
        Vector3 a = r.getRotatedPos(p), b = t.getRotatedPos(p);
        expectVec(a, b);
    }
}

TEST(TransformTest, CompositionInverseAndTensor) {
    Transform a = fromQuat(axisAngle(Vector3(0, 1, 1), 0.8f), Vector3(1, 2, 3));
    Transform b = fromQuat(axisAngle(Vector3(1, 0, 0.3f), -1.1f), Vector3(-4, 0.5f, 2));
    Vector3 p(0.7f, -0.2f, 5);
    // The product applies the right-hand transform first.
    Vector3 ab = (a * b).getTransformedPos(p), seq = a.getTransformedPos(b.getTransformedPos(p));
    expectVec(ab, seq);
    Vector3 back = (a * a.getInverse()).getTransformedPos(p);
    expectVec(back, p);
    expectMat(a.getTransformedMatrix(Matrix3_Identity), Matrix3_Identity);
    // A tensor in local axes expressed in the outer frame acts on rotated vectors alike.
    Matrix3 inertia(2, 0, 0, 0, 3, 0, 0, 0, 4);
    Vector3 w(1, -1, 0.5f);
    Vector3 lhs = a.getTransformedMatrix(inertia) * a.getRotatedDir(w), rhs = a.getRotatedDir(inertia * w);
    expectVec(lhs, rhs);
    Transform id;
    id.makeIdentity();
    expectVec(id.getTransformedPos(p), p);
    Transform m(Matrix3(a), Vector3(9, 8, 7));
    expectVec(m.getTransformedPos(p), a.getRotatedPos(p) + Vector3(9, 8, 7));
}
