// Rotation quaternion, real part first. Unit quaternions represent rotations; nothing here normalises.
#pragma once

#include "kinetic/math/vector3.h"

namespace Kinetic {

class Matrix3;
class Transform;

class alignas(16) Quaternion {
public:
    float m_real;
    Vector3 m_imag;

    constexpr Quaternion() : m_real(1.0f), m_imag(0.0f, 0.0f, 0.0f) {}
    constexpr Quaternion(float r, const Vector3& i) : m_real(r), m_imag(i) {}
    constexpr Quaternion(float r, float ix, float iy, float iz) : m_real(r), m_imag(ix, iy, iz) {}
    explicit Quaternion(const Matrix3& m) { set(m); }

    // Hamilton product this * b: b's rotation first, then this one.
    Quaternion operator*(const Quaternion& q) const {
        const float r1 = m_real, x1 = m_imag.x, y1 = m_imag.y, z1 = m_imag.z;
        const float r2 = q.m_real, x2 = q.m_imag.x, y2 = q.m_imag.y, z2 = q.m_imag.z;
        // Eight-multiplication form of the Hamilton product.
        const float a = (r1 + x1) * (r2 + x2);
        const float b = (z1 - y1) * (y2 - z2);
        const float c = (r1 - x1) * (y2 + z2);
        const float d = (y1 + z1) * (r2 - x2);
        const float e = (x1 + z1) * (x2 + y2);
        const float f = (x1 - z1) * (x2 - y2);
        const float g = (r1 + y1) * (r2 - z2);
        const float h = (r1 - y1) * (r2 + z2);
        return Quaternion(b + (-e - f + g + h) * 0.5f, a - (e + f + g + h) * 0.5f, c + (e - f + g - h) * 0.5f,
                          d + (e - f - g + h) * 0.5f);
    }
    // v rotated by this unit quaternion.
    Vector3 getRotatedPos(const Vector3& v) const;

    // From a rotation matrix (the trace decides the branch).
    void set(const Matrix3& m);
    void set(const Transform& t);

    float lengthSqrd() const { return m_real * m_real + m_imag.lengthSqrd(); }
};

// The rotation by angle 0: the identity, not a zero quaternion.
inline constexpr Quaternion Quaternion_Zero{1.0f, 0.0f, 0.0f, 0.0f};

}  // namespace Kinetic
