// The engine's triangle mesh: vertices and triangles given by vertex indices. Collision meshes come from
// disc data, so triangles that name a vertex the mesh does not have are refused when added.
#pragma once

#include <cstdint>

#include "kinetic/collide/kinetic_object.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Geometry : public KineticObject {
public:
    Geometry() = default;
    ~Geometry() override;

    // Appends n vertices (exact-size reallocation); returns the index of the first, or -1 when the mesh
    // does not own its vertex array.
    int addVertices(const Vector3* v, unsigned int n);
    // Appends n triangles; returns the index of the first, or -1 when the mesh does not own its triangle
    // array or a triangle names a vertex index at or beyond the vertex count (then nothing is added).
    int addTriangles(const TriangleIndices* t, unsigned int n);

    int getNumVertices() const { return m_vertex_count; }
    int getNumTriangles() const { return m_triangle_count; }
    const Vector3* getVertices() const { return m_vertices; }
    const TriangleIndices* getTriangles() const { return m_triangles; }
    const Vector3& getVertex(int i) const { return m_vertices[i]; }
    const TriangleIndices& getTriangle(int i) const { return m_triangles[i]; }

    int m_vertex_count = 0;
    Vector3* m_vertices = nullptr;
    uint8_t m_internal_vertex_array = 1;
    int m_triangle_count = 0;
    TriangleIndices* m_triangles = nullptr;
    uint8_t m_internal_triangle_array = 1;
};

}  // namespace Kinetic
