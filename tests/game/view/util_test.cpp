// Debug drawing: a body's mesh faces as lines (three per triangle), other primitive kinds skipped.
#include "game/view/util.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(Bytes([&] { CUtil::drawDebugRigidBody(&body, &view_, 0, 255, 0); }), 3 * lineBytes_);
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
