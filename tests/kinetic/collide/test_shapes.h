// Shapes and bodies for the collision tests: box meshes, flat ground meshes, and bodies placed at a pose.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/geometry.h"
#include "kinetic/collide/height_field_primitive.h"
#include "kinetic/collide/internal_collide.h"
#include "kinetic/collide/planar_primitive.h"
#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {
namespace testing_shapes {

inline TriangleIndices tri(int a, int b, int c) {
    TriangleIndices t;
    t.m_verts[0] = static_cast<uint16_t>(a);
    t.m_verts[1] = static_cast<uint16_t>(b);
    t.m_verts[2] = static_cast<uint16_t>(c);
    return t;
}

// A box of half extents h about the origin: 8 corners (bit 0 x, bit 1 y, bit 2 z) and 12 outward triangles.
inline std::unique_ptr<Geometry> boxGeometry(const Vector3& h) {
    auto g = std::make_unique<Geometry>();
    Vector3 v[8];
    for (int i = 0; i < 8; ++i) v[i] = Vector3(i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z);
    g->addVertices(v, 8);
    const TriangleIndices t[12] = {tri(0, 2, 1), tri(1, 2, 3), tri(4, 5, 6), tri(5, 7, 6),
                                   tri(0, 1, 4), tri(1, 5, 4), tri(2, 6, 3), tri(3, 6, 7),
                                   tri(0, 4, 2), tri(2, 4, 6), tri(1, 3, 5), tri(3, 7, 5)};
    g->addTriangles(t, 12);
    return g;
}

// A flat square of half size s in the plane y = 0 as two triangles (vertices 0..3).
inline std::unique_ptr<Geometry> groundGeometry(float s) {
    auto g = std::make_unique<Geometry>();
    const Vector3 v[4] = {Vector3(-s, 0, -s), Vector3(s, 0, -s), Vector3(-s, 0, s), Vector3(s, 0, s)};
    g->addVertices(v, 4);
    const TriangleIndices t[2] = {tri(0, 2, 1), tri(1, 2, 3)};
    g->addTriangles(t, 2);
    return g;
}

// A bumpy n x n grid of quads (two triangles each) in the x-z plane, heights within 0.3 of y = 0.
inline std::unique_ptr<Geometry> bumpyGrid(int n, float spacing) {
    auto g = std::make_unique<Geometry>();
    std::vector<Vector3> v;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            v.emplace_back(spacing * static_cast<float>(i), 0.3f * std::sin(0.7f * static_cast<float>(i * j)),
                           spacing * static_cast<float>(j));
    g->addVertices(v.data(), static_cast<unsigned>(v.size()));
    std::vector<TriangleIndices> t;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i;
            t.push_back(tri(a, a + n + 1, a + 1));
            t.push_back(tri(a + 1, a + n + 1, a + n + 2));
        }
    g->addTriangles(t.data(), static_cast<unsigned>(t.size()));
    return g;
}

inline void place(RigidBody* b, const Vector3& p, const Quaternion& q = Quaternion_Zero) {
    b->setDisplayToWorldTransform(p, q);
}

inline RigidBody* meshBody(Geometry* g, float mass, bool convex, const Vector3& p,
                           const Quaternion& q = Quaternion_Zero) {
    auto* b = new RigidBody();
    GeometricPrimitiveBlueprint bp;
    bp.m_geometry = g;
    bp.m_mass = mass;
    bp.m_isConvex = convex ? 1 : 0;
    b->addPrimitive(bp);
    place(b, p, q);
    return b;
}

inline RigidBody* sphereBody(float r, float mass, const Vector3& p) {
    auto* b = new RigidBody();
    SphericalPrimitiveBlueprint bp;
    bp.m_radius = r;
    bp.m_mass = mass;
    b->addPrimitive(bp);
    place(b, p);
    return b;
}

inline RigidBody* planeBody(const Vector3& n, float d) {
    auto* b = new RigidBody();
    PlanarPrimitiveBlueprint bp;
    bp.m_normal = n;
    bp.m_distance = d;
    b->addPrimitive(bp);
    return b;
}

inline RigidBody* fieldBody(HeightField* f, bool fast, const Vector3& p = Vector3_Zero) {
    auto* b = new RigidBody();
    HeightFieldPrimitiveBlueprint bp;
    bp.m_heightField = f;
    bp.m_optimisedCD = fast ? 1 : 0;
    b->addPrimitive(bp);
    place(b, p);
    return b;
}

// Owns bodies and one detector over them; the bodies (and so their shapes) die before the detector.
struct DetectorScene {
    explicit DetectorScene(float tol) : detector(tol) {}
    ~DetectorScene() {
        for (auto& b : bodies) b.reset();
    }
    RigidBody* add(RigidBody* b) {
        bodies.emplace_back(b);
        detector.addRigidBody(b);
        return b;
    }
    void pass() {
        detector.resetCollisionLists();
        detector.collide(false);
    }
    // Moves a body and refreshes its boxes, as a step would.
    static void move(RigidBody* b, const Vector3& p) {
        place(b, p);
        b->recomputeBoundingVolumes();
    }
    InternalCollide detector;
    std::vector<std::unique_ptr<RigidBody>> bodies;
};

inline Quaternion aboutY(float angle) {
    return Quaternion(std::cos(angle / 2), 0.0f, std::sin(angle / 2), 0.0f);
}

inline Quaternion aboutZ(float angle) {
    return Quaternion(std::cos(angle / 2), 0.0f, 0.0f, std::sin(angle / 2));
}

}  // namespace testing_shapes
}  // namespace Kinetic
