// A world file damaged on the disc. Damage the readers cannot tell from a world built that way is
// harmless by design and taken without a word: an emptied detail bitmap (a world may have none), the
// reserved bytes of a height row, the geometry header before a low-detail block's packet count (the
// terrain path reads only the count and the packets), a pixel of a colour bitmap, a terrain-map code
// (every byte value names a surface, an off-track kind or a checkpoint). Damage that breaks a record is
// refused with one line naming it.
#include <gtest/gtest.h>

#include <string>

#include "race/scene/subtile_view.h"
#include "support/log_capture.h"
#include "support/world_view_scene.h"
#include "world/terrain_low_detail.h"
#include "world/terrain_map_format.h"
#include "world/world_fixture.h"

namespace {

using testsupport::WorldViewScene;

WorldDescription TestWorld() {
    WorldDescription w =
        worldtest::MakeWorld(2, 50, [](int x, int z) { return uint16_t(2000 + 7 * x + 3 * z); });
    const int side = 2 * worldfile::kTileCells;
    for (int t = 0; t < 4; ++t)
        for (int k = 0; k < 16; ++k) {
            uint16_t block[56 * 56];
            const int x0 = (t % 2) * 224 + (k % 4) * 56, z0 = (t / 2) * 224 + (k / 4) * 56;
            for (int r = 0; r < 56; ++r)
                for (int c = 0; c < 56; ++c)
                    block[r * 56 + c] = w.heights[size_t(z0 + r) * side + size_t(x0 + c)];
            w.lowDetail.push_back(lowdetail::Build(block, 5));
        }
    return w;
}

// The log of loading a world without its heap figures, and what the checks below look at.
struct Loaded {
    std::string log;
    bool detail = false;
    uint32_t packets = 0;
    float heights[3] = {};
};

Loaded Load(const std::vector<uint8_t>& image) {
    // The first scene boots the engine, which takes the log back from any capture: boot first.
    static const bool booted = [&] {
        WorldViewScene warm(image, TRACKTYPE_OUTDOOR);
        return true;
    }();
    (void)booted;
    testsupport::LogCapture capture;
    WorldViewScene s(image, TRACKTYPE_OUTDOOR);
    Loaded l;
    for (size_t at = 0; at < capture.text().size();) {
        const size_t end = capture.text().find('\n', at);
        const std::string line = capture.text().substr(at, end - at);
        if (line.find("Mem =") == std::string::npos) l.log += line + "\n";
        at = end == std::string::npos ? capture.text().size() : end + 1;
    }
    l.detail = CSubtileModel::detailBitmap != nullptr;
    const _FS_GEO_HEADER* lod1 = s.worldView->stvList[0]->lod1;
    l.packets = lod1 ? lowdetail::PacketCount(lod1) : 0;
    const float at[3][2] = {{60, 70}, {3000, 9000}, {20000, 21000}};
    for (int i = 0; i < 3; ++i) l.heights[i] = s.world->getHeightAt(at[i][0], at[i][1]);
    return l;
}

TEST(DamagedWorldFile, HarmlessDamageIsTakenWithoutAWordAndChangesNothingElse) {
    const WorldDescription w = TestWorld();
    const std::vector<uint8_t> good = WriteWorldFile(w);
    WorldImageMap map;
    ASSERT_TRUE(MapWorldImage(good, &map));
    const Loaded base = Load(good);
    ASSERT_TRUE(base.detail);
    ASSERT_GT(base.packets, 0u);

    {  // The detail bitmap emptied: a world without a detail texture.
        WorldDescription d = w;
        d.detailBitmap.clear();
        const Loaded l = Load(WriteWorldFile(d));
        EXPECT_EQ(l.log, base.log);
        EXPECT_FALSE(l.detail);
    }
    {  // The reserved bytes of the first row of the first subtile and of one in the middle of the tile.
        std::vector<uint8_t> image = good;
        for (uint32_t row : {0u, 8u * 56u})
            for (uint32_t b = 0; b < 4; ++b) image[map.firstTile + row * worldfile::kRowBytes + b] = 0xFF;
        const Loaded l = Load(image);
        EXPECT_EQ(l.log, base.log);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(l.heights[i], base.heights[i]);
    }
    {  // The geometry header's first word of a low-detail block: only its count and packets are read.
        WorldDescription d = w;
        for (int b = 0; b < 4; ++b) d.lowDetail[0][static_cast<size_t>(b)] = 0xFF;
        const Loaded l = Load(WriteWorldFile(d));
        EXPECT_EQ(l.log, base.log);
        EXPECT_EQ(l.packets, base.packets);
    }
    {  // A colour bitmap's last pixel byte: an 8-bit pixel names one of the 256 palette entries whatever it
       // is.
        WorldDescription d = w;
        d.colourBitmaps[0].back() ^= 0xFF;
        EXPECT_EQ(Load(WriteWorldFile(d)).log, base.log);
    }
}

TEST(DamagedWorldFile, BrokenRecordsAreRefusedWithALine) {
    const WorldDescription w = TestWorld();
    {  // The detail bitmap cut in half.
        WorldDescription d = w;
        d.detailBitmap.resize(d.detailBitmap.size() / 2);
        const Loaded l = Load(WriteWorldFile(d));
        EXPECT_NE(l.log.find("texture sub-file"), std::string::npos) << l.log;
        EXPECT_FALSE(l.detail);
    }
    {  // A low-detail packet count set huge: the subtile is drawn at full detail only.
        WorldDescription d = w;
        for (int b = 0; b < 4; ++b) d.lowDetail[0][lowdetail::kCountAt + static_cast<size_t>(b)] = 0xFF;
        const Loaded l = Load(WriteWorldFile(d));
        EXPECT_NE(l.log.find("subtile 0: low-detail terrain refused"), std::string::npos) << l.log;
        EXPECT_EQ(l.packets, 0u);
    }
}

// The terrain map: a row offset set to 0xFFFFFFFF is refused; a code byte changed is a different surface.
TEST(DamagedWorldFile, TerrainMapOffsetsAreCheckedAndEveryCodeIsASurface) {
    std::vector<uint8_t> map = terrainmap::WriteMap(worldtest::Grid(2));
    ASSERT_TRUE(terrainmap::CheckMap(map.data(), map.size()).ok);
    std::vector<uint8_t> offset = map;
    for (int b = 0; b < 4; ++b) offset[static_cast<size_t>(4 * 200 + b)] = 0xFF;  // cell 1 row 88
    testsupport::LogCapture log;
    EXPECT_FALSE(terrainmap::CheckMap(offset.data(), offset.size()).ok);
    EXPECT_EQ(log.text(), "terrain map: cell 1 row 88 starts at 4294967295, past the " +
                              std::to_string(map.size() - terrainmap::kRowTableBytes) +
                              " bytes of run data\n");
    log.clear();
    // Every row shares the one run list: its first code byte changed changes every position's code.
    std::vector<uint8_t> code = map;
    code[terrainmap::kRowTableBytes + 1] = 0xFF;
    EXPECT_TRUE(terrainmap::CheckMap(code.data(), code.size()).ok);
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(terrainmap::CodeAt(code.data(), 0, 0), 0xFF);
}

}  // namespace
