#include "kinetic/collide/kdop14.h"

#include <cfloat>
#include <cmath>

#include "kinetic/collide/obb.h"

namespace Kinetic {

const Vector3 KDop14::axes[KDop14::numAxes] = {
    Vector3(1, 0, 0).getNormalized(),   Vector3(0, 1, 0).getNormalized(),  Vector3(0, 0, 1).getNormalized(),
    Vector3(1, 1, 1).getNormalized(),   Vector3(1, -1, 1).getNormalized(), Vector3(1, 1, -1).getNormalized(),
    Vector3(1, -1, -1).getNormalized(),
};

KDop14::KDop14() {
    for (int i = 0; i < numAxes; ++i) {
        m_min[i] = FLT_MAX;
        m_max[i] = -FLT_MAX;
    }
}

KDop14::KDop14(const Vector3* vertices, const TriangleIndices* triangle) : KDop14() {
    for (int k = 0; k < 3; ++k) include(vertices[triangle->m_verts[k]]);
}

KDop14::KDop14(const Vector3& centre, float radius, float tolerance) {
    for (int i = 0; i < numAxes; ++i) {
        float w = (radius + tolerance) * axes[i].dot(axes[i]);
        float d = centre.dot(axes[i]);
        m_min[i] = d - w;
        m_max[i] = d + w;
        if (m_min[i] > m_max[i]) {
            float t = m_min[i];
            m_min[i] = m_max[i];
            m_max[i] = t;
        }
    }
}

KDop14::KDop14(const OBB& box, const Transform& bodyToWorld, float tolerance) : KDop14() {
    const Vector3 h = box.m_extent + Vector3(tolerance, tolerance, tolerance);
    const Transform place = bodyToWorld * box.m_BVToBodyTransform;
    for (int c = 0; c < 8; ++c) {
        Vector3 corner((c & 1) ? -h.x : h.x, (c & 2) ? -h.y : h.y, (c & 4) ? -h.z : h.z);
        include(place.getTransformedPos(corner));
    }
}

void KDop14::include(const Vector3& p) {
    for (int i = 0; i < numAxes; ++i) {
        float v = p.dot(axes[i]);
        if (v < m_min[i]) m_min[i] = v;
        if (v > m_max[i]) m_max[i] = v;
    }
}

bool KDop14::intersects(const KDop14& other) const {
    for (int i = 0; i < numAxes; ++i) {
        if (m_max[i] < other.m_min[i] || m_min[i] > other.m_max[i]) return false;
    }
    return true;
}

bool KDop14::intersects(const Segment& s) const {
    float enter = -FLT_MAX, leave = FLT_MAX;
    for (int i = 0; i < numAxes; ++i) {
        const float st = s.m_start.dot(axes[i]);
        const float d = s.m_direction.dot(axes[i]);
        float r;
        if (std::fabs(d) < 1e-4f)
            r = d < 0.0f ? -FLT_MAX : FLT_MAX;
        else
            r = 1.0f / d;
        const float t1 = r * (m_min[i] - st);
        const float t2 = r * (m_max[i] - st);
        const float nearT = d >= 0.0f ? t1 : t2;
        const float farT = d >= 0.0f ? t2 : t1;
        if (nearT > s.m_length || farT < 0.0f) return false;
        if (nearT > enter) enter = nearT;
        if (farT < leave) leave = farT;
    }
    return enter <= leave;
}

}  // namespace Kinetic
