#include "engine/sys/math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

_matrix4 Mat(std::initializer_list<float> v) {
    _matrix4 m{};
    int i = 0;
    for (float f : v) m.M[i++] = f;
    return m;
}

// Reference product of row-major matrices: r = x * y.
_matrix4 Product(const _matrix4& x, const _matrix4& y) {
    _matrix4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k) s += double(x.M[4 * i + k]) * y.M[4 * k + j];
            r.M[4 * i + j] = float(s);
        }
    return r;
}

_vector3d Transform(const _matrix4& m, _vector3d p) {
    _vector3d out;
    M4_TransformVerts(&m, &out, &p, 1);
    return out;
}

void ExpectMatNear(const _matrix4& a, const _matrix4& b, float tol) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.M[i], b.M[i], tol) << "element " << i;
}

void ExpectVecNear(const _vector3d& a, const _vector3d& b, float tol) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

// A rotation-plus-translation with no zero elements in the rotation part.
_matrix4 SomeAffine() {
    _matrix4 m;
    M4_SetRotationsXYZ(&m, 0.3f, -0.7f, 1.1f);
    _vector3d t = {4.0f, -2.0f, 9.0f};
    M4_SetTranslation(&m, &t);
    return m;
}

TEST(MathTrig, TableSineAndCosine) {
    EXPECT_EQ(x_cos(0.0f), 1.0f);
    EXPECT_EQ(x_sin(0.0f), 0.0f);
    float s, c;
    x_sincos(0.0f, &s, &c);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(c, 1.0f);
    // Within one table step (2pi/4096) of the true values, negative angles wrapping through the mask.
    for (float a = -20.0f; a < 20.0f; a += 0.173f) {
        EXPECT_NEAR(x_sin(a), std::sin(a), 0.0016f) << a;
        EXPECT_NEAR(x_cos(a), std::cos(a), 0.0016f) << a;
    }
    // Angles too large for the index still give a table value, not undefined behaviour.
    EXPECT_EQ(x_sin(1e30f), 0.0f);
    EXPECT_EQ(x_sin(NAN), 0.0f);
}

TEST(MathScalar, FloorCeilFmodSqrt) {
    const struct {
        float (*f)(float);
        float in, out;
    } cases[] = {{x_floor, -1.0f, -1.0f},   {x_floor, -0.5f, -1.0f}, {x_floor, 2.7f, 2.0f},
                 {x_floor, -2.3f, -3.0f},   {x_ceil, 1.0f, 1.0f},    {x_ceil, 1.2f, 2.0f},
                 {x_ceil, -0.5f, 0.0f},     {x_sqrt, 16.0f, 4.0f},   {x_sqrt, -4.0f, 2.0f},
                 {veMathSqrt, -9.0f, 3.0f}, {x_fabs, -2.5f, 2.5f}};  // roots of the magnitude
    for (const auto& c : cases) EXPECT_EQ(c.f(c.in), c.out) << c.in;
    EXPECT_FLOAT_EQ(x_fmod(7.0f, 3.0f), 1.0f);
    EXPECT_FLOAT_EQ(x_fmod(-7.0f, 3.0f), -1.0f);
    EXPECT_FLOAT_EQ(x_fmod(7.5f, -2.0f), 1.5f);
    EXPECT_EQ(x_abs(-5), 5);
}

TEST(MathScalar, InverseTrigPolynomials) {
    // The arcsine polynomial has only six terms: about 1.3e-4 at worst (near 0.76), close at 0 and 1.
    for (float x = -1.0f; x <= 1.0f; x += 0.01f) {
        EXPECT_NEAR(x_asin(x), std::asin(x), 1.5e-4f) << x;
        EXPECT_NEAR(x_acos(x), std::acos(x), 1.5e-4f) << x;
    }
    EXPECT_NEAR(x_asin(0.0f), 0.0f, 2e-7f);
    EXPECT_NEAR(x_asin(1.0f), X_HALF_PI, 1e-6f);
    EXPECT_FLOAT_EQ(x_asin(2.0f), X_HALF_PI);  // clamped
    EXPECT_FLOAT_EQ(x_asin(-3.0f), -X_HALF_PI);
    for (float x = -50.0f; x <= 50.0f; x += 0.37f) EXPECT_NEAR(x_atan(x), std::atan(x), 2e-6f) << x;
}

TEST(MathScalar, Atan2Rules) {
    EXPECT_FLOAT_EQ(x_atan2(0.0f, -1.0f), X_PI);
    EXPECT_FLOAT_EQ(x_atan2(-1.0f, 0.0f), -X_HALF_PI);
    EXPECT_FLOAT_EQ(x_atan2(1.0f, 0.0f), X_HALF_PI);
    EXPECT_EQ(x_atan2(1e-7f, 1e-7f), 0.0f);  // both count as zero
    EXPECT_EQ(x_atan2(0.0f, 5.0f), 0.0f);
    // A tiny ratio returns the quadrant offset alone.
    EXPECT_FLOAT_EQ(x_atan2(1e-5f, -100.0f), X_PI);
    EXPECT_FLOAT_EQ(x_atan2(-1e-5f, -100.0f), -X_PI);
    const float ys[] = {1.0f, -1.0f, 0.3f, -2.5f};
    const float xs[] = {1.0f, -1.0f, 4.0f, -0.2f};
    for (float y : ys)
        for (float x : xs) EXPECT_NEAR(x_atan2(y, x), std::atan2(y, x), 3e-6f) << y << "," << x;
}

TEST(MathScalar, LogExpPow) {
    for (double x : {1e-10, 0.01, 0.5, 0.70710678, 0.75, 1.0, 2.0, 10.0, 12345.678, 1e30})
        EXPECT_NEAR(x_log(x), std::log(x), 1e-7 * std::max(1.0, std::fabs(std::log(x)))) << x;
    EXPECT_EQ(x_log(0.0), -1.797693e38);
    EXPECT_EQ(x_log(-2.0), -1.797693e38);
    for (double x : {-50.0, -3.3, -1.0, 0.0, 1e-21, 0.5, 1.0, 2.0, 20.0, 80.0})
        EXPECT_NEAR(x_exp(x), std::exp(x), 1e-7 * std::exp(x)) << x;
    EXPECT_EQ(x_exp(1e-21), 1.0);
    EXPECT_EQ(x_exp(1e6), 1.797693e38);  // overflow keeps the sign
    EXPECT_EQ(x_exp(-1e6), 0.0);

    EXPECT_EQ(x_pow(3.0, 0.0), 1.0);
    EXPECT_EQ(x_pow(0.0, 2.0), 0.0);
    EXPECT_EQ(x_pow(0.0, -2.0), 1.797693e38);
    EXPECT_NEAR(x_pow(2.0, 10.0), 1024.0, 1e-4);
    EXPECT_NEAR(x_pow(9.0, 0.5), 3.0, 1e-7);
    EXPECT_NEAR(x_pow(-2.0, 3.0), -8.0, 1e-6);  // odd integral exponent keeps the sign
    EXPECT_NEAR(x_pow(-2.0, 2.0), 4.0, 1e-6);
    EXPECT_NEAR(x_pow(-8.0, 1.0 / 3.0), -2.0, 1e-6);  // an odd root
    EXPECT_EQ(x_pow(-2.0, 0.5), -1.797693e38);        // no real result
}

TEST(MathScalar, LdexpFrexpOnBitFields) {
    int e = 0;
    EXPECT_EQ(x_frexp(8.0, &e), 0.5);
    EXPECT_EQ(e, 4);
    EXPECT_EQ(x_frexp(-0.75, &e), -0.75);
    EXPECT_EQ(e, 0);
    EXPECT_EQ(x_frexp(0.0, &e), 0.0);
    EXPECT_EQ(e, 0);
    const double tiny = 1e-310;  // subnormal
    const double f = x_frexp(tiny, &e);
    EXPECT_GE(f, 0.5);
    EXPECT_LT(f, 1.0);
    EXPECT_EQ(std::ldexp(f, e), tiny);
    EXPECT_EQ(x_ldexp(1.0, -1060), 0.0);  // results below the normal range flush to zero
    EXPECT_EQ(x_ldexp(0.75, 3), 6.0);
    EXPECT_EQ(x_ldexp(1.0, 5000), 1.797693e38);
    EXPECT_EQ(x_ldexp(-1.0, 5000), -1.797693e38);
    EXPECT_EQ(x_ldexp(1.0, -5000), 0.0);
    EXPECT_TRUE(std::signbit(x_ldexp(-1.0, -5000)));
}

TEST(MathVector, BasicsAndAliasing) {
    _vector3d a = {1, 2, 3}, b = {4, 5, 6}, r;
    EXPECT_EQ(V3_Dot(&a, &b), 32.0f);
    V3_Cross(&r, &a, &b);
    ExpectVecNear(r, {-3, 6, -3}, 0);
    V3_Cross(&a, &a, &b);  // destination is an input
    ExpectVecNear(a, {-3, 6, -3}, 0);
    _vector3d p = {0, 0, 0}, q = {3, 4, 0};
    EXPECT_EQ(V3_Distance(&p, &q), 5.0f);
    V3_Set(&a, 1, 2, 3);
    V3_Sub(&r, &b, &a);
    ExpectVecNear(r, {3, 3, 3}, 0);
    V3_Scale(&r, &r, 2);
    ExpectVecNear(r, {6, 6, 6}, 0);
}

TEST(MathMatrix, MultIsBTimesAEvenInPlace) {
    const _matrix4 A = Mat({1, 2, 0, 0, 0, 1, 3, 0, 4, 0, 1, 0, 1, 2, 3, 1});
    const _matrix4 B = Mat({2, 0, 1, 0, 1, 1, 0, 0, 0, 5, 1, 0, -1, 0, 2, 1});
    const _matrix4 BA = Product(B, A);
    _matrix4 out;
    M4_Mult(&out, &A, &B);
    ExpectMatNear(out, BA, 0);
    _matrix4 a = A;
    M4_Mult(&a, &a, &B);  // out = A
    ExpectMatNear(a, BA, 0);
    _matrix4 b = B;
    M4_Mult(&b, &A, &b);  // out = B
    ExpectMatNear(b, BA, 0);
    // A point goes through B first, then A.
    const _vector3d p = {1, -2, 0.5f};
    ExpectVecNear(Transform(out, p), Transform(A, Transform(B, p)), 1e-4f);
}

TEST(MathMatrix, PreMultTranslateAndRotateOn) {
    _matrix4 m = SomeAffine();
    const _matrix4 orig = m;
    _vector3d v = {1, 2, 3};
    M4_TranslateBy(&m, &v);  // existing transform first, then the translation
    const _vector3d p = {0.5f, -1, 2};
    const _vector3d mp = Transform(orig, p);
    ExpectVecNear(Transform(m, p), {mp.x + 1, mp.y + 2, mp.z + 3}, 1e-5f);

    _matrix4 r = SomeAffine();
    M4_RotateXOn(&r, 0.0f);
    M4_RotateYOn(&r, 0.0f);
    M4_RotateZOn(&r, 0.0f);
    ExpectMatNear(r, orig, 0);  // an angle of 0 changes nothing

    M4_RotateZOn(&r, X_HALF_PI);  // m * Rz: rotate after the existing transform
    _vector3d rz;
    V3_RotateZ(&rz, &mp, X_HALF_PI);
    ExpectVecNear(Transform(r, p), rz, 1e-4f);

    _matrix4 x = SomeAffine();
    _matrix4 pm = SomeAffine();
    _matrix4 t;
    M4_Identity(&t);
    M4_SetTranslation(&t, &v);
    M4_PreMultOn(&pm, &t);
    M4_TranslateBy(&x, &v);
    ExpectMatNear(pm, x, 1e-6f);
}

TEST(MathMatrix, SetRotationsXYZMatchesStepwiseAndQuaternion) {
    const float angles[][3] = {
        {0.4f, 0, 0}, {0, -1.2f, 0}, {0.3f, 0.5f, 0}, {0.2f, -0.9f, 2.5f}, {-3, 1, 0.1f}};
    for (const auto& a : angles) {
        _matrix4 m, s;
        M4_SetRotationsXYZ(&m, a[0], a[1], a[2]);
        M4_Identity(&s);
        M4_RotateXOn(&s, a[0]);
        M4_RotateYOn(&s, a[1]);
        M4_RotateZOn(&s, a[2]);
        ExpectMatNear(m, s, 1e-5f);
        _quaternion q;
        Q_SetupFromAngles(&q, a[0], a[1], a[2]);
        _matrix4 qm;
        Q_SetupMatrix(&q, &qm);
        ExpectMatNear(m, qm, 5e-3f);  // table versus accurate sine
    }
    _matrix4 id, m;
    M4_Identity(&id);
    M4_SetRotationsXYZ(&m, 0, 0, 0);
    ExpectMatNear(m, id, 0);
}

TEST(MathMatrix, ScaleRowsTranslationAndTransformInPlace) {
    _matrix4 m;
    M4_Identity(&m);
    _vector3d s = {2, 3, 4};
    M4_SetScale(&m, &s);
    EXPECT_EQ(m.M[0] + 10 * m.M[5] + 100 * m.M[10], 2 + 30 + 400);
    M4_SetUniScale(&m, 7);
    EXPECT_EQ(m.M[5], 7);
    _vector3d a = {1, 2, 3}, b = {4, 5, 6}, c = {7, 8, 9};
    M4_SetRows(&m, &a, &b, &c);  // the vectors become columns of the rotation part
    const int at[] = {0, 4, 8, 1, 6, 10};
    const float want[] = {1, 2, 3, 4, 8, 9};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m.M[at[i]], want[i]) << at[i];
    _vector3d t = {5, 6, 7}, got;
    M4_SetTranslation(&m, &t);
    M4_GetTranslation(&m, &got);
    ExpectVecNear(got, t, 0);
    M4_ClearTranslations(&m);
    EXPECT_EQ(m.M[12] + m.M[13] + m.M[14], 0);

    const _matrix4 tm = SomeAffine();
    _vector3d pts[3] = {{1, 0, 0}, {0, 1, 0}, {2, 3, 4}};
    _vector3d expect[3];
    for (int i = 0; i < 3; ++i) {
        const float v[4] = {pts[i].x, pts[i].y, pts[i].z, 1};
        float r[3] = {};
        for (int col = 0; col < 3; ++col)
            for (int k = 0; k < 4; ++k) r[col] += tm.M[4 * k + col] * v[k];
        expect[i] = {r[0], r[1], r[2]};
    }
    M4_TransformVerts(&tm, pts, pts, 3);
    for (int i = 0; i < 3; ++i) ExpectVecNear(pts[i], expect[i], 1e-6f);
}

TEST(MathMatrix, InvertAndSingular) {
    const _matrix4 m = SomeAffine();
    _matrix4 inv, id;
    ASSERT_EQ(M4_Invert(&inv, &m), 0);
    M4_Identity(&id);
    ExpectMatNear(Product(m, inv), id, 1e-5f);
    // Needs a row swap: element (0, 0) is zero.
    const _matrix4 p = Mat({0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 2, 0, 3, 4, 5, 1});
    ASSERT_EQ(M4_Invert(&inv, &p), 0);
    ExpectMatNear(Product(p, inv), id, 1e-6f);
    // A zero column: singular, output untouched.
    const _matrix4 z = Mat({1, 0, 0, 0, 2, 0, 1, 0, 3, 0, 1, 0, 4, 0, 0, 1});
    _matrix4 out = Mat({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
    const _matrix4 before = out;
    EXPECT_EQ(M4_Invert(&out, &z), 1);
    ExpectMatNear(out, before, 0);
    // In place.
    _matrix4 w = m;
    ASSERT_EQ(M4_Invert(&w, &w), 0);
    ExpectMatNear(Product(m, w), id, 1e-5f);
}

TEST(MathQuaternion, ProductAndTransform) {
    _quaternion i, j, k;
    Q_Set(&i, 1, 0, 0, 0);
    Q_Set(&j, 0, 1, 0, 0);
    Q_Mult(&k, &i, &j);  // Hamilton: i j = k
    EXPECT_EQ(k.S, 0);
    ExpectVecNear(k.Axis, {0, 0, 1}, 0);
    Q_PostMultOn(&i, &j);  // in place
    ExpectVecNear(i.Axis, {0, 0, 1}, 0);

    _quaternion q;
    _vector3d axis = {0, 0, 1};
    Q_SetupFromAxisAngle(&q, &axis, X_HALF_PI);
    _vector3d v = {1, 0, 0}, r;
    Q_TransformVect(&q, &r, &v);
    ExpectVecNear(r, {0, 1, 0}, 1e-6f);
    // The matrix rotates row vectors the same way.
    _matrix4 m;
    Q_SetupMatrix(&q, &m);
    ExpectVecNear(Transform(m, v), r, 1e-6f);
    EXPECT_EQ(m.M[15], 1.0f);
    EXPECT_NEAR(Q_GetAngle(&q), X_HALF_PI, 3e-4f);  // through the polynomial arc cosine
    _vector3d ax;
    Q_GetAxis(&q, &ax);
    ExpectVecNear(ax, axis, 1e-5f);
    _quaternion id;
    Q_Identity(&id);
    Q_GetAxis(&id, &ax);  // no rotation: no infinities
    ExpectVecNear(ax, {0, 0, 0}, 0);
}

TEST(MathQuaternion, FromMatrixRoundTrip) {
    const float angles[][3] = {
        {0.1f, 0.2f, 0.3f}, {3.0f, 0.0f, 0.0f}, {0.0f, 3.1f, 0.2f}, {1.0f, -2.0f, 3.0f}};
    for (const auto& a : angles) {
        _quaternion q, back;
        Q_SetupFromAngles(&q, a[0], a[1], a[2]);
        _matrix4 m;
        Q_SetupMatrix(&q, &m);
        Q_SetupFromMatrix(&back, &m);
        const float sign = q.S < 0 ? -1.0f : 1.0f;  // the result has S >= 0
        EXPECT_NEAR(back.S, sign * q.S, 1e-5f);
        ExpectVecNear(back.Axis, {sign * q.Axis.x, sign * q.Axis.y, sign * q.Axis.z}, 1e-5f);
    }
}

TEST(MathQuaternion, BlendSpherical) {
    _quaternion a, b, n, out;
    Q_SetupFromAngles(&a, 0.3f, -0.2f, 1.0f);
    Q_Negate(&n, &a);
    for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
        Q_BlendSpherical(&out, &a, &n, t);  // b = -a: the same rotation, a comes back
        EXPECT_EQ(out.S, a.S);
        EXPECT_EQ(out.Axis.x, a.Axis.x);
    }
    Q_SetupFromAngles(&b, -0.5f, 0.4f, 0.2f);
    Q_BlendSpherical(&out, &a, &b, 0.0f);
    EXPECT_NEAR(out.S, a.S, 1e-5f);
    Q_BlendSpherical(&out, &a, &b, 1.0f);
    EXPECT_NEAR(out.S, b.S, 1e-5f);
    ExpectVecNear(out.Axis, b.Axis, 1e-5f);
    // A dot product <= 0 takes the shorter arc: t = 1 gives -b.
    _quaternion nb;
    Q_Negate(&nb, &b);
    Q_BlendSpherical(&out, &a, &nb, 1.0f);
    EXPECT_NEAR(out.S, b.S, 1e-5f);
    // Half way lies on the arc: unit length, equal angle to both ends.
    Q_BlendSpherical(&out, &a, &b, 0.5f);
    EXPECT_NEAR(Q_Length(&out), 1.0f, 1e-5f);
    const float da = out.S * a.S + out.Axis.x * a.Axis.x + out.Axis.y * a.Axis.y + out.Axis.z * a.Axis.z;
    const float db = out.S * b.S + out.Axis.x * b.Axis.x + out.Axis.y * b.Axis.y + out.Axis.z * b.Axis.z;
    EXPECT_NEAR(da, db, 1e-5f);
}

TEST(MathEngine, TriangleNormalAndHeight) {
    // Plane y = x + 1.
    const _vector3d p0 = {0, 1, 0}, p1 = {0, 1, 1}, p2 = {1, 2, 0}, pt = {3, 100, -7};
    float h = 0, n[4] = {};
    veMathVectorTriNormalAndPoint(&h, n, &p0, &p1, &p2, &pt);
    EXPECT_NEAR(h, 4.0f, 1e-5f);
    const float r = std::sqrt(0.5f);
    EXPECT_NEAR(n[0], -r, 1e-6f);
    EXPECT_NEAR(n[1], r, 1e-6f);
    EXPECT_NEAR(n[2], 0, 1e-6f);
    EXPECT_EQ(n[3], 1.0f);
}

}  // namespace
