#include "kinetic/math/quaternion.h"

#include <cmath>

#include "kinetic/math/matrix3.h"
#include "kinetic/math/transform.h"

namespace Kinetic {

Quaternion Quaternion::operator*(const Quaternion& q) const {
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

Vector3 Quaternion::getRotatedPos(const Vector3& v) const {
    const float r = m_real;
    Vector3 out = v * (2.0f * r * r - 1.0f) + m_imag * (2.0f * m_imag.dot(v)) + m_imag.cross(v) * (2.0f * r);
    out.w = 1.0f;
    return out;
}

void Quaternion::set(const Matrix3& m) {
    const float t = m(0, 0) + m(1, 1) + m(2, 2);
    if (t >= 0.0f) {
        float s = std::sqrt(t + 1.0f);
        m_real = s * 0.5f;
        float h = 0.5f / s;
        m_imag.x = (m(2, 1) - m(1, 2)) * h;
        m_imag.y = (m(0, 2) - m(2, 0)) * h;
        m_imag.z = (m(1, 0) - m(0, 1)) * h;
        return;
    }
    static const int next[3] = {1, 2, 0};
    int i = 0;
    if (m(1, 1) > m(0, 0)) i = 1;
    if (m(2, 2) > m(i, i)) i = 2;
    const int j = next[i];
    const int k = next[j];
    float s = std::sqrt(m(i, i) - (m(j, j) + m(k, k)) + 1.0f);
    float* imag = &m_imag.x;
    imag[i] = s * 0.5f;
    float h = 0.5f / s;
    m_real = (m(k, j) - m(j, k)) * h;
    imag[j] = (m(j, i) + m(i, j)) * h;
    imag[k] = (m(k, i) + m(i, k)) * h;
}

void Quaternion::set(const Transform& t) { set(Matrix3(t)); }

}  // namespace Kinetic
