// The world file: the writer's layout read back by the checker, the container's edge cases, and one
// refusal per field class, each made by patching a named field of a written world.
#include "world/world_file_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "game/files/master_file_format.h"
#include "support/heap_image.h"
#include "support/image_patch.h"
#include "support/log_capture.h"
#include "world_fixture.h"

namespace {

using testsupport::Peek;
using testsupport::Poke;

WorldCheck Check(const std::vector<uint8_t>& img) {
    testsupport::HeapImage copy(img);  // exact length on the heap: ASan sees any read past it
    return CheckWorldFile(copy.p, static_cast<uint32_t>(copy.size));
}

uint32_t BlockCount(const WorldLayout& l) {
    return static_cast<uint32_t>(l.numObjects * l.numTiles * 16);
}

TEST(WorldFileFormat, WriterLayoutReadsBackAndContainerEdgeCases) {
    const auto img = worldtest::Flat(3, 1000);
    WorldImageMap map;
    ASSERT_TRUE(MapWorldImage(img, &map));
    const WorldLayout& l = map.layout;
    EXPECT_EQ(l.numTiles, 9);
    EXPECT_EQ(l.numObjects, 4);
    EXPECT_EQ(l.gates, 2);
    // Placements follow the 80-byte header; the cameras the last block; the splines the ending record.
    EXPECT_EQ(l.camerasOffset, worldfile::kHeaderSize + 16 * BlockCount(l) + 5 * 32);
    EXPECT_EQ(l.splineOffset, l.camerasOffset + 3 * worldfile::kCameraSize);
    const auto h = Peek<_wlb_file>(img, map.main);
    for (int t = 0; t < 16; ++t) EXPECT_EQ(h.worldMap[t].row, t < 9 ? t / 3 : 0xFFFF) << t;
    // The two hay bales (description 3) share the block of subtile (1, 0) of tile 0, after the three
    // single records of the other descriptions.
    EXPECT_EQ(Peek<uint32_t>(img, map.main + 80 + 16 * (3 * 9 * 16 + 1) + 3 * 32), 2u);
    // Heights: sample (c, r) of subtile (j, k) at k * 28672 + j * 7168 + 16 * (r + 1) + 112 * r + 2 c.
    std::vector<uint8_t> ramp = WriteWorldFile(
        worldtest::MakeWorld(2, 2, [](int x, int z) { return static_cast<uint16_t>(x + 1000 * (z % 7)); }));
    ASSERT_TRUE(MapWorldImage(ramp, &map));
    const uint32_t tile3 = map.firstTile + 3 * worldfile::kTileBytes;  // tile (1, 1)
    EXPECT_EQ(Peek<uint16_t>(ramp, tile3 + 2 * 28672 + 1 * 7168 + 5 * 128 + 16 + 2 * 9),
              224 + 56 + 9 + 1000 * ((224 + 112 + 5) % 7));

    EXPECT_TRUE(Check(worldtest::Flat(4, 0)).ok);  // a 16-entry tile list needs no end marker
    // A type record with count 0 covers one description: the last record of the fixture does.
    auto w = worldtest::MakeWorld(2, 1, [](int, int) { return uint16_t(0); });
    w.descriptions.push_back(w.descriptions.back());  // a fifth description no record covers
    EXPECT_STREQ(Check(WriteWorldFile(w)).why, "type records do not cover every description");
    // No cameras: the splines start 48 bytes after the last block.
    w.descriptions.pop_back();
    w.cameras.clear();
    const WorldCheck c = Check(WriteWorldFile(w));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.layout.splineOffset, c.layout.camerasOffset + 48);
    // 24 gates pass, 25 do not.
    for (int gates : {24, 25}) {
        w.typeTable = {MakeTypeRecord(1, worldfile::kKindGate, static_cast<uint8_t>(gates), 1, 0, 1)};
        w.descriptions.assign(static_cast<size_t>(gates), w.descriptions.front());
        w.placements.clear();
        EXPECT_EQ(Check(WriteWorldFile(w)).ok, gates == 24) << gates;
    }
    w.colourBitmaps.pop_back();  // the writer refuses what it cannot lay out
    EXPECT_TRUE(WriteWorldFile(w).empty());
}

// One malformed world per field class, each a named field of a written world patched.
TEST(WorldFileFormat, MalformedWorldsAreRefusedWithOneLogLine) {
    const auto good = worldtest::Flat(2, 500);
    WorldImageMap map;
    ASSERT_TRUE(MapWorldImage(good, &map));
    const uint32_t n = Peek<uint32_t>(good, 0);
    const uint32_t labels = masterfile::LabelTableOffset(n);
    const uint32_t firstTileEntry =
        masterfile::EntryOffset(Peek<uint32_t>(good, labels + 4 * worldfile::kLabelTiles));
    const uint32_t firstCamera = map.main + map.layout.camerasOffset;
    struct Case {
        const char* field;
        std::function<void(std::vector<uint8_t>&)> patch;
        const char* why;
    };
    const uint32_t lastCamera = map.main + map.layout.mainLength;
    // clang-format off
    const Case cases[] = {
        {"numObjects", [&](auto& i) { Poke(i, map.main + offsetof(_wlb_file, numObjects), uint8_t(9)); }, "label table lacks the object descriptions"},
        {"placement count", [&](auto& i) { Poke(i, map.main + 80 + offsetof(_PlacementBlock, count), uint32_t(0x08000000)); }, "placement records past the end"},
        {"no tiles", [&](auto& i) { Poke(i, map.main + offsetof(_wlb_file, worldMap), uint16_t(0xFFFF)); }, "tile count is not 4, 9 or 16"},
        {"tile order", [&](auto& i) { Poke(i, map.main + offsetof(_wlb_file, worldMap) + 4, _TileCoord{0, 1}); }, "tile list not row by row and complete"},
        {"tile length", [&](auto& i) { Poke(i, firstTileEntry, Peek<uint32_t>(i, firstTileEntry) | 2u); }, "tile heights not 114688 bytes"},
        {"colour depth", [&](auto& i) { Poke(i, map.firstColour + offsetof(_FS_BITMAP, bitsPerPixel), uint16_t(4)); }, "subtile colour bitmap not an 8-bit palettised image"},
        {"camera end", [&](auto& i) { for (uint32_t at = firstCamera + 32; at + 4 <= lastCamera; at += 48) Poke(i, at, uint32_t(2)); }, "camera list has no end"},
        {"bonus type", [&](auto& i) { Poke(i, map.bonuses + 4 * 2, int32_t(10)); }, "bonus type unknown"},
        {"labels out of order", [&](auto& i) { Poke(i, labels, n); Poke(i, labels + 4, uint32_t(0)); }, "label 0 needs header, type table and bonuses"},
    };
    // clang-format on
    testsupport::LogCapture log;
    for (const Case& c : cases) {
        auto img = good;
        c.patch(img);
        testsupport::HeapImage copy(img);
        log.clear();
        EXPECT_FALSE(ValidateWorldFile(copy.p, static_cast<uint32_t>(copy.size), "o01.bin")) << c.field;
        EXPECT_EQ(log.text(), std::string("world o01.bin refused: ") + c.why + "\n") << c.field;
    }
    // Every truncation is refused without a read past the end.
    for (uint32_t cut : {0u, 8u, map.main + 40, map.main + map.layout.splineOffset, map.firstColour + 10,
                         static_cast<uint32_t>(good.size()) - 16}) {
        testsupport::HeapImage copy(good, cut);
        EXPECT_FALSE(CheckWorldFile(copy.p, cut).ok) << cut;
    }
}

// A placement must stand over the terrain: x and z inside the tile grid, y within a world's width of the
// heights' span. The edges themselves pass; the world is refused with one line naming the file.
TEST(WorldFileFormat, PlacementsOutsideTheWorldAreRefused) {
    const auto good = worldtest::Flat(2, 500);  // 2 x 2 tiles of grid 1: 448 units a side, scaleY 100
    WorldImageMap map;
    ASSERT_TRUE(MapWorldImage(good, &map));
    // The first record: after the first block whose count is not 0.
    uint32_t at = map.main + worldfile::kHeaderSize;
    while (Peek<uint32_t>(good, at) == 0) at += worldfile::kBlockHeaderSize;
    const uint32_t record = at + worldfile::kBlockHeaderSize;
    struct Case {
        float x, y, z;
        bool ok;
    };
    const float side = 448.0f, top = -100.0f * 100.0f - side;
    const Case cases[] = {
        {0.0f, 0.0f, 0.0f, true},          {side, top, side, true},
        {side, side, 0.0f, true},          {1e30f, -1e30f, 1e30f, false},
        {-0.5f, -10.0f, 10.0f, false},     {10.0f, -10.0f, side + 1.0f, false},
        {10.0f, top - 1.0f, 10.0f, false}, {10.0f, side + 1.0f, 10.0f, false},
    };
    testsupport::LogCapture log;
    for (const Case& c : cases) {
        auto img = good;
        Poke(img, record, c.x);
        Poke(img, record + 4, c.y);
        Poke(img, record + 8, c.z);
        testsupport::HeapImage copy(img);
        log.clear();
        EXPECT_EQ(ValidateWorldFile(copy.p, static_cast<uint32_t>(copy.size), "WORLD\\i03.bin"), c.ok)
            << c.x << " " << c.y << " " << c.z;
        EXPECT_EQ(log.text(),
                  c.ok ? "" : "world WORLD\\i03.bin refused: placement outside the world's bounds\n")
            << c.x << " " << c.y << " " << c.z;
    }
}

}  // namespace
