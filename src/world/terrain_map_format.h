// The terrain type map of a world file (label 4 sub-file 0): the surface or track marker code of every
// half-unit position of the world, run-length coded. Shared by the terrain types (world/terrain_type.h)
// and the disc writer. Little-endian.
//
//   0x0      0x1C000 bytes  row table: 28,672 u32, entry cell x 112 + row; the byte offset, counted from
//                           0x1C000, of that row's run list
//   0x1C000  ...            run lists: (u8 run, u8 code) pairs
//
// The map is 896 map units square: 16 x 16 cells of 56 units (cell = column + 16 x row, column along x),
// each cell 112 rows along z of 112 columns along x, half a unit each. A column takes the code of the
// first pair whose running total of run bytes is at least the column index, so the first pair covers
// run + 1 columns and each later pair `run` columns; the runs of every row must reach column 111.
// Rows with the same runs may share one run list.
//
// World to map units: x / gridSize (and z likewise), then x 2 for a 2 x 2-tile world, x 4/3 (as the
// single-precision 1.33333) for 3 x 3 tiles, unchanged for 4 x 4: every world size fills the map.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/mem/format_check.h"

namespace terrainmap {

inline constexpr uint32_t kCells = 256;  // 16 x 16
inline constexpr uint32_t kCellsAcross = 16;
inline constexpr uint32_t kCellPositions = 112;                   // rows of a cell, and columns of a row
inline constexpr uint32_t kRows = kCells * kCellPositions;        // 28,672 row-table entries
inline constexpr uint32_t kRowTableBytes = kRows * 4;             // 0x1C000
inline constexpr uint32_t kSide = kCellsAcross * kCellPositions;  // 1792 half-unit positions a side
inline constexpr float kMapUnits = 896.0f;

// Map units per world unit divided by 1/gridSize: 2 (4 tiles), 1.33333 (9 tiles), else 1.
float TileScale(int numTiles);

// Checks a map of `length` bytes: the row table is whole, every row's run list starts inside the run
// data and its runs reach column 111 before the end of the sub-file. Refused with a log line naming the
// first fault (the reason after the map's disc file).
FormatCheck CheckMap(const void* map, size_t length);

// The code of map position (x, z) in half units, 0..1791 each, of a checked map.
uint8_t CodeAt(const void* map, uint32_t x, uint32_t z);

// Encodes a grid of kSide x kSide codes (index z x kSide + x, half-unit positions) as a map; identical
// rows share one run list. Empty when the grid is not kSide x kSide.
std::vector<uint8_t> WriteMap(const std::vector<uint8_t>& codes);

}  // namespace terrainmap
