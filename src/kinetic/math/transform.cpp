#include "kinetic/math/transform.h"

namespace Kinetic {

Transform::Transform(const Matrix3& r, const Vector3& t) {
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 3; ++i) m_element[c][i] = r.m_elt[c][i];
        m_element[c][3] = 1.0f;
    }
    m_element[3][0] = t.x;
    m_element[3][1] = t.y;
    m_element[3][2] = t.z;
    m_element[3][3] = 1.0f;
}

void Transform::makeIdentity() { *this = Transform_Identity; }

Transform Transform::operator*(const Transform& b) const {
    Transform r;
    for (int c = 0; c < 3; ++c) {
        Vector3 col = getRotatedPos(b.getCol(c));
        r.m_element[c][0] = col.x;
        r.m_element[c][1] = col.y;
        r.m_element[c][2] = col.z;
    }
    Vector3 t = getTransformedPos(b.getTranslation());
    r.m_element[3][0] = t.x;
    r.m_element[3][1] = t.y;
    r.m_element[3][2] = t.z;
    return r;
}

Transform Transform::getInverse() const {
    Matrix3 rt = Matrix3(*this).transposed();
    return Transform(rt, -(rt * getTranslation()));
}

Matrix3 Transform::getTransformedMatrix(const Matrix3& m) const {
    Matrix3 r(*this);
    return r * m * r.transposed();
}

void Transform::setRotation(const Quaternion& q) {
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

}  // namespace Kinetic
