// Terrain types: the map writer's runs, the lookup's scaling by tile count and its edges, checkpoints,
// and maps refused when attached.
#include "world/terrain_type.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support/heap_image.h"
#include "support/image_patch.h"
#include "support/log_capture.h"
#include "world/terrain_map_format.h"

namespace {

using terrainmap::kRowTableBytes;
using terrainmap::kSide;
using testsupport::HeapImage;

// Every half-unit position gets its own mix of x and z, so a lookup that lands one position off, or in a
// neighbouring cell, reads another code. Codes stay below 108 (surfaces and off-track codes).
uint8_t Pattern(uint32_t x, uint32_t z) {
    return static_cast<uint8_t>((x * 7u + z * 13u) % 101u);
}

const std::vector<uint8_t>& PatternGrid() {
    static const std::vector<uint8_t> grid = [] {
        std::vector<uint8_t> g(size_t(kSide) * kSide);
        for (uint32_t z = 0; z < kSide; ++z)
            for (uint32_t x = 0; x < kSide; ++x) g[size_t(z) * kSide + x] = Pattern(x, z);
        return g;
    }();
    return grid;
}

struct Attached {
    explicit Attached(const std::vector<uint8_t>& map, int numTiles = 16, int gridSize = 4)
        : image(map), ok(CTerrainType::getInstance()->setPointer(image.p, image.size, numTiles, gridSize)) {}
    ~Attached() { CTerrainType::resetStatics(); }
    TypeList at(float x, float z) const { return CTerrainType::getInstance()->getTypeAtPoint(x, z); }
    HeapImage image;
    bool ok;
};

TEST(TerrainMapTest, WrittenGridReadsBackAtEveryPosition) {
    const auto map = terrainmap::WriteMap(PatternGrid());
    HeapImage image(map);
    ASSERT_TRUE(terrainmap::CheckMap(image.p, image.size));
    int wrong = 0;
    for (uint32_t z = 0; z < kSide; ++z)
        for (uint32_t x = 0; x < kSide; ++x) wrong += terrainmap::CodeAt(image.p, x, z) != Pattern(x, z);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(terrainmap::WriteMap(std::vector<uint8_t>(100)).empty());
}

TEST(TerrainMapTest, RunsCoverColumnsAsTheRowTableSays) {
    // A uniform map is one shared pair (111, code): the first pair covers run + 1 columns.
    const auto uniform = terrainmap::WriteMap(std::vector<uint8_t>(size_t(kSide) * kSide, grass));
    ASSERT_EQ(uniform.size(), kRowTableBytes + 2u);
    EXPECT_EQ(testsupport::Peek<uint8_t>(uniform, kRowTableBytes), 111);
    EXPECT_EQ(testsupport::Peek<uint8_t>(uniform, kRowTableBytes + 1), grass);

    // Every row hardpack for columns 0-10 and loam for 11-111: the pairs (10, 0), (101, 2).
    std::vector<uint8_t> grid(size_t(kSide) * kSide, loam);
    for (size_t i = 0; i < grid.size(); ++i)
        if (i % 112 <= 10) grid[i] = hardpack;
    const auto split = terrainmap::WriteMap(grid);
    ASSERT_EQ(split.size(), kRowTableBytes + 4u);
    EXPECT_EQ(std::vector<uint8_t>(split.begin() + kRowTableBytes, split.end()),
              (std::vector<uint8_t>{10, hardpack, 101, loam}));
    Attached a(split, 16, 1);
    ASSERT_TRUE(a.ok);
    const struct {
        float x;
        TypeList code;
    } cases[] = {{0.0f, hardpack}, {5.4f, hardpack}, {5.5f, loam}, {55.9f, loam}, {56.0f, hardpack}};
    for (const auto& c : cases) EXPECT_EQ(a.at(c.x, 300.0f), c.code) << c.x;
}

TEST(TerrainTypeTest, WorldPointsScaleByTileCountOntoTheMap) {
    const auto map = terrainmap::WriteMap(PatternGrid());
    // Expected half-unit positions worked out by hand: x / gridSize, x 2 (4 tiles), x 1.33333 (9 tiles).
    const struct {
        int tiles, grid;
        float x, z;
        uint32_t hx, hz;
    } cases[] = {
        {4, 3, 447.0f * 3, 447.0f * 3, 1788, 1788},  // cell 255, row 108, column 108
        {4, 3, 0.0f, 0.0f, 0, 0},
        {4, 2, 100.3f, 20.0f, 200, 40},
        {9, 2, 2.0f * 300.0f, 2.0f * 10.0f, 799, 26},  // 399.999 and 13.3333 map units
        {9, 5, 5.0f * 671.9f, 0.0f, 1791, 0},          // 895.866
        {16, 4, 4.0f * 895.75f, 4.0f * 0.25f, 1791, 0},
        {16, 4, -0.2f * 4, -0.2f * 4, 0,
         0},  // less than half a unit west and north: still the first position
    };
    for (const auto& c : cases) {
        Attached a(map, c.tiles, c.grid);
        ASSERT_TRUE(a.ok);
        EXPECT_EQ(a.at(c.x, c.z), Pattern(c.hx, c.hz)) << c.tiles << " tiles at " << c.x << ", " << c.z;
    }
}

TEST(TerrainTypeTest, PointsOffTheMapAnswerOutOfBounds) {
    const auto map = terrainmap::WriteMap(PatternGrid());
    Attached a(map, 16, 1);
    ASSERT_TRUE(a.ok);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // East of the map in row 0 would read cell 16, which is row 1's first cell; west of the map would read
    // the row's first run: both are off the map.
    const struct {
        float x, z;
    } cases[] = {{896.0f, 10.0f}, {900.0f, 10.0f}, {10.0f, 896.0f}, {895.9f, 1000.0f},
                 {-0.5f, 10.0f},  {-30.0f, 10.0f}, {-60.0f, 10.0f}, {10.0f, -0.5f},
                 {1e30f, 0.0f},   {nan, 0.0f},     {0.0f, nan}};
    for (const auto& c : cases) EXPECT_EQ(a.at(c.x, c.z), outOfBounds) << c.x << ", " << c.z;
    EXPECT_EQ(a.at(895.9f, 895.9f), Pattern(1791, 1791));
}

TEST(TerrainTypeTest, CheckpointsAndTheDetachedState) {
    CTerrainType::resetStatics();
    EXPECT_EQ(CTerrainType::getInstance()->getTypeAtPoint(10.0f, 10.0f), outOfBounds);  // nothing attached
    EXPECT_EQ(CTerrainType::getInstance()->getCheckPoint(10.0f, 10.0f), 255u);
    const struct {
        uint8_t code;
        unsigned int checkpoint;
    } cases[] = {{131, 3}, {128, 0}, {255, 127}, {127, 255}, {0, 255}, {126, 255}};
    for (const auto& c : cases) {
        Attached a(terrainmap::WriteMap(std::vector<uint8_t>(size_t(kSide) * kSide, c.code)));
        ASSERT_TRUE(a.ok);
        EXPECT_EQ(CTerrainType::getInstance()->getCheckPoint(100.0f, 100.0f), c.checkpoint) << int(c.code);
    }
    // A new race starts detached: the last race's map is gone with its instance.
    EXPECT_EQ(CTerrainType::getInstance()->getTypeAtPoint(100.0f, 100.0f), outOfBounds);
}

TEST(TerrainTypeTest, MalformedMapsAreRefusedWithALogLine) {
    std::vector<uint8_t> grid(size_t(kSide) * kSide, grass);
    for (size_t i = 0; i < grid.size(); ++i)
        if (i % 112 >= 50) grid[i] = sand;  // rows of two pairs: (49, grass), (62, sand)
    const auto good = terrainmap::WriteMap(grid);
    const size_t lastEntry = 4u * (terrainmap::kRows - 1);
    const struct {
        const char* what;
        size_t offset;  // where the fault is patched in; SIZE_MAX: none
        uint32_t value;
        size_t width;
        size_t length;  // bytes handed over
        int grid;
        const char* log;
    } cases[] = {
        {"truncated row table", SIZE_MAX, 0, 0, kRowTableBytes - 4, 4, "shorter than its row table"},
        {"no run data", SIZE_MAX, 0, 0, kRowTableBytes, 4, "shorter than its row table"},
        {"row offset past the runs", lastEntry, 4, 4, good.size(), 4, "cell 255 row 111 starts at 4"},
        {"row offset far out", 0, 0xFFFFFFFFu, 4, good.size(), 4, "cell 0 row 0 starts at"},
        {"row starting at its last pair", 4, 2, 4, good.size(), 4, "cell 0 row 1 ends at column 62"},
        {"runs short of column 111", kRowTableBytes + 2, 30, 1, good.size(), 4, "ends at column 79"},
        {"runs cut by the end", SIZE_MAX, 0, 0, good.size() - 1, 4, "ends at column 49"},
        {"grid size zero", SIZE_MAX, 0, 0, good.size(), 0, "grid size 0"},
    };
    testsupport::LogCapture log;
    for (const auto& c : cases) {
        auto bad = good;
        if (c.offset != SIZE_MAX) {
            if (c.width == 4)
                testsupport::Poke(bad, c.offset, c.value);
            else
                testsupport::Poke(bad, c.offset, static_cast<uint8_t>(c.value));
        }
        log.clear();
        HeapImage image(bad, c.length);
        EXPECT_FALSE(CTerrainType::getInstance()->setPointer(image.p, image.size, 16, c.grid)) << c.what;
        EXPECT_TRUE(log.has(c.log)) << c.what << ": " << log.text();
        EXPECT_EQ(CTerrainType::getInstance()->getTypeAtPoint(1.0f, 1.0f), outOfBounds) << c.what;
    }
    CTerrainType::resetStatics();
}

}  // namespace
