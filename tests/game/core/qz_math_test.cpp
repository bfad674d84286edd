#include "game/core/qz_math.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

namespace {

// x, y, z and the pad word of a vector.
std::array<float, 4> All(const qzVector3d& v) {
    return {v.x, v.y, v.z, v.pad};
}

TEST(QzVector3d, OperatorsKeepTheLeftPadAndCopiesKeepAllFour) {
    qzVector3d a(1, 2, 3), b(4, 5, 6);
    a.pad = 11;
    b.pad = 22;
    EXPECT_EQ(All(qzVector3d(a)), (std::array<float, 4>{1, 2, 3, 11}));
    qzVector3d c = b;
    const _vector3d plain = {10, 20, 30};
    c = plain;  // x, y, z only
    EXPECT_EQ(All(c), (std::array<float, 4>{10, 20, 30, 22}));
    EXPECT_EQ(a * b, 32.0f);  // dot product
    EXPECT_EQ(All(a + b), (std::array<float, 4>{5, 7, 9, 11}));
    EXPECT_EQ(All(b - a), (std::array<float, 4>{3, 3, 3, 22}));
    EXPECT_EQ(All(a * 2.0f), (std::array<float, 4>{2, 4, 6, 11}));
    a *= 3.0f;
    EXPECT_EQ(All(a), (std::array<float, 4>{3, 6, 9, 11}));
    // Division multiplies by the reciprocal: bit for bit equal to the product.
    const qzVector3d v(0.1f, -7.3f, 12345.678f);
    for (float d : {4.0f, 3.0f}) {
        const qzVector3d q = v / d, p = v * (1.0f / d);
        EXPECT_EQ(std::memcmp(&q, &p, 12), 0) << d;
    }
}

TEST(QzMath, DistancesLengthNormalizeNegateAndTriangleNormal) {
    qzVector3d o(0, 0, 0), p(3, 4, 0);
    float r = 0;
    qzMath::qzMathVectorDistanceSquared(&r, &o, &p);
    EXPECT_EQ(r, 25.0f);
    qzMath::qzMathVectorDistance(&r, &o, &p);
    EXPECT_EQ(r, 5.0f);
    qzMath::qzMathVectorLength(&r, &p);
    EXPECT_EQ(r, 5.0f);
    qzMath::qzMathVectorNormalize(&p);
    EXPECT_FLOAT_EQ(p.x, 0.6f);
    EXPECT_FLOAT_EQ(p.y, 0.8f);
    qzMath::qzMathVectorNormalize(&o);  // stays zero, no NaN
    EXPECT_EQ(All(o), (std::array<float, 4>{0, 0, 0, 0}));
    qzVector3d v(1, -2, 3), out(0, 0, 0);
    v.pad = 5;
    qzMath::qzMathVectorNegate(&out, &v);
    EXPECT_EQ(All(out), (std::array<float, 4>{-1, 2, -3, 5}));
    const qzVector3d p0(0, 5, 0), p1(0, 5, 1), p2(1, 5, 0), pt(7, 0, -2);
    qzVector3d n(9, 9, 9);
    float h = 0;
    veMathVectorTriNormalAndPoint(&h, &n, &p0, &p1, &p2, &pt);
    EXPECT_EQ(h, 5.0f);  // a flat triangle at y = 5
    EXPECT_EQ(All(n), (std::array<float, 4>{0, 1, 0, 1}));
}

// The quaternion from `from` to `to` turns one onto the other and has unit length.
TEST(QzQuaternion, SetupFromVectorsTurnsOneOntoTheOther) {
    const qzVector3d pairs[][2] = {{{1, 0, 0}, {0, 1, 0}},      {{0, 2, 0}, {0, 5, 0}},
                                   {{1, 2, -3}, {-4, 0.5f, 2}}, {{1, 0, 0}, {-1, 0, 0}},
                                   {{0, -3, 0}, {0, 3, 0}},     {{0, 0, 2}, {0, 0, -2}},
                                   {{1, 2, 3}, {-1, -2, -3}}};
    for (const auto& pair : pairs) {
        qzQuaternion q;
        qzQuaternion::setupFromVectors(&q, pair[0], pair[1]);
        qzVector3d from = pair[0], to = pair[1];
        qzMath::qzMathVectorNormalize(&from);
        qzMath::qzMathVectorNormalize(&to);
        _vector3d turned;
        Q_TransformVect(&q, &turned, &from);
        EXPECT_NEAR(turned.x, to.x, 1e-5f);
        EXPECT_NEAR(turned.y, to.y, 1e-5f);
        EXPECT_NEAR(turned.z, to.z, 1e-5f);
        EXPECT_NEAR(Q_Length(&q), 1.0f, 1e-5f);
    }
    qzQuaternion q;
    qzQuaternion::setupFromVectors(&q, qzVector3d(1, 0, 0), qzVector3d(0, 1, 0));
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(q.S, h, 1e-6f);
    EXPECT_NEAR(q.Axis.z, h, 1e-6f);
    qzQuaternion::setupFromVectors(&q, qzVector3d(0, 2, 0), qzVector3d(0, 5, 0));  // same direction
    EXPECT_EQ(q.S, 1.0f);
    EXPECT_EQ(q.Axis.x + q.Axis.y + q.Axis.z, 0.0f);
}

}  // namespace
