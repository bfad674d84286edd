// Rigid placement: four columns of four floats, columns 0..2 the rotation, column 3 the translation.
// A point p maps to R.p + t; a product applies its right-hand transform first.
#pragma once

#include "kinetic/math/matrix3.h"
#include "kinetic/math/quaternion.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class alignas(16) Transform {
public:
    float m_element[4][4];  // [column][row]

    constexpr Transform() : m_element{{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {0, 0, 0, 1}} {}
    constexpr Transform(const Transform&) = default;
    constexpr Transform& operator=(const Transform&) = default;
    Transform(const Matrix3& r, const Vector3& t);

    float& operator()(int r, int c) { return m_element[c][r]; }
    float operator()(int r, int c) const { return m_element[c][r]; }

    void makeIdentity();
    void setTranslation(const Vector3& t) {
        m_element[3][0] = t.x;
        m_element[3][1] = t.y;
        m_element[3][2] = t.z;
        m_element[3][3] = t.w;
    }
    Vector3 getTranslation() const { return getCol(3); }
    Vector3 getCol(int i) const { return Vector3(m_element[i][0], m_element[i][1], m_element[i][2]); }

    Vector3 getTransformedPos(const Vector3& p) const {
        return Vector3(
            m_element[0][0] * p.x + m_element[1][0] * p.y + m_element[2][0] * p.z + m_element[3][0],
            m_element[0][1] * p.x + m_element[1][1] * p.y + m_element[2][1] * p.z + m_element[3][1],
            m_element[0][2] * p.x + m_element[1][2] * p.y + m_element[2][2] * p.z + m_element[3][2]);
    }
    Vector3 getRotatedPos(const Vector3& v) const {
        return Vector3(m_element[0][0] * v.x + m_element[1][0] * v.y + m_element[2][0] * v.z,
                       m_element[0][1] * v.x + m_element[1][1] * v.y + m_element[2][1] * v.z,
                       m_element[0][2] * v.x + m_element[1][2] * v.y + m_element[2][2] * v.z);
    }
    Vector3 getRotatedDir(const Vector3& v) const { return getRotatedPos(v); }
    void rotatePos(Vector3& v) const {
        Vector3 r = getRotatedPos(v);
        r.w = v.w;
        v = r;
    }

    Transform operator*(const Transform& b) const;
    // Valid for rigid transforms only.
    Transform getInverse() const;
    // R.m.R^T: a tensor given in this transform's frame expressed in the outer frame.
    Matrix3 getTransformedMatrix(const Matrix3& m) const {
        const Matrix3 r(*this);
        return r * m * r.transposed();
    }
    // Rotation columns from a unit quaternion; the translation stays.
    void setRotation(const Quaternion& q) {
        const float r = q.m_real, x = q.m_imag.x, y = q.m_imag.y, z = q.m_imag.z;
        Transform& t = *this;
        t(0, 0) = 1.0f - 2.0f * y * y - 2.0f * z * z;
        t(0, 1) = 2.0f * x * y - 2.0f * r * z;
        t(0, 2) = 2.0f * x * z + 2.0f * r * y;
        t(1, 0) = 2.0f * x * y + 2.0f * r * z;
        t(1, 1) = 1.0f - 2.0f * x * x - 2.0f * z * z;
        t(1, 2) = 2.0f * y * z - 2.0f * r * x;
        t(2, 0) = 2.0f * x * z - 2.0f * r * y;
        t(2, 1) = 2.0f * y * z + 2.0f * r * x;
        t(2, 2) = 1.0f - 2.0f * x * x - 2.0f * y * y;
    }
};

inline Matrix3::Matrix3(const Transform& t) {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r) m_elt[c][r] = t.m_element[c][r];
}

inline constexpr Transform Transform_Identity{};

}  // namespace Kinetic
