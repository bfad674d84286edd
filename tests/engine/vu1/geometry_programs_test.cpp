#include "engine/vu1/geometry_programs.h"

#include "support/vu1_rig.h"

namespace {

using namespace testsupport;
using engine::vu1::GeometryProgram;

class GeometryProgramTest : public Vu1Rig {
protected:
    void SetUp() override {
        Vu1Rig::SetUp();
        PutScreen(0);  // local (x, y) -> pixel (x, y)
    }
    // Header and GIF tag template (untextured Gouraud triangles, context 1).
    static void Header(uint32_t n) {
        PutInts(kTops, n, 0, 0, 0);
        PutTriangleTag(kTops + 1);
    }
    static void Vertex(uint32_t i, float x, float y, uint32_t r, uint32_t g, uint32_t b, float z = 0) {
        PutFloats(kTops + 2 + 3 * i, x, y, z, 1.0f);
        PutFloats(kTops + 3 + 3 * i, 0, 0, 1.0f, 0);
        PutInts(kTops + 4 + 3 * i, r, g, b, 128);
    }
    // Triangle `t` of one colour from three points (x, y).
    static void Triangle(uint32_t t, const float (&p)[6], uint32_t r, uint32_t g, uint32_t b) {
        for (uint32_t i = 0; i < 3; ++i) Vertex(3 * t + i, p[2 * i], p[2 * i + 1], r, g, b);
    }
    // One triangle (10,10) (10,50) (50,10), counter-clockwise on a y-down screen: a front face.
    static void Front(uint32_t r, uint32_t g, uint32_t b) {
        Header(3);
        Triangle(0, {10, 10, 10, 50, 50, 10}, r, g, b);
    }
    // The view packet's call takes the matrices and draws nothing; the continuation draws.
    static void Run(uint32_t id) { Vu1Rig::Run(id, true, true); }
};

TEST_F(GeometryProgramTest, BadVertexCountsAreRefused) {
    const uint64_t refused = GeometryProgram::PacketsRefused();
    for (uint32_t n : {0u, 4u, 87u, 0xFFFFFFFFu}) {
        Header(n);
        Run(engine::vu1::kProgPreLit16);
    }
    EXPECT_EQ(GeometryProgram::PacketsRefused(), refused + 4);
    EXPECT_EQ(Pixel(10, 10), 0u);
}

TEST_F(GeometryProgramTest, TriangleCullDropsClockwiseTriangles) {
    // A front face in red; the same turned clockwise in green: a back face.
    Header(6);
    Triangle(0, {10, 10, 10, 50, 50, 10}, 200, 100, 50);
    Triangle(1, {110, 10, 150, 10, 110, 50}, 0, 255, 0);
    const uint64_t culled = GeometryProgram::TrianglesCulled();
    Run(engine::vu1::kProgPreLitTCull16);
    EXPECT_EQ(Pixel(15, 15), 0x3264C8u);
    EXPECT_EQ(Pixel(45, 45), 0u);
    EXPECT_EQ(Pixel(115, 15), 0u);
    EXPECT_EQ(GeometryProgram::TrianglesCulled(), culled + 1);
    Run(engine::vu1::kProgPreLit16);  // the plain program draws both
    EXPECT_EQ(Pixel(115, 15), 0x00FF00u);
}

TEST_F(GeometryProgramTest, OffScreenAndBehindTheEyeTrianglesAreDropped) {
    // Wholly left of the GS range: culled by SCull; the plain program drops it too (no wrap).
    Header(3);
    Triangle(0, {-1800, 10, -1800, 50, -1760, 10}, 255, 255, 255);
    const uint64_t drawn = GeometryProgram::TrianglesDrawn();
    Run(engine::vu1::kProgPreLitSCull16);
    Run(engine::vu1::kProgPreLit16);
    // w = z: a vertex at z = -1 is behind the eye.
    const float l2s[16] = {100, 0, 0, 0, 0, 100, 0, 0, 0, 0, 0, 1, 2048, 2048, 0, 0};
    PutMatrix(0, l2s);
    Vertex(0, 0, 0, 255, 255, 255, 1);
    Vertex(1, 0, 1, 255, 255, 255, 1);
    Vertex(2, 1, 0, 255, 255, 255, -1);
    Run(engine::vu1::kProgPreLit16);
    EXPECT_EQ(GeometryProgram::TrianglesDrawn(), drawn);
    for (int y = 0; y < 448; y += 8)
        for (int x = 0; x < 640; x += 8) ASSERT_EQ(Pixel(x, y), 0u) << x << "," << y;
}

}  // namespace
