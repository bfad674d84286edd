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
#include "world_fixture.h"

namespace {

using terrainmap::kRowTableBytes;
using terrainmap::kSide;
using testsupport::HeapImage;

// Every half-unit position gets its own mix of x and z, so a lookup that lands one position off, or in a
// neighbouring cell, reads another code. Codes stay below 108 (surfaces and off-track codes).
uint8_t Pattern(uint32_t x, uint32_t z) {
    return static_cast<uint8_t>((x * 7u + z * 13u) % 101u);
}

std::vector<uint8_t> PatternGrid() {
    std::vector<uint8_t> g = worldtest::Grid(0);
    for (uint32_t z = 0; z < kSide; ++z)
        for (uint32_t x = 0; x < kSide; ++x) g[size_t(z) * kSide + x] = Pattern(x, z);
    return g;
}

struct Attached {
    explicit Attached(const std::vector<uint8_t>& map, int numTiles = 16, int gridSize = 4)
        : image(map), ok(CTerrainType::getInstance()->setPointer(image.p, image.size, numTiles, gridSize)) {}
    ~Attached() { CTerrainType::resetStatics(); }
    TypeList at(float x, float z) const { return CTerrainType::getInstance()->getTypeAtPoint(x, z); }
    HeapImage image;
    bool ok;
};

TEST(TerrainTypeTest, WorldPointsScaleByTileCountOntoTheMapAndOffItAreOutOfBounds) {
    const auto map = terrainmap::WriteMap(PatternGrid());
    // Expected half-unit positions worked out by hand: x / gridSize, x 2 (4 tiles), x 1.33333 (9 tiles).
    const struct {
        int tiles, grid;
        float x, z;
        uint32_t hx, hz;
    } cases[] = {
        // clang-format off
        {4, 3, 447.0f * 3, 447.0f * 3, 1788, 1788},  // cell 255, row 108, column 108
        {4, 2, 100.3f, 20.0f, 200, 40},
        {9, 2, 2.0f * 300.0f, 2.0f * 10.0f, 799, 26},  // 399.999 and 13.3333 map units
        {9, 5, 5.0f * 671.9f, 0.0f, 1791, 0},          // 895.866
        {16, 4, 4.0f * 895.75f, 4.0f * 0.25f, 1791, 0},
        {16, 4, -0.2f * 4, -0.2f * 4, 0, 0},  // less than half a unit west and north: still the first position
        // clang-format on
    };
    for (const auto& c : cases) {
        Attached a(map, c.tiles, c.grid);
        ASSERT_TRUE(a.ok);
        EXPECT_EQ(a.at(c.x, c.z), Pattern(c.hx, c.hz)) << c.tiles << " tiles at " << c.x << ", " << c.z;
    }
    Attached a(map, 16, 1);
    ASSERT_TRUE(a.ok);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // East of the map in row 0 would read cell 16, which is row 1's first cell; west of the map would read
    // the row's first run: both are off the map.
    const float off[][2] = {{896.0f, 10.0f}, {10.0f, 896.0f}, {-0.5f, 10.0f}, {-60.0f, 10.0f},
                            {10.0f, -0.5f},  {1e30f, 0.0f},   {nan, 0.0f},    {0.0f, nan}};
    for (const auto& c : off) EXPECT_EQ(a.at(c[0], c[1]), outOfBounds) << c[0] << ", " << c[1];
}

TEST(TerrainTypeTest, CheckpointsAndTheDetachedState) {
    CTerrainType::resetStatics();
    EXPECT_EQ(CTerrainType::getInstance()->getTypeAtPoint(10.0f, 10.0f), outOfBounds);  // nothing attached
    EXPECT_EQ(CTerrainType::getInstance()->getCheckPoint(10.0f, 10.0f), 255u);
    const unsigned cases[][2] = {{131, 3}, {128, 0}, {255, 127}, {127, 255}, {0, 255}};  // code, checkpoint
    for (const auto& c : cases) {
        Attached a(terrainmap::WriteMap(worldtest::Grid(uint8_t(c[0]))));
        ASSERT_TRUE(a.ok);
        EXPECT_EQ(CTerrainType::getInstance()->getCheckPoint(100.0f, 100.0f), c[1]) << c[0];
    }
    // A new race starts detached: the last race's map is gone with its instance.
    EXPECT_EQ(CTerrainType::getInstance()->getTypeAtPoint(100.0f, 100.0f), outOfBounds);
}

TEST(TerrainTypeTest, MalformedMapsAreRefusedWithALogLine) {
    std::vector<uint8_t> grid = worldtest::Grid(grass);
    for (size_t i = 0; i < grid.size(); ++i)
        if (i % 112 >= 50) grid[i] = sand;  // rows of two pairs: (49, grass), (62, sand)
    const auto good = terrainmap::WriteMap(grid);
    EXPECT_EQ(std::vector<uint8_t>(good.begin() + kRowTableBytes, good.end()),
              (std::vector<uint8_t>{49, grass, 62, sand}));  // every row the same two shared pairs
    {
        Attached a(good, 16, 1);  // one half-unit position per half world unit
        ASSERT_TRUE(a.ok);
        EXPECT_EQ(a.at(24.9f, 300.0f), grass);
        EXPECT_EQ(a.at(25.0f, 300.0f), sand);
    }
    const size_t lastEntry = 4u * (terrainmap::kRows - 1);
    // Where the fault is patched in, the value and its width (0: none), the bytes handed over.
    const struct {
        size_t offset;
        uint32_t value;
        size_t width, length;
        int grid;
        const char* log;
    } cases[] = {
        // clang-format off
        {0, 0, 0, kRowTableBytes - 4, 4, "shorter than its row table"},
        {lastEntry, 4, 4, good.size(), 4, "cell 255 row 111 starts at 4"},
        {4, 2, 4, good.size(), 4, "cell 0 row 1 ends at column 62"},  // a row starting at its last pair
        {kRowTableBytes + 2, 30, 1, good.size(), 4, "ends at column 79"},
        {0, 0, 0, good.size(), 0, "grid size 0"},
        // clang-format on
    };
    testsupport::LogCapture log;
    for (const auto& c : cases) {
        auto bad = good;
        if (c.width == 4) testsupport::Poke(bad, c.offset, c.value);
        if (c.width == 1) testsupport::Poke(bad, c.offset, static_cast<uint8_t>(c.value));
        log.clear();
        HeapImage image(bad, c.length);
        EXPECT_FALSE(CTerrainType::getInstance()->setPointer(image.p, image.size, 16, c.grid)) << c.log;
        EXPECT_TRUE(log.has(c.log)) << log.text();
        EXPECT_EQ(CTerrainType::getInstance()->getTypeAtPoint(1.0f, 1.0f), outOfBounds) << c.log;
    }
    CTerrainType::resetStatics();
}

}  // namespace
