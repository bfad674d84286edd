// 3x3 matrix of the physics engine: three columns of four floats, element (r, c) is float r of column c.
// The fourth float of each column holds 1 and takes no part in arithmetic. Rotations, inertia tensors and
// their inverses use it.
#pragma once

#include "kinetic/math/vector3.h"

namespace Kinetic {

class Transform;

class alignas(16) Matrix3 {
public:
    float m_elt[3][4];  // [column][row]

    // Leaves the nine elements unset (callers fill them); only the padding floats are written.
    Matrix3() { m_elt[0][3] = m_elt[1][3] = m_elt[2][3] = 1.0f; }
    // Element order is row by row, as matrices are written on paper.
    constexpr Matrix3(float a00, float a01, float a02, float a10, float a11, float a12, float a20, float a21,
                      float a22)
        : m_elt{{a00, a10, a20, 1.0f}, {a01, a11, a21, 1.0f}, {a02, a12, a22, 1.0f}} {}
    constexpr Matrix3(const Matrix3&) = default;
    constexpr Matrix3& operator=(const Matrix3&) = default;
    explicit Matrix3(const Transform& t);

    float& operator()(int r, int c) { return m_elt[c][r]; }
    float operator()(int r, int c) const { return m_elt[c][r]; }

    void makeIdentity();
    void makeZero();
    // Cross-product matrix: M.u = v x u.
    void makeSkewSymetric(const Vector3& v);
    Vector3 getCol(int i) const { return Vector3(m_elt[i][0], m_elt[i][1], m_elt[i][2]); }
    void setCol(int i, const Vector3& v) {
        m_elt[i][0] = v.x;
        m_elt[i][1] = v.y;
        m_elt[i][2] = v.z;
    }

    Vector3 operator*(const Vector3& v) const {
        return Vector3(m_elt[0][0] * v.x + m_elt[1][0] * v.y + m_elt[2][0] * v.z,
                       m_elt[0][1] * v.x + m_elt[1][1] * v.y + m_elt[2][1] * v.z,
                       m_elt[0][2] * v.x + m_elt[1][2] * v.y + m_elt[2][2] * v.z);
    }
    void rotate(Vector3& v) const {
        Vector3 r = *this * v;
        r.w = v.w;
        v = r;
    }
    static void assignMul(Vector3& out, const Matrix3& m, const Vector3& v) { out = m * v; }

    Matrix3 operator*(const Matrix3& b) const {
        Matrix3 r;
        for (int c = 0; c < 3; ++c) {
            const float x = b.m_elt[c][0], y = b.m_elt[c][1], z = b.m_elt[c][2];
            for (int i = 0; i < 3; ++i) r.m_elt[c][i] = m_elt[0][i] * x + m_elt[1][i] * y + m_elt[2][i] * z;
        }
        return r;
    }
    Matrix3 operator+(const Matrix3& b) const;
    Matrix3 operator*(float s) const;
    // One reciprocal, nine multiplications.
    Matrix3 operator/(float s) const { return *this * (1.0f / s); }

    Matrix3 transposed() const {
        Matrix3 r;
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 3; ++i) r.m_elt[c][i] = m_elt[i][c];
        return r;
    }
    // Adjugate over determinant; the matrix must be invertible (no singularity test).
    Matrix3 getInverse() const;
    void makeInverse() { *this = getInverse(); }
    bool isExactlyZero() const;

    // Replaces a symmetric matrix by its orthonormal eigenvectors (columns, in no particular order);
    // false when the iteration does not converge within 30 rounds for one eigenvalue.
    bool makeEigenvectors();
};

inline Matrix3 operator*(float s, const Matrix3& m) {
    return m * s;
}

inline constexpr Matrix3 Matrix3_Zero{0, 0, 0, 0, 0, 0, 0, 0, 0};
inline constexpr Matrix3 Matrix3_Identity{1, 0, 0, 0, 1, 0, 0, 0, 1};

}  // namespace Kinetic
