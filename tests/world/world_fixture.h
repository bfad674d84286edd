// Shared set-up of the world tests: small worlds written by the world file writer (a height function over
// the world's sample grid, one 8-bit colour bitmap per subtile, nine empty splines, one surface
// everywhere), straight spline stretches and terrain-map grids.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/sys/bitmap_format.h"
#include "world/spline_format.h"
#include "world/terrain_map_format.h"
#include "world/world_file_format.h"

namespace worldtest {

// A terrain-map grid of one code everywhere.
inline std::vector<uint8_t> Grid(uint8_t code) {
    return std::vector<uint8_t>(size_t(terrainmap::kSide) * terrainmap::kSide, code);
}

// Points every 50 units along x from x0 to x1 at depth z.
using Points = std::vector<std::array<float, 3>>;
inline Points Straight(float x0, float x1, float z) {
    Points pts;
    for (float x = x0; x <= x1 + 0.01f; x += 50.0f) pts.push_back({x, 0.0f, z});
    return pts;
}

// A 4 x 4 palettised bitmap whose pixels all use palette entry 1 (colour r, g, b).
inline std::vector<uint8_t> PlainBitmap(uint8_t r, uint8_t g, uint8_t b) {
    BitmapImage img;
    img.width = img.height = 4;
    img.pixels.assign(16, 1);
    img.palette = {0xFF000000u, 0xFF000000u | (uint32_t(b) << 16) | (uint32_t(g) << 8) | r};
    for (int i = 2; i < 16; ++i) img.palette.push_back(0xFF000000u);
    return WriteBitmap(img);
}

// Samples at (x, z) of the world's sample grid.
using HeightFn = std::function<uint16_t(int x, int z)>;

inline WorldDescription MakeWorld(int side, int grid, const HeightFn& height) {
    WorldDescription w;
    w.tilesPerSide = side;
    w.gridSize = grid;
    w.scaleY = 100.0f;
    const int cells = side * worldfile::kTileCells;
    w.heights.resize(static_cast<size_t>(cells) * cells);
    for (int z = 0; z < cells; ++z)
        for (int x = 0; x < cells; ++x) w.heights[static_cast<size_t>(z) * cells + x] = height(x, z);
    w.typeTable = {MakeTypeRecord(1, 2, 2, 1, 0, 100), MakeTypeRecord(3, 3, 1, 1, 0, 100),
                   MakeTypeRecord(4, 40, 0, 1, 0, 100)};
    w.descriptions.resize(4);
    for (auto& d : w.descriptions) d.geometries.push_back(std::vector<uint8_t>(32, 0));
    // Two gates, the finish gate and two hay bales.
    auto place = [&](int desc, float x, float z) {
        WorldPlacement p;
        p.description = desc;
        p.record.x = x;
        p.record.z = z;
        w.placements.push_back(p);
    };
    place(0, 100.0f * grid, 100.0f * grid);
    place(1, 300.0f * grid, 120.0f * grid);
    place(2, 10.0f * grid, 10.0f * grid);
    place(3, 60.0f * grid, 20.0f * grid);
    place(3, 61.0f * grid, 21.0f * grid);
    _TrackCameraRecord cam{};
    cam.pos[0] = 50.0f;
    cam.type = 1;
    w.cameras = {cam, cam};
    w.splineSection = WriteSplineSection(SplineSection{});  // nine empty records
    for (uint32_t k = 0; k < worldfile::kBonusAwards; ++k) w.bonuses.type[k] = TRACK_BONUS_NONE;
    w.bonuses.type[0] = STAT_HOLE_SHOT;
    w.detailBitmap = PlainBitmap(128, 128, 128);
    w.colourBitmaps.assign(static_cast<size_t>(16 * side * side), PlainBitmap(120, 80, 40));
    static const std::vector<uint8_t> map = terrainmap::WriteMap(Grid(0));
    w.terrainMap = map;
    return w;
}

inline std::vector<uint8_t> Flat(int side, uint16_t sample) {
    return WriteWorldFile(MakeWorld(side, 1, [sample](int, int) { return sample; }));
}

}  // namespace worldtest
