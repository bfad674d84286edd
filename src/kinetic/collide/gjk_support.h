// Support-map adaptors of the distance kernel: each wraps one convex shape and answers with a reference
// to the shape's point farthest along a world direction. The kernel keeps the references, so each must
// keep designating the same point until the pair test that asked has finished.
#pragma once

#include <cfloat>

#include "kinetic/collide/cx_implicit_primitive.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

// A convex mesh: hill climbing over the vertex connectivity, starting where the last query ended.
// Points are in the primitive's own frame.
class GJK_HillConvex {
public:
    explicit GJK_HillConvex(const GeometricPrimitive* p)
        : m_primitive(p),
          m_current(p->m_geometry->m_triangle_count > 0 ? p->m_geometry->m_triangles[0].m_verts[0] : 0) {}

    const Vector3* getSupportingVertex(const Vector3& d, int slot = 0) {
        (void)slot;
        const Vector3 b = m_primitive->getWorldToBodyTransform().getRotatedDir(d);
        const Geometry* g = m_primitive->m_geometry;
        const Vector3* v = g->m_vertices;
        const Connectivity* c = m_primitive->m_connectivity;
        if (!c || c->empty()) return scanCopy(v, g->m_vertex_count, b);
        float best = b.dot(v[m_current]);
        for (;;) {
            const uint16_t start = m_current;
            for (uint16_t u : (*c)[start]) {
                const float s = b.dot(v[u]);
                if (s > best) {
                    best = s;
                    m_current = u;
                }
            }
            if (m_current == start) break;
        }
        return &v[m_current];
    }
    Vector3 toWorld(const Vector3* p) const {
        return m_primitive->getBodyToWorldTransform().getTransformedPos(*p);
    }
    Vector3 startPoint() const { return m_primitive->getBodyToWorldTransform().getTranslation(); }

    // The plain scan of a mesh without connectivity: the vertex array is copied into the scratchpad by
    // DMA and the copy scanned when the scratch area has room and the controller can reach the array,
    // else the array itself is scanned. Either way the answer designates the vertex in `v`.
    static const Vector3* scanCopy(const Vector3* v, int n, const Vector3& b);

    // Of equal maxima the first in the array wins.
    static const Vector3* scan(const Vector3* v, int n, const Vector3& b) {
        float best = -FLT_MAX;
        const Vector3* r = v;
        for (int i = 0; i < n; ++i) {
            const float s = b.dot(v[i]);
            if (s > best) {
                best = s;
                r = &v[i];
            }
        }
        return r;
    }

    const GeometricPrimitive* m_primitive;
    uint16_t m_current;
};

// A mesh's vertex set by plain scan; points in the primitive's own frame.
class GJK_Convex {
public:
    explicit GJK_Convex(const GeometricPrimitive* p)
        : m_primitive(p), m_vertices(p->m_geometry->m_vertices), m_count(p->m_geometry->m_vertex_count) {}

    const Vector3* getSupportingVertex(const Vector3& d, int slot = 0) {
        (void)slot;
        return GJK_HillConvex::scan(m_vertices, m_count,
                                    m_primitive->getWorldToBodyTransform().getRotatedDir(d));
    }
    Vector3 toWorld(const Vector3* p) const {
        return m_primitive->getBodyToWorldTransform().getTransformedPos(*p);
    }
    Vector3 startPoint() const { return m_primitive->getBodyToWorldTransform().getTranslation(); }

    const GeometricPrimitive* m_primitive;
    const Vector3* m_vertices;
    int m_count;
};

// Three consecutive points, used as given (world space in the pair tests). Ties go to the highest
// numbered point.
class GJK_Triangle {
public:
    explicit GJK_Triangle(const Vector3* points) : m_points(points) {}

    const Vector3* getSupportingVertex(const Vector3& d, int slot = 0) {
        (void)slot;
        const Vector3* best = &m_points[2];
        float s = d.dot(m_points[2]);
        for (int i = 1; i >= 0; --i) {
            const float t = d.dot(m_points[i]);
            if (t > s) {
                s = t;
                best = &m_points[i];
            }
        }
        return best;
    }
    Vector3 toWorld(const Vector3* p) const { return *p; }
    Vector3 startPoint() const { return (m_points[0] + m_points[1] + m_points[2]) * 0.33333334f; }

    const Vector3* m_points;
};

// A convex implicit shape; each simplex point keeps its own storage (world points).
class GJK_Implicit {
public:
    explicit GJK_Implicit(const CXImplicitPrimitive* p) : m_primitive(p) {}

    // The slot's storage is chosen among those no kept simplex point refers to; the kernel tells which
    // references are alive through markInUse.
    const Vector3* getSupportingVertex(const Vector3& d, int slot = 0) {
        (void)slot;
        int free = 0;
        while (free < 3 && (m_inUse & (1u << free))) ++free;
        m_points[free] = m_primitive->getSupportingVertex(d);
        return &m_points[free];
    }
    void markInUse(const Vector3* const* refs, int n) {
        m_inUse = 0;
        for (int i = 0; i < n; ++i)
            if (refs[i] >= m_points && refs[i] < m_points + 4) m_inUse |= 1u << (refs[i] - m_points);
    }
    Vector3 toWorld(const Vector3* p) const { return *p; }
    Vector3 startPoint() const { return m_primitive->getBodyToWorldTransform().getTranslation(); }

    const CXImplicitPrimitive* m_primitive;
    Vector3 m_points[4];
    unsigned m_inUse = 0;
};

// A convex implicit shape with one stored support point (the plane test needs only one).
class GJK_SimpleImplicit {
public:
    explicit GJK_SimpleImplicit(const CXImplicitPrimitive* p) : m_primitive(p) {}

    const Vector3* getSupportingVertex(const Vector3& d, int slot = 0) {
        (void)slot;
        m_point = m_primitive->getSupportingVertex(d);
        return &m_point;
    }
    Vector3 toWorld(const Vector3* p) const { return *p; }
    Vector3 startPoint() const { return m_primitive->getBodyToWorldTransform().getTranslation(); }

    const CXImplicitPrimitive* m_primitive;
    Vector3 m_point;
};

}  // namespace Kinetic
