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

class PrimTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Full-screen 2D view with the aspect taken from the viewport (1.0 x 1.0), depth plane 0.5.
        veDisplayCreateView2D(&view2d_, 0, 0, 640, 448, kViewAspectFromViewport, 0.5f);
    }
    // Untextured flat drawing through the 2D view.
    void Begin2D() {
        veDisplayActivateView(&view2d_);
        veRenderContextDisable(kRenderTexture);
    }
    _ve_view view2d_{};
};

constexpr uint32_t kBack = 0x800000u;  // (0, 0, 128)

TEST_F(PrimTest, QuadCoversExactlyItsPixelsInItsColour) {
    DrawAndRun([&] {
        Begin2D();
        _ve_quad q{Vertex(10, 20, 0, 128, 64, 32), Vertex(30, 20, 0, 128, 64, 32),
                   Vertex(30, 40, 0, 128, 64, 32), Vertex(10, 40, 0, 128, 64, 32)};
        vePrimDrawQuad(&q);
    });
    const uint32_t c = 128u | (64u << 8) | (32u << 16);
    EXPECT_EQ(Rgb(FramePixel(10, 20)), c);
    EXPECT_EQ(Rgb(FramePixel(29, 39)), c);
    EXPECT_EQ(Rgb(FramePixel(20, 30)), c);
    EXPECT_EQ(Rgb(FramePixel(9, 20)), kBack);
    EXPECT_EQ(Rgb(FramePixel(30, 20)), kBack);
    EXPECT_EQ(Rgb(FramePixel(10, 19)), kBack);
    EXPECT_EQ(Rgb(FramePixel(10, 40)), kBack);
    int count = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) count += Rgb(FramePixel(x, y)) == c;
    EXPECT_EQ(count, 20 * 20);
}

TEST_F(PrimTest, TriangleAndLineLandWhereTheirVerticesSay) {
    DrawAndRun([&] {
        Begin2D();
        // Right triangle with the right angle at (100, 100), legs of 40 pixels.
        _ve_triangle t{Vertex(100, 100, 0, 0, 255, 0), Vertex(140, 100, 0, 0, 255, 0),
                       Vertex(100, 140, 0, 0, 255, 0)};
        vePrimDrawTri(&t);
        _ve_line l{Vertex(200, 50, 0, 255, 255, 255), Vertex(260, 50, 0, 255, 255, 255)};
        vePrimDrawLine(&l);
    });
    const uint32_t green = 255u << 8;
    EXPECT_EQ(Rgb(FramePixel(101, 101)), green);
    EXPECT_EQ(Rgb(FramePixel(105, 130)), green);
    EXPECT_EQ(Rgb(FramePixel(130, 105)), green);
    EXPECT_EQ(Rgb(FramePixel(135, 135)), kBack);  // beyond the hypotenuse
    EXPECT_EQ(Rgb(FramePixel(99, 110)), kBack);
    EXPECT_EQ(Rgb(FramePixel(110, 99)), kBack);
    const uint32_t white = 0xFFFFFFu;
    EXPECT_EQ(Rgb(FramePixel(200, 50)), white);
    EXPECT_EQ(Rgb(FramePixel(230, 50)), white);
    EXPECT_EQ(Rgb(FramePixel(230, 49)), kBack);
    EXPECT_EQ(Rgb(FramePixel(230, 51)), kBack);
    EXPECT_EQ(Rgb(FramePixel(199, 50)), kBack);
}

TEST_F(PrimTest, TwoDViewsWithoutViewportAspectScaleYByPointNine) {
    _ve_view v{};
    veDisplayCreateView2D(&v, 0, 0, 640, 448, 0, 0.5f);
    DrawAndRun([&] {
        veDisplayActivateView(&v);
        veRenderContextDisable(kRenderTexture);
        _ve_quad q{Vertex(0, 100, 0, 255, 0, 0), Vertex(50, 100, 0, 255, 0, 0), Vertex(50, 200, 0, 255, 0, 0),
                   Vertex(0, 200, 0, 255, 0, 0)};
        vePrimDrawQuad(&q);
    });
    // y 100..200 lands on rows 90..180.
    EXPECT_EQ(Rgb(FramePixel(10, 90)), 0xFFu);
    EXPECT_EQ(Rgb(FramePixel(10, 179)), 0xFFu);
    EXPECT_EQ(Rgb(FramePixel(10, 89)), kBack);
    EXPECT_EQ(Rgb(FramePixel(10, 180)), kBack);
}

TEST_F(PrimTest, LaterTwoDPrimitivesLieInFrontAndDepthIsUsedOnce) {
    DrawAndRun([&] {
        Begin2D();
        view2d_.zbump = 100.0f;
        _ve_quad a{Vertex(0, 0, 0, 255, 0, 0), Vertex(20, 0, 0, 255, 0, 0), Vertex(20, 20, 0, 255, 0, 0),
                   Vertex(0, 20, 0, 255, 0, 0)};
        vePrimDrawQuad(&a);
        EXPECT_FLOAT_EQ(a.v1.z, 100.0f);
        EXPECT_FLOAT_EQ(view2d_.zbump, 101.0f);
        _ve_quad b{Vertex(10, 10, 0, 0, 255, 0), Vertex(30, 10, 0, 0, 255, 0), Vertex(30, 30, 0, 0, 255, 0),
                   Vertex(10, 30, 0, 0, 255, 0)};
        vePrimDrawQuad(&b);
    });
    EXPECT_EQ(Rgb(FramePixel(5, 5)), 0xFFu);
    EXPECT_EQ(Rgb(FramePixel(15, 15)), 0xFF00u);  // the later quad wins the overlap
    // The Z buffer holds the depth once (100 and 101), not the plane added twice.
    const auto& mem = console::gs::Gs().Memory();
    EXPECT_EQ(mem.ReadPixel(kZBufferPage * 32, 10, console::gs::kPsmZ24, 5, 5), 100u);
    EXPECT_EQ(mem.ReadPixel(kZBufferPage * 32, 10, console::gs::kPsmZ24, 15, 15), 101u);
}

TEST_F(PrimTest, ThreeDTriangleProjectsThroughTheCamera) {
    // Camera moved so that the world origin is 512 units ahead; the projection plane is 512 away, the
    // centre at (320, 224) and the aspect (1.0, 0.9): camera-space (x, y, z) lands on
    // (320 + 512 x / z, 224 + 0.9 * 512 y / z).
    _ve_view v{};
    veDisplayCreateView3D(&v, 0, 0, 640, 448, kViewCentred, 1.0f, 65535.0f);
    const _ve_vector3d pos = {0, 0, 512, 1}, rot = {0, 0, 0, 1};
    veDisplaySetCameraPositionOrientation(&v, &pos, &rot);
    DrawAndRun([&] {
        veDisplayActivateView(&v);
        veRenderContextDisable(kRenderTexture);
        _ve_triangle t{Vertex(0, 0, 0, 0, 0, 255), Vertex(100, 0, 0, 0, 0, 255),
                       Vertex(0, 100, 0, 0, 0, 255)};
        vePrimDrawTri(&t);
    });
    const uint32_t blue = 255u << 16;
    // Corners (320, 224), (420, 224), (320, 314).
    EXPECT_EQ(Rgb(FramePixel(321, 225)), blue);
    EXPECT_EQ(Rgb(FramePixel(410, 226)), blue);
    EXPECT_EQ(Rgb(FramePixel(322, 305)), blue);
    EXPECT_EQ(Rgb(FramePixel(319, 250)), kBack);
    EXPECT_EQ(Rgb(FramePixel(350, 223)), kBack);
    EXPECT_EQ(Rgb(FramePixel(421, 226)), kBack);
    EXPECT_EQ(Rgb(FramePixel(322, 315)), kBack);
    EXPECT_EQ(Rgb(FramePixel(380, 280)), kBack);  // beyond the hypotenuse
    // Depth: a point at the near plane maps to the top of the range, farther points lower.
    const auto& mem = console::gs::Gs().Memory();
    const uint32_t z = mem.ReadPixel(kZBufferPage * 32, 10, console::gs::kPsmZ24, 330, 230);
    const double expected =
        1.0 * 65535.0 * (16777215.0 - 1.0) / 65534.0 / 512.0 + (1.0 * 65535.0 - 16777215.0 * 1.0) / 65534.0;
    EXPECT_NEAR(static_cast<double>(z), expected, 2.0);
}

TEST_F(PrimTest, PrimitiveBehindTheEyeIsDroppedNotSmeared) {
    _ve_view v{};
    veDisplayCreateView3D(&v, 0, 0, 640, 448, kViewCentred, 1.0f, 65535.0f);
    const _ve_vector3d pos = {0, 0, 0, 1}, rot = {0, 0, 0, 1};
    veDisplaySetCameraPositionOrientation(&v, &pos, &rot);
    const uint64_t dropped = engine::vu1::PrimitiveProgram::Dropped();
    DrawAndRun([&] {
        veDisplayActivateView(&v);
        veRenderContextDisable(kRenderTexture);
        _ve_triangle t{Vertex(0, 0, -10, 255, 0, 0), Vertex(100, 0, 10, 255, 0, 0),
                       Vertex(0, 100, 10, 255, 0, 0)};
        vePrimDrawTri(&t);
    });
    EXPECT_EQ(engine::vu1::PrimitiveProgram::Dropped(), dropped + 1);
    for (int y = 0; y < 448; y += 16)
        for (int x = 0; x < 640; x += 16) ASSERT_EQ(Rgb(FramePixel(x, y)), kBack);
}

// The packets the layer builds, read back from its buffer.
TEST_F(PrimTest, QuadsShareATaskUntilAnEnableSplitsThemWithTheEnvironmentFirst) {
    veEngineBeginFrame();
    Begin2D();
    _ve_quad q{Vertex(0, 0, 0, 1, 2, 3), Vertex(4, 0, 0, 1, 2, 3), Vertex(4, 4, 0, 1, 2, 3),
               Vertex(0, 4, 0, 1, 2, 3)};
    vePrimDrawQuad(&q);  // environment (from Begin2D) + projection + quad
    const int tasks0 = veDmaBuild->numTasks;
    vePrimDrawQuad(&q);
    EXPECT_EQ(veDmaBuild->numTasks, tasks0);  // same open packet
    veRenderContextEnable(kRenderAlpha);
    vePrimDrawQuad(&q);  // closes the packet of the first two
    EXPECT_GT(veDmaBuild->numTasks, tasks0);
    const int closed = veDmaBuild->numTasks;
    // The last task is the closed packet: END tag, then the environment, the projection and two quads.
    const uint8_t* packet = Ptr<uint8_t>(veDmaBuild->dma[closed - 1].dmaAdr);
    uint64_t tag;
    std::memcpy(&tag, packet, 8);
    EXPECT_EQ((tag >> 28) & 7, 7u);
    EXPECT_EQ(tag & 0xFFFF, (208u + 208u + 2 * 288u) / 16u);
    EXPECT_EQ(static_cast<uint32_t>(tag >> 32), veDmaBuild->dma[closed - 1].dmaAdr + 16);
    EXPECT_EQ(veDmaBuild->dma[closed - 1].channel, 1);
    EXPECT_EQ(veDmaBuild->dma[closed - 1].chcr, 0u);
    // The open packet now starts with the new environment (FLUSHA, DIRECT 12), then the third quad.
    const uint8_t* open = vePrimBuild->bufCur + 16;
    uint32_t vif[4];
    std::memcpy(vif, open, 16);
    EXPECT_EQ(vif[2], 0x13000000u);
    EXPECT_EQ(vif[3], 0x5000000Cu);
    std::memcpy(vif, open + 208, 16);
    EXPECT_EQ(vif[3], 0x6C038000u);
    // The quad's GIF tag: NLOOP 4, EOP, PRE, fan with ABE (alpha now on), PACKED, 3 registers 0x512.
    uint64_t gif[2];
    std::memcpy(gif, open + 208 + 48, 16);
    EXPECT_EQ(gif[0] & 0x7FFF, 4u);
    EXPECT_EQ((gif[0] >> 15) & 1, 1u);
    EXPECT_EQ((gif[0] >> 46) & 1, 1u);
    const uint32_t prim = static_cast<uint32_t>((gif[0] >> 47) & 0x7FF);
    EXPECT_EQ(prim & 7, 5u);
    EXPECT_EQ((prim >> 6) & 1, 1u);
    EXPECT_EQ(gif[0] >> 60, 3u);
    EXPECT_EQ(gif[1], 0x512u);
    std::memcpy(vif, open + 208 + 64, 16);
    EXPECT_EQ(vif[3], 0x6C0C8003u);
    std::memcpy(vif, open + 208 + 80 + 4 * 48, 16);
    EXPECT_EQ(vif[0], 0x17000000u);
    veEngineEndFrame();
}

TEST_F(PrimTest, TexturedAlphaQuadWithoutShadingHasTheRightPrim) {
    veEngineBeginFrame();
    Begin2D();
    veRenderContextEnable(kRenderTexture | kRenderAlpha);
    veRenderContextDisable(kRenderShading);
    _ve_quad q{};
    vePrimDrawQuad(&q);
    const uint8_t* p = vePrimBuild->ptr - 288;
    uint64_t gif;
    std::memcpy(&gif, p + 48, 8);
    const uint32_t prim = static_cast<uint32_t>((gif >> 47) & 0x7FF);
    EXPECT_EQ(prim & 7, 5u);
    EXPECT_EQ((prim >> 4) & 1, 1u);  // TME
    EXPECT_EQ((prim >> 6) & 1, 1u);  // ABE
    EXPECT_EQ((prim >> 3) & 1, 0u);  // IIP
    EXPECT_EQ((prim >> 8) & 1, 0u);  // FST: S, T and Q
    EXPECT_EQ(static_cast<int>((prim >> 9) & 1), vePrimGetContext());
    veEngineEndFrame();
}

TEST_F(PrimTest, FlushWithNothingDirtyQueuesNoTask) {
    veEngineBeginFrame();
    const int tasks = veDmaBuild->numTasks;
    vePrimSendBuffers();
    vePrimFlushBuffers();
    EXPECT_EQ(veDmaBuild->numTasks, tasks);
    veEngineEndFrame();
}

TEST_F(PrimTest, PrimitiveProgramIsUploadedOnlyWhenTheSelectionChanges) {
    veEngineBeginFrame();
    Begin2D();
    _ve_quad q{};
    vePrimDrawQuad(&q);
    vePrimSendBuffers();
    EXPECT_EQ(veEngineCurrentMicroCode, &primitiveMicroCode);
    const int tasks = veDmaBuild->numTasks;
    vePrimDrawQuad(&q);
    vePrimSendBuffers();
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 1);  // the packet only
    veEngineResetMicroCode();
    vePrimDrawQuad(&q);
    vePrimSendBuffers();
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 3);  // upload, then the packet
    EXPECT_EQ(veDmaBuild->dma[tasks + 1].dmaAdr, Addr32(&primitiveMicroCode));
    veEngineEndFrame();
}

TEST_F(PrimTest, AFullBufferDropsPrimitivesAndTheFrameGoesOn) {
    veEngineSetPrimBufferLimit(1024);
    veEngineBeginFrame();
    Begin2D();
    const uint32_t dropped = vePrimDropped();
    _ve_quad q{Vertex(0, 0, 0, 9, 9, 9), Vertex(8, 0, 0, 9, 9, 9), Vertex(8, 8, 0, 9, 9, 9),
               Vertex(0, 8, 0, 9, 9, 9)};
    for (int i = 0; i < 10; ++i) vePrimDrawQuad(&q);
    EXPECT_GT(vePrimDropped(), dropped);
    veEngineEndFrame();
    veEngineBeginFrame();
    EXPECT_EQ(Rgb(FramePixel(4, 4)), 0x090909u);
    veEngineEndFrame();
    veEngineSetPrimBufferLimit(0x80000);
}

}  // namespace

namespace {

// A 16 x 16 32-bit texture in the texture pool whose texels all differ.
constexpr uint32_t kTexBlock = 0x3480;
uint32_t Texel(int x, int y) {
    return uint32_t(8 * x + 4) | (uint32_t(8 * y + 4) << 8) | (200u << 16) | (128u << 24);
}

class TexturedPrimTest : public PrimTest {
protected:
    void SetUp() override {
        PrimTest::SetUp();
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                console::gs::Gs().Memory().WritePixel(kTexBlock, 1, console::gs::kPsmCt32, x, y, Texel(x, y));
    }
    void DrawTextured(uint32_t colour) {
        DrawAndRun([&] {
            veDisplayActivateView(&view2d_);
            veRenderSetTexture(kTexBlock, 1, console::gs::kPsmCt32, 4, 4, 0);
            veRenderContextEnable(kRenderTexture);
            _ve_quad q{Vertex(100, 100, 0, colour, colour, colour, 128),
                       Vertex(116, 100, 0, colour, colour, colour, 128),
                       Vertex(116, 116, 0, colour, colour, colour, 128),
                       Vertex(100, 116, 0, colour, colour, colour, 128)};
            q.v2.s = 1.0f;
            q.v3.s = 1.0f;
            q.v3.t = 1.0f;
            q.v4.t = 1.0f;
            vePrimDrawQuad(&q);
        });
    }
};

TEST_F(TexturedPrimTest, VertexColour128ShowsTheTextureUnchanged) {
    DrawTextured(128);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(Rgb(FramePixel(100 + x, 100 + y)), Rgb(Texel(x, y))) << x << "," << y;
}

TEST_F(TexturedPrimTest, VertexColour64HalvesTheTexture) {
    DrawTextured(64);
    for (int y = 0; y < 16; y += 3)
        for (int x = 0; x < 16; x += 3) {
            const uint32_t t = Texel(x, y);
            const uint32_t half =
                ((t & 0xFF) >> 1) | ((((t >> 8) & 0xFF) >> 1) << 8) | ((((t >> 16) & 0xFF) >> 1) << 16);
            ASSERT_EQ(Rgb(FramePixel(100 + x, 100 + y)), half) << x << "," << y;
        }
}

}  // namespace
