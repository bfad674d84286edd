#include "game/core/qz_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

TEST(QzVector3d, LayoutAndPadding) {
    EXPECT_EQ(sizeof(qzVector3d), 16u);
    EXPECT_EQ(alignof(qzVector3d), 16u);
    EXPECT_EQ(sizeof(qzQuaternion), 16u);
    qzVector3d a(1, 2, 3);
    a.pad = 9;
    const qzVector3d b(a);  // copies all four floats
    EXPECT_EQ(b.pad, 9);
    qzVector3d c(4, 5, 6);
    c.pad = 7;
    const _vector3d plain = {10, 20, 30};
    c = plain;  // x, y, z only
    EXPECT_EQ(c.x, 10);
    EXPECT_EQ(c.pad, 7);
}

TEST(QzVector3d, Operators) {
    qzVector3d a(1, 2, 3), b(4, 5, 6);
    a.pad = 11;
    b.pad = 22;
    EXPECT_EQ(a * b, 32.0f);  // dot product
    const qzVector3d s = a + b;
    EXPECT_EQ(s.x, 5);
    EXPECT_EQ(s.z, 9);
    EXPECT_EQ(s.pad, 11);  // from the left operand
    const qzVector3d d = b - a;
    EXPECT_EQ(d.y, 3);
    EXPECT_EQ(d.pad, 22);
    const qzVector3d m = a * 2.0f;
    EXPECT_EQ(m.z, 6);
    EXPECT_EQ(m.pad, 11);
    a *= 3.0f;
    EXPECT_EQ(a.y, 6);
    EXPECT_EQ(a.pad, 11);
    // Division multiplies by the reciprocal: bit for bit equal to the product.
    const qzVector3d v(0.1f, -7.3f, 12345.678f);
    const qzVector3d q = v / 4.0f, p = v * 0.25f;
    EXPECT_EQ(std::memcmp(&q, &p, 12), 0);
    const qzVector3d q3 = v / 3.0f, p3 = v * (1.0f / 3.0f);
    EXPECT_EQ(std::memcmp(&q3, &p3, 12), 0);
}

TEST(QzMath, DistancesLengthNormalizeNegate) {
    const qzVector3d o(0, 0, 0), p(3, 4, 0);
    float r = 0;
    qzMath::qzMathVectorDistanceSquared(&r, &o, &p);
    EXPECT_EQ(r, 25.0f);
    qzMath::qzMathVectorDistance(&r, const_cast<qzVector3d*>(&o), const_cast<qzVector3d*>(&p));
    EXPECT_EQ(r, 5.0f);
    qzMath::qzMathVectorLength(&r, &p);
    EXPECT_EQ(r, 5.0f);
    qzVector3d n = p;
    qzMath::qzMathVectorNormalize(&n);
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.y, 0.8f);
    qzVector3d z(0, 0, 0);
    qzMath::qzMathVectorNormalize(&z);  // stays zero, no NaN
    EXPECT_EQ(z.x, 0);
    EXPECT_EQ(z.y, 0);
    EXPECT_EQ(z.z, 0);
    qzVector3d v(1, -2, 3), out(0, 0, 0);
    v.pad = 5;
    qzMath::qzMathVectorNegate(&out, &v);
    EXPECT_EQ(out.x, -1);
    EXPECT_EQ(out.y, 2);
    EXPECT_EQ(out.pad, 5);
}

// Rotating `from` by the quaternion must give `to` (both unit).
void ExpectTurns(const qzQuaternion& q, qzVector3d from, qzVector3d to) {
    qzMath::qzMathVectorNormalize(&from);
    qzMath::qzMathVectorNormalize(&to);
    _vector3d r;
    Q_TransformVect(&q, &r, &from);
    EXPECT_NEAR(r.x, to.x, 1e-5f);
    EXPECT_NEAR(r.y, to.y, 1e-5f);
    EXPECT_NEAR(r.z, to.z, 1e-5f);
    EXPECT_NEAR(Q_Length(&q), 1.0f, 1e-5f);
}

TEST(QzQuaternion, SetupFromVectors) {
    qzQuaternion q;
    qzQuaternion::setupFromVectors(&q, qzVector3d(1, 0, 0), qzVector3d(0, 1, 0));
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(q.S, h, 1e-6f);
    EXPECT_NEAR(q.Axis.x, 0, 1e-6f);
    EXPECT_NEAR(q.Axis.y, 0, 1e-6f);
    EXPECT_NEAR(q.Axis.z, h, 1e-6f);

    qzQuaternion::setupFromVectors(&q, qzVector3d(0, 2, 0), qzVector3d(0, 5, 0));  // same direction
    EXPECT_EQ(q.S, 1.0f);
    EXPECT_EQ(q.Axis.x, 0.0f);
    EXPECT_EQ(q.Axis.y, 0.0f);
    EXPECT_EQ(q.Axis.z, 0.0f);

    qzQuaternion::setupFromVectors(&q, qzVector3d(1, 2, -3), qzVector3d(-4, 0.5f, 2));
    ExpectTurns(q, qzVector3d(1, 2, -3), qzVector3d(-4, 0.5f, 2));
}

TEST(QzQuaternion, OppositeDirectionsGiveAHalfTurn) {
    const qzVector3d froms[] = {qzVector3d(1, 0, 0), qzVector3d(0, -3, 0), qzVector3d(0, 0, 2),
                                qzVector3d(1, 2, 3)};
    for (const qzVector3d& f : froms) {
        qzQuaternion q;
        qzQuaternion::setupFromVectors(&q, f, f * -1.0f);
        EXPECT_NEAR(q.S, 0.0f, 1e-6f);
        // The axis is perpendicular to `from` and the rotation turns `from` onto `-from`.
        EXPECT_NEAR(q.Axis.x * f.x + q.Axis.y * f.y + q.Axis.z * f.z, 0.0f, 1e-5f);
        ExpectTurns(q, f, f * -1.0f);
    }
}

TEST(QzMatrix4, WrapsTheEngineMatrix) {
    qzMatrix4 m;
    EXPECT_EQ(m[5], 0.0f);
    M4_Identity(&m);
    EXPECT_EQ(m[15], 1.0f);
    EXPECT_EQ(alignof(qzMatrix4), 16u);
}

TEST(QzMath, TriangleNormalIntoPaddedVector) {
    const qzVector3d p0(0, 5, 0), p1(0, 5, 1), p2(1, 5, 0), pt(7, 0, -2);
    qzVector3d n(9, 9, 9);
    float h = 0;
    veMathVectorTriNormalAndPoint(&h, &n, &p0, &p1, &p2, &pt);
    EXPECT_EQ(h, 5.0f);  // a flat triangle at y = 5
    EXPECT_EQ(n.y, 1.0f);
    EXPECT_EQ(n.pad, 1.0f);
}

}  // namespace
