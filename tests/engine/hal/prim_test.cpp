#include "engine/hal/prim.h"

#include <gtest/gtest.h>

#include <cstring>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/microcode.h"
#include "engine/vu1/primitive_program.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;
using enginetest::Vertex;

constexpr uint32_t kBack = 0x800000u;  // (0, 0, 128)

struct Probe {
    int x, y;
    uint32_t rgb;
};

_ve_quad Quad(float x0, float y0, float x1, float y1, uint32_t r, uint32_t g, uint32_t b) {
    return {Vertex(x0, y0, 0, r, g, b), Vertex(x1, y0, 0, r, g, b), Vertex(x1, y1, 0, r, g, b),
            Vertex(x0, y1, 0, r, g, b)};
}

class PrimTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Full-screen 2D view with the aspect taken from the viewport (1.0 x 1.0), depth plane 0.5.
        veDisplayCreateView2D(&view2d_, 0, 0, 640, 448, kViewAspectFromViewport, 0.5f);
    }
    // Untextured flat drawing through the view.
    void Begin(_ve_view* v = nullptr) {
        veDisplayActivateView(v ? v : &view2d_);
        veRenderContextDisable(kRenderTexture);
    }
    static void ExpectPixels(std::initializer_list<Probe> probes) {
        for (const Probe& p : probes) EXPECT_EQ(Rgb(FramePixel(p.x, p.y)), p.rgb) << p.x << "," << p.y;
    }
    static uint32_t Depth(int x, int y) {
        return console::gs::Gs().Memory().ReadPixel(kZBufferPage * 32, 10, console::gs::kPsmZ24, x, y);
    }
    _ve_view view2d_{};
};

TEST_F(PrimTest, QuadTriangleAndLineCoverExactlyTheirPixels) {
    DrawAndRun([&] {
        Begin();
        _ve_quad q = Quad(10, 20, 30, 40, 128, 64, 32);
        vePrimDrawQuad(&q);
        // Right triangle with the right angle at (100, 100), legs of 40 pixels.
        _ve_triangle t{Vertex(100, 100, 0, 0, 255, 0), Vertex(140, 100, 0, 0, 255, 0),
                       Vertex(100, 140, 0, 0, 255, 0)};
        vePrimDrawTri(&t);
        _ve_line l{Vertex(200, 50, 0, 255, 255, 255), Vertex(260, 50, 0, 255, 255, 255)};
        vePrimDrawLine(&l);
    });
    const uint32_t c = 128u | (64u << 8) | (32u << 16), green = 0xFF00u, white = 0xFFFFFFu;
    ExpectPixels({{10, 20, c},
                  {29, 39, c},
                  {9, 20, kBack},
                  {30, 20, kBack},
                  {10, 19, kBack},
                  {10, 40, kBack},
                  {101, 101, green},
                  {105, 130, green},
                  {130, 105, green},
                  {135, 135, kBack},
                  {99, 110, kBack},
                  {110, 99, kBack},
                  {200, 50, white},
                  {230, 50, white},
                  {230, 49, kBack},
                  {230, 51, kBack},
                  {199, 50, kBack}});
    int count = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) count += Rgb(FramePixel(x, y)) == c;
    EXPECT_EQ(count, 20 * 20);
}

TEST_F(PrimTest, ThreeDTrianglesProjectThroughTheCameraOrAreDroppedBehindIt) {
    // Camera moved so that the world origin is 512 units ahead; the projection plane is 512 away, the
    // centre at (320, 224) and the aspect (1.0, 0.9): camera-space (x, y, z) lands on
    // (320 + 512 x / z, 224 + 0.9 * 512 y / z).
    _ve_view v{};
    veDisplayCreateView3D(&v, 0, 0, 640, 448, kViewCentred, 1.0f, 65535.0f);
    _ve_vector3d pos = {0, 0, 512, 1};
    const _ve_vector3d rot = {0, 0, 0, 1};
    veDisplaySetCameraPositionOrientation(&v, &pos, &rot);
    DrawAndRun([&] {
        Begin(&v);
        _ve_triangle t{Vertex(0, 0, 0, 0, 0, 255), Vertex(100, 0, 0, 0, 0, 255),
                       Vertex(0, 100, 0, 0, 0, 255)};
        vePrimDrawTri(&t);
    });
    const uint32_t blue = 255u << 16;
    // Corners (320, 224), (420, 224), (320, 314).
    ExpectPixels({{321, 225, blue},
                  {410, 226, blue},
                  {322, 305, blue},
                  {319, 250, kBack},
                  {350, 223, kBack},
                  {421, 226, kBack},
                  {322, 315, kBack},
                  {380, 280, kBack}});
    // Depth: a point at the near plane maps to the top of the range, farther points lower.
    const double expected =
        1.0 * 65535.0 * (16777215.0 - 1.0) / 65534.0 / 512.0 + (1.0 * 65535.0 - 16777215.0 * 1.0) / 65534.0;
    EXPECT_NEAR(static_cast<double>(Depth(330, 230)), expected, 2.0);

    // A triangle crossing the eye plane is dropped, not smeared.
    pos = {0, 0, 0, 1};
    veDisplaySetCameraPositionOrientation(&v, &pos, &rot);
    const uint64_t dropped = engine::vu1::PrimitiveProgram::Dropped();
    DrawAndRun([&] {
        Begin(&v);
        _ve_triangle t{Vertex(0, 0, -10, 255, 0, 0), Vertex(100, 0, 10, 255, 0, 0),
                       Vertex(0, 100, 10, 255, 0, 0)};
        vePrimDrawTri(&t);
    });
    EXPECT_EQ(engine::vu1::PrimitiveProgram::Dropped(), dropped + 1);
    for (int y = 0; y < 448; y += 16)
        for (int x = 0; x < 640; x += 16) ASSERT_NE(Rgb(FramePixel(x, y)), 0xFFu);
}

TEST_F(PrimTest, AFullBufferDropsPrimitivesAndTheFrameGoesOn) {
    veEngineSetPrimBufferLimit(1024);
    veEngineBeginFrame();
    Begin();
    const uint32_t dropped = vePrimDropped();
    _ve_quad q = Quad(0, 0, 8, 8, 9, 9, 9);
    for (int i = 0; i < 10; ++i) vePrimDrawQuad(&q);
    EXPECT_GT(vePrimDropped(), dropped);
    veEngineEndFrame();
    veEngineBeginFrame();
    EXPECT_EQ(Rgb(FramePixel(4, 4)), 0x090909u);
    veEngineEndFrame();
    veEngineSetPrimBufferLimit(0x80000);
}

TEST_F(PrimTest, TwoDViewsWithoutViewportAspectScaleYByPointNine) {
    _ve_view v{};
    veDisplayCreateView2D(&v, 0, 0, 640, 448, 0, 0.5f);
    DrawAndRun([&] {
        Begin(&v);
        _ve_quad q = Quad(0, 100, 50, 200, 255, 0, 0);
        vePrimDrawQuad(&q);
    });
    // y 100..200 lands on rows 90..180.
    ExpectPixels({{10, 90, 0xFFu}, {10, 179, 0xFFu}, {10, 89, kBack}, {10, 180, kBack}});
}

}  // namespace
