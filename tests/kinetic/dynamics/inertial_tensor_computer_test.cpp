// Mass properties of closed meshes against closed forms (a cube, tetrahedra, an inside-out cube) and the
// refusal of a mesh with a bad triangle index.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/geometry.h"
#include "kinetic/dynamics/inertial_tensor_computer.h"
#include "kinetic/dynamics/rigid_body.h"

using namespace Kinetic;

namespace {

// Unit cube [0,1]^3, 12 triangles wound counter-clockwise seen from outside.
void cube(Geometry& g, bool reversed = false, float lo = 0.0f, float hi = 1.0f) {
    Vector3 v[8];
    for (int i = 0; i < 8; ++i) v[i] = Vector3(i & 1 ? hi : lo, i & 2 ? hi : lo, i & 4 ? hi : lo);
    g.addVertices(v, 8);
    const uint16_t f[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                               {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
    TriangleIndices t[12];
    for (int i = 0; i < 12; ++i) {
        t[i].m_verts[0] = f[i][0];
        t[i].m_verts[1] = reversed ? f[i][2] : f[i][1];
        t[i].m_verts[2] = reversed ? f[i][1] : f[i][2];
    }
    g.addTriangles(t, 12);
}

void tetra(Geometry& g, const Vector3 (&p)[4]) {
    g.addVertices(p, 4);
    // Orient every face away from the centroid.
    const Vector3 c = (p[0] + p[1] + p[2] + p[3]) * 0.25f;
    const uint16_t f[4][3] = {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}};
    TriangleIndices t[4];
    for (int i = 0; i < 4; ++i) {
        const Vector3 n = (p[f[i][1]] - p[f[i][0]]).cross(p[f[i][2]] - p[f[i][1]]);
        const bool out = n.dot(p[f[i][0]] - c) > 0;
        t[i].m_verts[0] = f[i][0];
        t[i].m_verts[1] = out ? f[i][1] : f[i][2];
        t[i].m_verts[2] = out ? f[i][2] : f[i][1];
    }
    g.addTriangles(t, 4);
}

struct Result {
    Vector3 com;
    Matrix3 J;
    float volume = 0;
};

Result compute(Geometry& g, float mass = 1.0f) {
    GeometricPrimitive prim(nullptr, &g, Transform_Identity, mass, CD_CXGEOMETRIC);
    Result r;
    InertialTensorComputer::computeInertialTensorM(prim, mass, r.com, r.J, r.volume);
    return r;
}

}  // namespace

TEST(InertialTensorComputerTest, ClosedMeshesMatchTheClosedForms) {
    // A 2 x 2 x 2 box of mass 3: I = m (b^2 + c^2) / 12 = 2. The corner tetrahedron: volume 1/6, centroid
    // 1/4; about the origin Ixx = 2 * (1/10), moved to the centroid 1/5 - (1/16 + 1/16) = 0.075, and
    // Ixy = -(1/20 - 1/16) = 0.0125. Inside out, the volume turns negative and the tensor stays; a
    // zero-area sliver adds nothing.
    const Vector3 slanted[4] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(1, 1, 0), Vector3(1, 1, 1)};
    const Vector3 corner[4] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0), Vector3(0, 0, 1)};
    const float NA = NAN;
    struct Case {
        const char* what;
        std::function<void(Geometry&)> build;
        float mass, volume;
        Vector3 com;
        float jxx, jyy, jxy, jyz;
    };
    const Case cases[] = {
        {"unit cube", [](Geometry& g) { cube(g); }, 1, 1, Vector3(0.5f, 0.5f, 0.5f), 1.0f / 6, 1.0f / 6, 0,
         0},
        {"box", [](Geometry& g) { cube(g, false, -1, 1); }, 3, 8, Vector3_Zero, 2, 2, 0, 0},
        {"inside out", [](Geometry& g) { cube(g, true); }, 1, -1, Vector3(0.5f, 0.5f, 0.5f), 1.0f / 6,
         1.0f / 6, 0, 0},
        {"sliver",
         [](Geometry& g) {
             cube(g);
             TriangleIndices t;  // two corners the same
             t.m_verts[0] = t.m_verts[1] = 0;
             t.m_verts[2] = 7;
             g.addTriangles(&t, 1);
         },
         1, 1, Vector3(0.5f, 0.5f, 0.5f), 1.0f / 6, 1.0f / 6, 0, 0},
        {"slanted tetra", [&](Geometry& g) { tetra(g, slanted); }, 1, 1.0f / 6, Vector3(0.75f, 0.5f, 0.25f),
         NA, NA, NA, NA},
        {"corner tetra", [&](Geometry& g) { tetra(g, corner); }, 1, 1.0f / 6, Vector3(0.25f, 0.25f, 0.25f),
         0.075f, 0.075f, 0.0125f, 0.0125f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Geometry g;
        c.build(g);
        const Result r = compute(g, c.mass);
        EXPECT_NEAR(r.volume, c.volume, 1e-4f);
        EXPECT_NEAR((r.com - c.com).length(), 0.0f, 1e-5f);
        if (!std::isnan(c.jxx)) {
            EXPECT_NEAR(r.J(0, 0), c.jxx, 1e-4f);
            EXPECT_NEAR(r.J(1, 1), c.jyy, 1e-4f);
            EXPECT_NEAR(r.J(2, 2), c.jyy, 1e-4f);
            EXPECT_NEAR(r.J(0, 1), c.jxy, 1e-5f);
            EXPECT_NEAR(r.J(1, 0), c.jxy, 1e-5f);
            EXPECT_NEAR(r.J(1, 2), c.jyz, 1e-5f);
            EXPECT_NEAR(r.J(0, 2), c.jyz, 1e-5f);
        }
    }
}

TEST(InertialTensorComputerTest, MeshWithABadTriangleIndexIsRefused) {
    // A mesh whose arrays were filled directly (as a loader might) with an index beyond its vertices.
    Geometry g;
    const Vector3 v[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(0, 1, 0)};
    g.addVertices(v, 3);
    auto* tris = new TriangleIndices[1];
    tris[0].m_verts[0] = 0;
    tris[0].m_verts[1] = 1;
    tris[0].m_verts[2] = 3;
    g.m_triangles = tris;
    g.m_triangle_count = 1;
    EXPECT_FALSE(GeometricPrimitive::isUsableGeometry(&g));
    RigidBody body;
    GeometricPrimitiveBlueprint bp;
    bp.m_geometry = &g;
    bp.m_mass = 1.0f;
    testing::internal::CaptureStderr();
    EXPECT_EQ(body.addPrimitive(bp), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("primitive refused"), std::string::npos);
    EXPECT_TRUE(body.getPrimitives().empty());
    bp.m_geometry = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(body.addPrimitive(bp), nullptr);
    testing::internal::GetCapturedStderr();
    // A primitive built around it directly is ignored by the detector instead of read out of bounds.
    GeometricPrimitive direct(&body, &g, Transform_Identity, 1.0f, CD_GEOMETRIC);
    testing::internal::CaptureStderr();
    direct.precomputeCDinfo(0.1f);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unusable mesh"), std::string::npos);
    EXPECT_EQ(direct.m_OBBTree, nullptr);
    EXPECT_FALSE(direct.m_AABB.overlaps(AABB(Vector3(-1e30f, -1e30f, -1e30f), Vector3(1e30f, 1e30f, 1e30f))));
}
