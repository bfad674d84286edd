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

void Transform::makeIdentity() {
    *this = Transform_Identity;
}

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

}  // namespace Kinetic
