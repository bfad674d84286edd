#include "engine/hal/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "console/mem/addr.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry_format.h"
#include "engine/hal/microcode.h"
#include "engine/hal/prim.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "engine_fixture.h"
#include "support/heap_image.h"
#include "support/image_patch.h"

namespace {

using enginetest::EngineTest;

// A block of `materials` materials, each one pre-lit triangle and an 8 x 8 8-bit texture with a
// 16-colour palette whose bytes are all the material's number.
std::vector<uint8_t> TinyBlock(int materials, uint16_t geoType = kGeoFamily16 | kGeoPreLit) {
    GeoMesh mesh;
    mesh.geoType = geoType;
    for (int m = 0; m < materials; ++m) {
        GeoMaterial mat;
        mat.materialId = m;
        for (int v = 0; v < 3; ++v) mat.triangles.push_back({float(v == 1), float(v == 2)});
        mat.texture.width = mat.texture.height = 8;
        mat.texture.pixels.assign(64, static_cast<uint8_t>(m));
        mat.texture.palette.assign(16, 0x01010101u * static_cast<uint32_t>(m));
        mesh.materials.push_back(mat);
    }
    return WriteGeometry(mesh);
}

using Mem = testsupport::HeapImage;

using testsupport::Poke;

// Each corrupted image is refused with a log line naming the fault.
TEST_F(EngineTest, CorruptBlocksAreRefusedWithALogLine) {
    const std::vector<uint8_t> good = TinyBlock(2);
    EXPECT_EQ(veEngineCheckGeo(Mem(good).p, good.size()), 1);
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
    };
    std::vector<Case> cases;
    auto with = [&](const char* what, auto edit) {
        std::vector<uint8_t> v = good;
        edit(v);
        cases.push_back({what, v});
    };
    const size_t mat0 = 160, info0 = 160 + 32, tableAt = good.size() - 4 * 4 - 2 * (64 + 64 + 64);
    with("shorter than its header", [](auto& v) { v.resize(100); });
    with("material count", [](auto& v) { Poke<int32_t>(v, 8, -1); });
    with("material count", [](auto& v) { Poke<int32_t>(v, 8, 5000); });
    with("past the end", [](auto& v) { Poke<int32_t>(v, 8, 40); });  // more records than the image holds
    with("packet of", [&](auto& v) { Poke<uint32_t>(v, mat0 + 16, 0x100000); });
    with("subpackets", [&](auto& v) { Poke<uint32_t>(v, mat0 + 8, 1000); });
    with("does not fit", [&](auto& v) { Poke<int32_t>(v, info0, 4000); });
    with("does not fit", [&](auto& v) { Poke<int32_t>(v, info0, 24); });
    with("geometry offset", [&](auto& v) { Poke<int32_t>(v, info0 + 4, 9000); });
    with("execute offset", [&](auto& v) { Poke<int32_t>(v, info0 + 8, 9000); });
    with("no-operations", [&](auto& v) { Poke<int32_t>(v, info0 + 12, 0x6C000000); });
    with("material table", [](auto& v) { Poke<uint32_t>(v, 12, 0xFFFFFF00u); });
    with("overlaps", [](auto& v) { Poke<uint32_t>(v, 12, 200); });
    with("bits per pixel", [&](auto& v) { Poke<uint16_t>(v, tableAt + 16 + 12, 12); });
    with("out of range", [&](auto& v) { Poke<uint32_t>(v, tableAt + 16, 100000); });
    with("colours", [&](auto& v) { Poke<uint32_t>(v, tableAt + 16 + 8, 300); });
    with("data past the end", [&](auto& v) { Poke<uint32_t>(v, tableAt + 16 + 4, 512); });
    // The last bitmap: palettised pixels must be 4 or 8 bits; a pixel offset of 2 puts the palette off a
    // 4-byte boundary.
    const size_t lastBitmap = good.size() - (64 + 64 + 64);
    with("palettised at 16 bits", [&](auto& v) { Poke<uint16_t>(v, lastBitmap + 12, 16); });
    with("not 4-byte aligned", [&](auto& v) { Poke<uint32_t>(v, lastBitmap + 48, 2); });
    with("not an offset", [&](auto& v) { Poke<uint32_t>(v, tableAt + 16 + 48, 0x48000000); });
    with("vertex information", [](auto& v) { Poke<uint32_t>(v, 24, 0x7FFFFFF0); });
    with("not a number", [](auto& v) { Poke<float>(v, 40, __builtin_nanf("")); });
    with("bone count", [](auto& v) {
        Poke<uint16_t>(v, 0, kGeoFamily16 | kGeoSkeleton);
        Poke<uint32_t>(v, 160, 1000);
    });
    for (const Case& c : cases) {
        Mem m(c.image);
        enginetest::g_log.clear();
        EXPECT_EQ(veEngineCheckGeo(m.p, m.size), 0) << c.what;
        for (const char* word : {"veEngineCheckGeo", c.what, "refused"})
            EXPECT_NE(enginetest::g_log.find(word), std::string::npos) << word << ": " << enginetest::g_log;
        // Refused blocks are left as they were.
        EXPECT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 0);
        EXPECT_EQ(std::memcmp(m.p, c.image.data(), m.size), 0) << c.what;
    }
}

// A block that stays loaded (a master file kept from race to race) is given back by its last user and
// prepared again by the next: the second preparation must find it as loaded and leave it exactly as the
// first did. Materials with a palette, without one (16-bit), and with an extension block before the
// pixels (a pixel offset that is not 0).
TEST_F(EngineTest, APreparedBlockGivenBackIsCheckedAndPreparedAgainAlike) {
    GeoMesh mesh;
    mesh.geoType = kGeoFamily16 | kGeoPreLit;
    for (int m = 0; m < 3; ++m) {
        GeoMaterial mat;
        mat.materialId = m;
        for (int v = 0; v < 3; ++v) mat.triangles.push_back({float(v == 1), float(v == 2)});
        mat.texture.width = mat.texture.height = 8;
        if (m == 1) {
            mat.texture.bitsPerPixel = 16;
            mat.texture.pixels.assign(128, 0x5A);
        } else {
            mat.texture.pixels.assign(64, static_cast<uint8_t>(m));
            mat.texture.palette.assign(256, 0x01010101u * static_cast<uint32_t>(m + 1));
        }
        if (m == 2) mat.texture.extension.assign(48, 0xEE);
        mesh.materials.push_back(mat);
    }
    const std::vector<uint8_t> file = WriteGeometry(mesh);
    Mem m(file);
    auto* block = m.as<_FS_GEO_HEADER>();
    ASSERT_EQ(veEngineLoadGeo(block, m.size), 1);
    const std::vector<uint8_t> prepared(m.p, m.p + m.size);
    // Prepared, the block no longer passes the check: the fault a restarted race met.
    enginetest::g_log.clear();
    EXPECT_EQ(veEngineCheckGeo(block, m.size), 0);
    EXPECT_NE(enginetest::g_log.find("refused"), std::string::npos);

    veEngineUninitGeo(block);
    EXPECT_EQ(block->vertexInfoOffset,
              reinterpret_cast<const _FS_GEO_HEADER*>(file.data())->vertexInfoOffset);
    for (int round = 0; round < 3; ++round) {
        enginetest::g_log.clear();
        ASSERT_EQ(veEngineLoadGeo(block, m.size), 1) << round << ": " << enginetest::g_log;
        EXPECT_EQ(std::memcmp(m.p, prepared.data(), m.size), 0) << round;
        veEngineUninitGeo(block);
    }
    // Given back, it differs from the file at most in the words preparation writes whatever they hold:
    // the material slots and the palette addresses.
    std::vector<size_t> rewritten;
    for (int k = 0; k < 3; ++k) {
        uint32_t slot;
        std::memcpy(&slot, prepared.data() + block->materialOffset + 4 * k, 4);
        rewritten.push_back(block->materialOffset + 4u * k);
        rewritten.push_back(slot - Addr32(m.p) + offsetof(_FS_BITMAP, coldata));
    }
    for (size_t k = 0; k + 4 <= m.size; k += 4) {
        if (std::memcmp(m.p + k, file.data() + k, 4) != 0) {
            EXPECT_NE(std::find(rewritten.begin(), rewritten.end(), k), rewritten.end()) << "word at " << k;
        }
    }
}

class GeometryQueue : public enginetest::View3DTest {
protected:
    // Loads `m` and starts a frame with it placed at z = 10.
    void Start(Mem& m) {
        ASSERT_EQ(veEngineLoadGeo(m.as<_FS_GEO_HEADER>(), m.size), 1);
        veEngineBeginFrame();
        Place(0, 0, 10);
    }
};

TEST_F(GeometryQueue, BoundingBoxModeDrawsTwelveEdgesAndScaleStaysUntilReset) {
    Mem m(TinyBlock(1));
    m.as<_FS_GEO_HEADER>()->scaleXYZ = 2.0f;
    Start(m);
    vePrimSendBuffers();
    const uint8_t* before = vePrimBuild->ptr;
    veDisplaySetMode(0x2000000);
    veEngineDrawGeometry(m.as<_FS_GEO_HEADER>());
    // Each edge is one line packet: unpack, two header quadwords, the GIF tag, the vertex unpack, two
    // vertices of three quadwords, the call; the render environment, the projection and a packet tag
    // may come ahead of them (at most three 208-byte records).
    const size_t linePacket = 16 * (5 + 6);
    const size_t grown = static_cast<size_t>(vePrimBuild->ptr - before);
    EXPECT_GE(grown, 12 * linePacket);
    EXPECT_LE(grown, 12 * linePacket + 3 * 208);
    // Family 16 blocks scale the local-to-world until it is reset.
    EXPECT_FLOAT_EQ(veEngineLocalToWorld->M[0], 2.0f);
    EXPECT_FLOAT_EQ(veEngineLocalToWorld->M[14], 10.0f);
    veEngineReSetLocalToWorld();
    EXPECT_FLOAT_EQ(veEngineLocalToWorld->M[0], 1.0f);
    veEngineEndFrame();
}

}  // namespace
