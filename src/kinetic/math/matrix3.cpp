#include "kinetic/math/matrix3.h"

#include <cmath>

namespace Kinetic {

void Matrix3::makeIdentity() {
    *this = Matrix3_Identity;
}

void Matrix3::makeZero() {
    *this = Matrix3_Zero;
}

void Matrix3::makeSkewSymetric(const Vector3& v) {
    *this = Matrix3(0.0f, -v.z, v.y, v.z, 0.0f, -v.x, -v.y, v.x, 0.0f);
}

Matrix3 Matrix3::operator+(const Matrix3& b) const {
    Matrix3 r;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 3; ++i) r.m_elt[c][i] = m_elt[c][i] + b.m_elt[c][i];
    return r;
}

Matrix3 Matrix3::operator*(float s) const {
    Matrix3 r;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 3; ++i) r.m_elt[c][i] = m_elt[c][i] * s;
    return r;
}

Matrix3 Matrix3::getInverse() const {
    const Matrix3& m = *this;
    float c00 = m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1);
    float c01 = m(1, 2) * m(2, 0) - m(1, 0) * m(2, 2);
    float c02 = m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0);
    float c10 = m(0, 2) * m(2, 1) - m(0, 1) * m(2, 2);
    float c11 = m(0, 0) * m(2, 2) - m(0, 2) * m(2, 0);
    float c12 = m(0, 1) * m(2, 0) - m(0, 0) * m(2, 1);
    float c20 = m(0, 1) * m(1, 2) - m(0, 2) * m(1, 1);
    float c21 = m(0, 2) * m(1, 0) - m(0, 0) * m(1, 2);
    float c22 = m(0, 0) * m(1, 1) - m(0, 1) * m(1, 0);
    float det = m(0, 0) * c00 + m(0, 1) * c01 + m(0, 2) * c02;
    float inv = 1.0f / det;
    // The inverse is the transposed cofactor matrix over the determinant.
    return Matrix3(c00 * inv, c10 * inv, c20 * inv, c01 * inv, c11 * inv, c21 * inv, c02 * inv, c12 * inv,
                   c22 * inv);
}

bool Matrix3::isExactlyZero() const {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            if (m_elt[c][r] != 0.0f) return false;
    return true;
}

namespace {

// One Householder step brings the symmetric matrix a.. to tridiagonal form: diagonal d, off-diagonal e,
// the step's rotation into q.
void Tridiagonalize(float a00, float a01, float a02, float a11, float a12, float a22, float* d, float* e,
                    Matrix3& q) {
    if (a02 == 0.0f) {
        d[0] = a00;
        d[1] = a11;
        d[2] = a22;
        e[0] = a01;
        e[1] = a12;
        e[2] = 0.0f;
        q(0, 0) = 1;
        q(0, 1) = 0;
        q(0, 2) = 0;
        q(1, 0) = 0;
        q(1, 1) = 1;
        q(1, 2) = 0;
        q(2, 0) = 0;
        q(2, 1) = 0;
        q(2, 2) = 1;
    } else {
        float l = static_cast<float>(std::sqrt(static_cast<double>(a01 * a01 + a02 * a02)));
        float u = a01 / l;
        float v = a02 / l;
        float qq = 2.0f * u * a12 + v * (a22 - a11);
        d[0] = a00;
        d[1] = a11 + v * qq;
        d[2] = a22 - v * qq;
        e[0] = l;
        e[1] = a12 - u * qq;
        e[2] = 0.0f;
        q(0, 0) = 1;
        q(0, 1) = 0;
        q(0, 2) = 0;
        q(1, 0) = 0;
        q(1, 1) = u;
        q(1, 2) = v;
        q(2, 0) = 0;
        q(2, 1) = v;
        q(2, 2) = -u;
    }
}

// Implicit QL with shifts on the tridiagonal matrix d, e: d becomes the eigenvalues, the rotations
// accumulated into q. False when it does not converge within 30 iterations.
bool ImplicitQL(float* d, float* e, Matrix3& q) {
    for (int l = 0; l < 3; ++l) {
        int iter = 0;
        for (;;) {
            int m = l;
            for (; m < 2; ++m) {
                double dd = static_cast<double>(std::fabs(d[m])) + static_cast<double>(std::fabs(d[m + 1]));
                double sum = static_cast<double>(std::fabs(e[m])) + dd;
                if (static_cast<float>(sum) == static_cast<float>(dd)) break;
            }
            if (m == l) break;
            float g = (d[l + 1] - d[l]) / (2.0f * e[l]);
            float r = static_cast<float>(std::sqrt(static_cast<double>(g) * g + 1.0));
            g = g < 0.0f ? d[m] - d[l] + e[l] / (g - r) : d[m] - d[l] + e[l] / (g + r);
            float s = 1.0f, c = 1.0f, p = 0.0f;
            for (int i = m - 1; i >= l; --i) {
                float f = s * e[i];
                float b = c * e[i];
                if (std::fabs(static_cast<double>(f)) >= std::fabs(static_cast<double>(g))) {
                    c = g / f;
                    r = static_cast<float>(std::sqrt(static_cast<double>(c) * c + 1.0));
                    e[i + 1] = f * r;
                    s = 1.0f / r;
                    c = c * s;
                } else {
                    s = f / g;
                    r = static_cast<float>(std::sqrt(static_cast<double>(s) * s + 1.0));
                    e[i + 1] = g * r;
                    c = 1.0f / r;
                    s = s * c;
                }
                g = d[i + 1] - p;
                r = (d[i] - g) * s + 2.0f * c * b;
                p = s * r;
                d[i + 1] = g + p;
                g = c * r - b;
                for (int k = 0; k < 3; ++k) {
                    float t = q(k, i + 1);
                    q(k, i + 1) = s * q(k, i) + c * t;
                    q(k, i) = c * q(k, i) - s * t;
                }
            }
            d[l] = d[l] - p;
            e[l] = g;
            e[m] = 0.0f;
            if (++iter == 30) return false;
        }
    }
    return true;
}

}  // namespace

bool Matrix3::makeEigenvectors() {
    const float a00 = (*this)(0, 0), a01 = (*this)(0, 1), a02 = (*this)(0, 2);
    const float a11 = (*this)(1, 1), a12 = (*this)(1, 2), a22 = (*this)(2, 2);
    float d[3];
    float e[3];
    Tridiagonalize(a00, a01, a02, a11, a12, a22, d, e, *this);
    return ImplicitQL(d, e, *this);
}

}  // namespace Kinetic
