#include "kinetic/collide/geometry.h"

#include <string>

#include "kinetic/collide/error.h"

namespace Kinetic {

Geometry::~Geometry() {
    if (m_internal_vertex_array && m_vertices) delete[] m_vertices;
    if (m_internal_triangle_array && m_triangles) delete[] m_triangles;
    m_vertices = nullptr;
    m_triangles = nullptr;
    notifyDependants(MSG_DEATH);
}

int Geometry::addVertices(const Vector3* v, unsigned int n) {
    if (!m_internal_vertex_array) return -1;
    const int first = m_vertex_count;
    Vector3* fresh = new Vector3[static_cast<size_t>(m_vertex_count) + n];
    for (int i = 0; i < m_vertex_count; ++i) fresh[i] = m_vertices[i];
    for (unsigned int i = 0; i < n; ++i) fresh[first + i] = v[i];
    delete[] m_vertices;
    m_vertices = fresh;
    m_vertex_count = first + static_cast<int>(n);
    return first;
}

int Geometry::addTriangles(const TriangleIndices* t, unsigned int n) {
    if (!m_internal_triangle_array) return -1;
    // Every consumer indexes the vertex array with these; a bad index would read past it.
    for (unsigned int i = 0; i < n; ++i) {
        for (int k = 0; k < 3; ++k) {
            if (t[i].m_verts[k] >= m_vertex_count) {
                g_pGlobalErrorHandler->warning("Geometry::addTriangles: triangle " + std::to_string(i) +
                                                   " names vertex " + std::to_string(t[i].m_verts[k]) +
                                                   " of " + std::to_string(m_vertex_count) +
                                                   "; triangles refused",
                                               1);
                return -1;
            }
        }
    }
    const int first = m_triangle_count;
    TriangleIndices* fresh = new TriangleIndices[static_cast<size_t>(m_triangle_count) + n];
    for (int i = 0; i < m_triangle_count; ++i) fresh[i] = m_triangles[i];
    for (unsigned int i = 0; i < n; ++i) fresh[first + i] = t[i];
    delete[] m_triangles;
    m_triangles = fresh;
    m_triangle_count = first + static_cast<int>(n);
    return first;
}

}  // namespace Kinetic
