// Debug drawing: a body's mesh faces as lines (three per triangle), other primitive kinds skipped.
#include "game/view/util.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/hal/engine_fixture.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "kinetic/collide/geometry.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/collide/primitive_blueprint.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/dynamics/rigid_body.h"

namespace {

using enginetest::EngineTest;

class DebugDrawTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        veDisplayCreateView3D(&view_, 0, 0, 640, 448, 1, 1.0f, 65536.0f);
        M4_Identity(&view_.cameraMatrix);
        veEngineBeginFrame();
        // One line first, so that the buffer's packet is open and the render state settled.
        _vector3d a{0, 0, 100}, b{10, 0, 100};
        CUtil::drawLine(&view_, &a, &b, 255, 0, 0);
        lineBytes_ = Bytes([&] { CUtil::drawLine(&view_, &a, &b, 255, 0, 0); });
        ASSERT_GT(lineBytes_, 0);
    }
    void TearDown() override {
        veEngineEndFrame();
        EngineTest::TearDown();
    }
    template <typename F>
    long Bytes(F draw) {
        const uint8_t* before = vePrimBuild->ptr;
        draw();
        return vePrimBuild->ptr - before;
    }
    _ve_view view_{};
    long lineBytes_ = 0;
};

TEST_F(DebugDrawTest, OneTriangleDrawsExactlyThreeLines) {
    Kinetic::Geometry g;
    const Kinetic::Vector3 v[3] = {Kinetic::Vector3(0, 0, 1), Kinetic::Vector3(1, 0, 1),
                                   Kinetic::Vector3(0, 1, 1)};
    const Kinetic::TriangleIndices t[1] = {{0, 1, 2}};
    g.addVertices(v, 3);
    g.addTriangles(t, 1);
    Kinetic::RigidBody body;
    Kinetic::GeometricPrimitiveBlueprint bp;
    bp.m_geometry = &g;
    bp.m_mass = 1.0f;
    ASSERT_NE(body.addPrimitive(bp), nullptr);
    const uint8_t* start = vePrimBuild->ptr;
    EXPECT_EQ(Bytes([&] { CUtil::drawDebugRigidBody(&body, &view_, 0, 255, 0); }), 3 * lineBytes_);
    // Each line's two vertices sit just before its closing quadword: the edges 0-1, 1-2, 2-0 of the face
    // in render units (physics x 100), in the given colour with alpha 255.
    const float corner[3][3] = {{0, 0, 100}, {100, 0, 100}, {0, 100, 100}};
    for (int k = 0; k < 3; ++k) {
        _ve_vertex v[2];
        std::memcpy(v, start + (k + 1) * lineBytes_ - 16 - sizeof v, sizeof v);
        for (int e = 0; e < 2; ++e) {
            const float* c = corner[(k + e) % 3];
            EXPECT_EQ(v[e].x, c[0]) << "line " << k;
            EXPECT_EQ(v[e].y, c[1]) << "line " << k;
            EXPECT_EQ(v[e].z, c[2]) << "line " << k;
            EXPECT_EQ(v[e].r, 0u);
            EXPECT_EQ(v[e].g, 255u);
            EXPECT_EQ(v[e].a, 255u);
        }
    }
    bp.m_isConvex = 1;  // convex meshes are drawn the same way
    ASSERT_NE(body.addPrimitive(bp), nullptr);
    EXPECT_EQ(Bytes([&] { CUtil::drawDebugRigidBody(&body, &view_, 0, 255, 0); }), 6 * lineBytes_);
}

TEST_F(DebugDrawTest, ImplicitPrimitivesDrawNothing) {
    Kinetic::RigidBody body;
    Kinetic::SphericalPrimitiveBlueprint bp;
    bp.m_radius = 1.0f;
    bp.m_mass = 1.0f;
    ASSERT_NE(body.addPrimitive(bp), nullptr);
    EXPECT_EQ(body.getPrimitives()[0]->m_type, Kinetic::CD_CXIMPLICIT);  // a sphere
    EXPECT_EQ(Bytes([&] { CUtil::drawDebugRigidBody(&body, &view_, 0, 255, 0); }), 0);
    body.getPrimitives()[0]->m_type = Kinetic::CD_IMPLICIT;
    EXPECT_EQ(Bytes([&] { CUtil::drawDebugRigidBody(&body, &view_, 0, 255, 0); }), 0);
    EXPECT_EQ(Bytes([&] { CUtil::drawDebugRigidBody(nullptr, &view_, 0, 255, 0); }), 0);
}

TEST_F(DebugDrawTest, LinesDrawUntexturedAndBlendedThroughTheGivenView) {
    _vector3d a{0, 0, 100}, b{10, 0, 100};
    CUtil::drawLine(&view_, &a, &b, 1, 2, 3);
    EXPECT_EQ(veDisplayGetActiveView(), &view_);
    EXPECT_EQ(veRenderContext.flags & kRenderTexture, 0);
    EXPECT_NE(veRenderContext.flags & kRenderAlpha, 0);
}

}  // namespace
