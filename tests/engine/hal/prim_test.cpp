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

TEST_F(PrimTest, LaterTwoDPrimitivesLieInFrontAndDepthIsUsedOnce) {
    DrawAndRun([&] {
        Begin();
        view2d_.zbump = 100.0f;
        _ve_quad a = Quad(0, 0, 20, 20, 255, 0, 0);
        vePrimDrawQuad(&a);
        EXPECT_FLOAT_EQ(a.v1.z, 100.0f);
        EXPECT_FLOAT_EQ(view2d_.zbump, 101.0f);
        _ve_quad b = Quad(10, 10, 30, 30, 0, 255, 0);
        vePrimDrawQuad(&b);
    });
    ExpectPixels({{5, 5, 0xFFu}, {15, 15, 0xFF00u}});  // the later quad wins the overlap
    // The Z buffer holds the depth once (100 and 101), not the plane added twice.
    EXPECT_EQ(Depth(5, 5), 100u);
    EXPECT_EQ(Depth(15, 15), 101u);
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

// The packets the layer builds, read back from its buffer.
TEST_F(PrimTest, QuadsShareATaskUntilAnEnableSplitsThemWithTheEnvironmentFirst) {
    veEngineBeginFrame();
    Begin();
    _ve_quad q = Quad(0, 0, 4, 4, 1, 2, 3);
    vePrimDrawQuad(&q);  // environment (from Begin) + projection + quad
    const int tasks0 = veDmaBuild->numTasks;
    vePrimDrawQuad(&q);
    EXPECT_EQ(veDmaBuild->numTasks, tasks0);  // same open packet
    veRenderContextEnable(kRenderAlpha);
    vePrimDrawQuad(&q);  // closes the packet of the first two
    const int closed = veDmaBuild->numTasks;
    ASSERT_GT(closed, tasks0);
    // The last task is the closed packet: END tag, then the environment, the projection and two quads.
    const auto& task = veDmaBuild->dma[closed - 1];
    uint64_t tag;
    std::memcpy(&tag, Ptr<uint8_t>(task.dmaAdr), 8);
    EXPECT_EQ((tag >> 28) & 7, 7u);
    EXPECT_EQ(tag & 0xFFFF, (208u + 208u + 2 * 288u) / 16u);
    EXPECT_EQ(static_cast<uint32_t>(tag >> 32), task.dmaAdr + 16);
    EXPECT_EQ(task.channel, 1);
    EXPECT_EQ(task.chcr, 0u);
    // The open packet now starts with the new environment (FLUSHA, DIRECT 12), then the third quad.
    const uint8_t* open = vePrimBuild->bufCur + 16;
    const auto word = [&](size_t at, int i) {
        uint32_t w[4];
        std::memcpy(w, open + at, 16);
        return w[i];
    };
    EXPECT_EQ(word(0, 2), 0x13000000u);
    EXPECT_EQ(word(0, 3), 0x5000000Cu);
    EXPECT_EQ(word(208, 3), 0x6C038000u);
    EXPECT_EQ(word(208 + 64, 3), 0x6C0C8003u);
    EXPECT_EQ(word(208 + 80 + 4 * 48, 0), 0x17000000u);
    // The quad's GIF tag: NLOOP 4, EOP, PRE, fan with ABE (alpha now on), PACKED, 3 registers 0x512.
    uint64_t gif[2];
    std::memcpy(gif, open + 208 + 48, 16);
    EXPECT_EQ(gif[0] & 0xFFFF, 0x8004u);
    EXPECT_EQ((gif[0] >> 46) & 1, 1u);
    const uint32_t prim = static_cast<uint32_t>((gif[0] >> 47) & 0x7FF);
    EXPECT_EQ(prim & 0x47, 0x45u);
    EXPECT_EQ(gif[0] >> 60, 3u);
    EXPECT_EQ(gif[1], 0x512u);

    // Textured, alpha, flat: TME and ABE on, IIP off, S/T/Q coordinates, the current context.
    veRenderContextEnable(kRenderTexture);
    veRenderContextDisable(kRenderShading);
    vePrimDrawQuad(&q);
    std::memcpy(&gif[0], vePrimBuild->ptr - 288 + 48, 8);
    const uint32_t tprim = static_cast<uint32_t>((gif[0] >> 47) & 0x7FF);
    EXPECT_EQ(tprim & 0x17F, 0x55u);
    EXPECT_EQ(static_cast<int>((tprim >> 9) & 1), vePrimGetContext());
    veEngineEndFrame();
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

}  // namespace
