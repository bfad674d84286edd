#include "kinetic/math/quaternion.h"

#include <cmath>

#include "kinetic/math/matrix3.h"
#include "kinetic/math/transform.h"

namespace Kinetic {

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

void Quaternion::set(const Transform& t) {
    set(Matrix3(t));
}

}  // namespace Kinetic
