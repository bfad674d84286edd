#include "engine/hal/geometry_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine_fixture.h"
#include "engine/hal/geometry.h"
#include "engine/hal/lights.h"
#include "engine/hal/microcode.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "engine/vu1/geometry_programs.h"
#include "support/heap_image.h"

namespace {

using enginetest::EngineTest;

// A one-colour 8-bit texture.
BitmapImage Solid(uint32_t rgba) {
    return CheckerTexture(8, 8, rgba, rgba);
}

// A block copied into engine memory and initialised.
using Block = testsupport::HeapImage;

TEST(GeometryWriter, BlockRecordsFollowThePacketConvention) {
    GeoMesh mesh;
    mesh.materials.push_back(MakeBox(1, 1, 1, 2, 0x80808080, Solid(0x80102030)));  // 48 triangles
    mesh.materials.push_back(
        MakeGroundPlane(4, 4, 1, 0x80808080, CheckerTexture(16, 4, 0x80FFFFFF, 0x80000000)));
    Block b(WriteGeometry(mesh));
    auto* h = b.as<_FS_GEO_HEADER>();
    ASSERT_EQ(veEngineCheckGeo(h, b.size), 1);
    EXPECT_EQ(h->numMaterials, 2);
    EXPECT_EQ(h->numTriangles, 48 + 2);
    // The box's 48 triangles go in batches of 16: three subpackets of 48 vertices.
    auto* mat = reinterpret_cast<_FS_GEO_MATERIAL*>(b.p + 160);
    EXPECT_EQ(mat->numPackets, 3u);
    EXPECT_EQ(mat->packetLength, 3u * (16 + 80 + 48 * 48) / 16);
    // The bounding box covers both materials: the box (y -1..1) and the 4 x 4 plane (x, z -2..2).
    EXPECT_FLOAT_EQ(h->bBox.corner[0][0], -2.0f);
    EXPECT_FLOAT_EQ(h->bBox.corner[0][1], -1.0f);
    EXPECT_FLOAT_EQ(h->bBox.corner[6][1], 1.0f);
    EXPECT_FLOAT_EQ(h->bBox.corner[6][2], 2.0f);

    // Initialisation turns the table into addresses of the bitmaps, whose pixels and palettes follow;
    // initialising twice changes nothing more.
    veEngineInitGeo(h);
    veEngineInitGeo(h);
    const uint32_t* slots = veEngineGetGeoMaterialTbl(h);
    const auto* bmp0 = Ptr<_FS_BITMAP>(slots[0]);
    const auto* bmp1 = Ptr<_FS_BITMAP>(slots[1]);
    EXPECT_EQ(slots[0], Addr32(slots + 4));  // two slots rounded up to four
    EXPECT_EQ(bmp0->coldata, slots[0] + 64 + 64);
    EXPECT_EQ(bmp0->Palette()[0], 0x80102030u);
    EXPECT_EQ(bmp1->Pixels()[5], 1u);  // x 5 of the first row: the second checker cell
    EXPECT_EQ(bmp1->coldata + 1024, Addr32(h) + b.size);
    EXPECT_EQ(veEngineGetGeoNumMaterials(h), 2);
    EXPECT_EQ(veEngineGetGeoBoundingBox(h), &h->bBox);
}

TEST(GeometryWriter, MeshesAreClosedAndWoundOutwards) {
    // For a closed mesh wound outwards the signed volume is positive and equals the solid's volume.
    auto volume = [](const GeoMaterial& m) {
        double v = 0;
        for (size_t i = 0; i < m.triangles.size(); i += 3) {
            const GeoVertex &a = m.triangles[i], &b = m.triangles[i + 1], &c = m.triangles[i + 2];
            v += (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) +
                  a.z * (b.x * c.y - b.y * c.x)) /
                 6.0;
        }
        return v;
    };
    const BitmapImage t = Solid(0x80808080);
    EXPECT_NEAR(volume(MakeBox(1, 2, 3, 3, 0, t)), 2 * 4 * 6, 1e-3);
    EXPECT_NEAR(volume(MakeCylinder(1, 2, 64, 0, t)), 3.14159 * 2, 0.02);
    // Each triangle's normal agrees with its winding.
    for (const GeoMaterial& m :
         {MakeBox(1, 1, 1, 1, 0, t), MakeCylinder(1, 1, 8, 0, t), MakeGroundPlane(2, 2, 2, 0, t)})
        for (size_t i = 0; i < m.triangles.size(); i += 3) {
            const GeoVertex &a = m.triangles[i], &b = m.triangles[i + 1], &c = m.triangles[i + 2];
            const float e1[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, e2[3] = {c.x - a.x, c.y - a.y, c.z - a.z};
            const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                e1[0] * e2[1] - e1[1] * e2[0]};
            EXPECT_GT(n[0] * a.nx + n[1] * a.ny + n[2] * a.nz, 0.0f) << i;
        }
    // The ground plane faces -y.
    EXPECT_FLOAT_EQ(MakeGroundPlane(2, 2, 1, 0, t).triangles[0].ny, -1.0f);
}

TEST(GeometryWriter, PlacedPartsTurnAndMoveWithTheirNormals) {
    const float quarterZ[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};  // x -> y, y -> -x
    const GeoMaterial m = Placed(MakeBox(1, 2, 3, 1, 0, Solid(0)), quarterZ, 10, 0, 0);
    float lo = 1e9f, hi = -1e9f;
    for (const GeoVertex& v : m.triangles) lo = std::min(lo, v.x), hi = std::max(hi, v.x);
    EXPECT_FLOAT_EQ(lo, 8.0f);  // the box's y extent (2) now runs along x, around 10
    EXPECT_FLOAT_EQ(hi, 12.0f);
    for (const GeoVertex& v : m.triangles) {
        const float len = std::sqrt(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz);
        EXPECT_NEAR(len, 1.0f, 1e-6);
    }
    GeoMaterial a = MakeBox(1, 1, 1, 1, 0, Solid(0));
    Append(a, MakeBox(1, 1, 1, 1, 0, Solid(0)));
    EXPECT_EQ(a.triangles.size(), 72u);
}

// ---- drawing -----------------------------------------------------------------------------------------

class GeometryDrawing : public enginetest::View3DTest {
protected:
    void SetUp() override {
        View3DTest::SetUp();
        veLightReset();
    }
    void TearDown() override {
        veLightReset();
        View3DTest::TearDown();
    }
    // Draws `b` at a translation with display mode `mode`; the frame's DMA then runs.
    void DrawAt(Block& b, float x, float y, float z, uint32_t mode = 0) {
        DrawAndRun([&] {
            veDisplaySetMode(mode);
            Place(x, y, z);
            veEngineDrawGeometry(b.as<_FS_GEO_HEADER>());
        });
    }
    static Block Make(const GeoMesh& mesh) {
        Block b(WriteGeometry(mesh));
        EXPECT_EQ(veEngineLoadGeo(b.as<_FS_GEO_HEADER>(), b.size), 1);
        return b;
    }
    static constexpr uint32_t kBack = 0x800000u;
};

TEST_F(GeometryDrawing, LightingFollowsTheLightDirection) {
    GeoMesh mesh;
    mesh.geoType = kGeoFamily16;  // lit
    mesh.materials.push_back(MakeBox(1, 1, 1, 1, 0, Solid(0x80808080)));
    Block b = Make(mesh);
    const _ve_vector3d red = {128, 0, 0, 0}, none = {0, 0, 0, 0}, blue = {0, 0, 32, 0};
    veLightSetColor(0, &red);
    veLightSetColor(1, &none);
    veLightSetColor(2, &none);
    veLightSetAmbient(&blue);
    veLightCreateLightColorMatrix();
    // Light travelling away from the camera (+z) falls on the face that looks at the camera (red 128 +
    // ambient blue 32); from behind only the ambient shows; at 60 degrees to the normal, half the light.
    // Moved left, the box shows its +x face (x 149.3 to 180.4 on screen), lit by a light along -x, next
    // to its unlit near face.
    const struct {
        _ve_vector3d dir;
        float at;
        int x;
        uint32_t rgb;
    } cases[] = {{{0, 0, 1, 0}, 0, 320, 0x200080u},
                 {{0, 0, -1, 0}, 0, 320, 0x200000u},
                 {{0.8660254f, 0, 0.5f, 0}, 0, 320, 0x200040u},
                 {{-1, 0, 0, 0}, -4, 165, 0x200080u},
                 {{-1, 0, 0, 0}, -4, 120, 0x200000u}};
    _matrix4 n;
    M4_Identity(&n);
    for (const auto& c : cases) {
        veLightSetLightDirection(0, &c.dir);
        veLightCreateNormalizedLightMatrix(&n);
        DrawAt(b, c.at, 0, 10);
        const uint32_t got = Rgb(FramePixel(c.x, 224));
        EXPECT_NEAR(double(got & 0xFF), double(c.rgb & 0xFF), 1.0) << c.dir.x << " " << c.x;
        EXPECT_EQ(got & 0xFFFF00u, c.rgb & 0xFFFF00u) << c.dir.x << " " << c.x;
    }
}

// Display modes pick the culling, clipping and recolouring programs (what each program draws is
// tested in engine/vu1); the colour row the engine sends reaches the program.
TEST_F(GeometryDrawing, DisplayModesSelectTheirPrograms) {
    GeoMesh mesh;
    mesh.geoType = kGeoFamily16 | kGeoPreLit | kGeoAlwaysCull;
    mesh.materials.push_back(MakeBox(1, 1, 1, 1, 0x80808080, Solid(0x80C8C8C8)));
    Block culled = Make(mesh);
    mesh.geoType = kGeoFamily16 | kGeoPreLit;
    Block plain = Make(mesh);
    const _RGBA_GEO scale = {0.5f, 1.0f, 0.25f, 1.0f}, over = {64, 128, 32, 128};
    veEngineSetGeoRGBAScale(&scale);
    veEngineSetGeoRGBAOverWrite(&over);
    struct Case {
        Block* block;
        uint32_t mode;
        const void* program;
        uint32_t centre;
    };
    // Scale mode makes the vertex colour 128 (64, 128, 32), which halves red and quarters blue of the
    // texel 200; overwrite mode gives every vertex that colour itself.
    const uint32_t recoloured = 100u | (200u << 8) | (50u << 16), texel = 0xC8C8C8u;
    const Case cases[] = {
        {&culled, 0, &vuPreLit16, texel},
        {&culled, 0x40000, &vuPreLitTCull16, texel},
        {&culled, 0x80000, &vuPreLitTClip16, texel},
        {&plain, 0x400000, &vuRGBAScale16ObjectCull, recoloured},
        {&plain, 0x800000, &vuRGBAOverWrite16ObjectCull, recoloured},
    };
    for (const Case& c : cases) {
        DrawAt(*c.block, 0, 0, 10, c.mode);
        EXPECT_EQ(veEngineCurrentMicroCode, c.program) << std::hex << c.mode;
        EXPECT_EQ(Rgb(FramePixel(320, 224)), c.centre) << std::hex << c.mode;
    }
    const _RGBA_GEO one = {1, 1, 1, 1}, full = {128, 128, 128, 128};
    veEngineSetGeoRGBAScale(&one);
    veEngineSetGeoRGBAOverWrite(&full);
}

}  // namespace
