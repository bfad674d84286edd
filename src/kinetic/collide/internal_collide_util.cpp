#include "kinetic/collide/internal_collide_util.h"

#include "kinetic/collide/tt_intersection.h"

namespace Kinetic {

float InternalCollideUtil::triSphere(const Triangle& t, const Vector3& centre, float radius,
                                     ContactPoint& out, int& feature, float tolerance) {
    Vector3 q;
    const float d = TTintersection::closestPointTri(centre, t.m_points, q, feature) - radius;
    if (d < 1e-05f) return -1.0f;
    if (d > tolerance) return d;
    Vector3 n = centre - q;
    n.normalize();
    const Vector3 s = centre - n * radius;
    out.m_normal = n;
    out.m_distance = d;
    out.m_position = (s + q) * 0.5f;
    out.m_pointA = s;
    out.m_pointB = q;
    return d;
}

bool InternalCollideUtil::isValidTriContact(const CollisionDetails& contact, const TriangleIndices* triangle,
                                            const Vector3* vertices, int feature,
                                            const std::vector<const TriangleIndices*>& triangles,
                                            const Transform& meshToWorld) {
    const float eps = 1e-05f;
    const Vector3& n = contact.m_contact.m_normal;
    if (feature % 3 == 2) return true;
    if (feature % 3 == 0) {
        const uint16_t v = triangle->m_verts[(feature / 3) % 3];
        for (const TriangleIndices* t : triangles) {
            if (!t) continue;
            for (int k = 0; k < 3; ++k) {
                if (t->m_verts[k] != v) continue;
                const Vector3& p = vertices[v];
                for (int other : {(k + 1) % 3, (k + 2) % 3}) {
                    const Vector3 edge = meshToWorld.getRotatedDir(vertices[t->m_verts[other]] - p);
                    if (n.dot(edge) > eps) return false;
                }
            }
        }
        return true;
    }
    const uint16_t a = triangle->m_verts[(feature / 3) % 3];
    const uint16_t b = triangle->m_verts[(feature / 9) % 3];
    for (const TriangleIndices* t : triangles) {
        if (!t || t == triangle) continue;
        bool hasA = false, hasB = false;
        for (int k = 0; k < 3; ++k) {
            hasA |= t->m_verts[k] == a;
            hasB |= t->m_verts[k] == b;
        }
        if (!hasA || !hasB) continue;
        for (int k = 0; k < 3; ++k) {
            if (t->m_verts[k] == a || t->m_verts[k] == b) continue;
            const Vector3 p = meshToWorld.getTransformedPos(vertices[t->m_verts[k]]);
            if (n.dot(p - contact.m_contact.m_pointB) > eps) return false;
            break;
        }
    }
    return true;
}

}  // namespace Kinetic
