// The spline section of a world file (label 0 sub-file 0, right after the ending track camera record,
// running to the end of the sub-file): nine records back to back, one per spline in the order WayPoint,
// BegOne, BegTwo, MedOne, MedTwo, AdvOne, AdvTwo, ExtOne, ExtTwo. Little-endian, records unaligned.
//
//   offset 0        s16 n            number of points
//          2        s16 loopConnect  index of the point that follows the last one on a closed track
//          4        s16 lapWaypoint  present only when n >= 0 (only the WayPoint record's is used)
//          6        s16 startLapped  present only when n >= 0 (0 or not 0)
//          8        n x _SplinePoint
//          8 + 16n  n x _SplineTweak
//
// Points are in file units: grid cells across the world and height units. With g the grid spacing and S
// the world's side in cells (448, 672 or 896 for 4, 9 or 16 tiles) a point becomes the world point
// (x * g, -100 * y, g * (S - z)); w is the look-ahead scale. A tweak is the tangent override of the point
// of the same index, used as stored and only when longer than 0.5.
//
// CheckSplineSection is run once when a world is loaded; the loader then trusts what it checked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/mem/format_check.h"

namespace splinefile {

inline constexpr int kSplineCount = 9;
inline constexpr uint32_t kHeadSize = 8;       // n >= 0
inline constexpr uint32_t kShortHeadSize = 4;  // n < 0: no lap fields, no points
inline constexpr uint32_t kPointSize = 16;
inline constexpr uint32_t kTweakSize = 12;
inline constexpr float kMinPointSpacing = 1.0f;  // in world units, after conversion
inline constexpr float kTweakThreshold = 0.5f;   // tweaks of this length or less are ignored
inline constexpr float kMaxCells = 896.0f;       // file x and z lie in 0..896 (the largest world's side)
inline constexpr float kMaxHeight = 65536.0f;    // and |file y| at most this
inline constexpr float kMaxTweak = 64.0f;        // tweak components lie in -64..64

// The world's side in grid cells for a tile count: 448 (4 tiles), 672 (9), else 896.
float SideCells(int numTiles);

}  // namespace splinefile

struct _SplineRecordHead {
    int16_t numPoints;
    int16_t loopConnect;
    int16_t lapWaypoint;
    int16_t startLapped;
};
static_assert(sizeof(_SplineRecordHead) == splinefile::kHeadSize);

struct _SplinePoint {
    float x, y, z, w;
};
static_assert(sizeof(_SplinePoint) == splinefile::kPointSize);

struct _SplineTweak {
    float x, y, z;
};
static_assert(sizeof(_SplineTweak) == splinefile::kTweakSize);

// ---- Checking -----------------------------------------------------------------------------------

struct SplineCheck : FormatCheck {
    int spline = -1;      // the record the fault was found in (0-8); -1 when ok
    uint32_t length = 0;  // bytes the nine records take (valid when ok)
};

// Checks the section of `length` bytes at `data` for a world of grid spacing `gridSpacing`:
// - every record lies inside the section (bytes after the ninth record are allowed);
// - no negative point count, and no record with a single point;
// - the WayPoint record has at least 3 points when any record has points (progress and laps need
//   arc-length time), and its lap waypoint is one of its points;
// - the loop-connect index of every record with points is one of its points;
// - points lie inside the world (file x and z in 0..896, |y| at most 65536) and tweak components in
//   -64..64;
// - points and tweaks are finite, every w is above 0 and every point lies at least 1.0 world unit from
//   the previous one, with a margin of 0.01 for the loader's single precision (the loader would drop a
//   closer point and shift the tweaks after it).
SplineCheck CheckSplineSection(const void* data, uint32_t length, float gridSpacing);

// CheckSplineSection, printing one log line "world <name> refused: spline <i>: <why>" when the section
// is bad.
SplineCheck ValidateSplineSection(const void* data, uint32_t length, float gridSpacing, const char* name);

// ---- Writing ------------------------------------------------------------------------------------

// One record, in file units.
struct SplineRecord {
    int16_t loopConnect = 0;
    int16_t lapWaypoint = 0;
    int16_t startLapped = 0;
    std::vector<_SplinePoint> points;
    std::vector<_SplineTweak> tweaks;  // one per point, or empty for all zeros
};

using SplineSection = std::array<SplineRecord, splinefile::kSplineCount>;

// The encoded section; empty when a record has more than 32767 points or a tweak list of another size
// than its point list.
std::vector<uint8_t> WriteSplineSection(const SplineSection& section);

// File units of the world point (x, y, z) with look-ahead scale w, for grid spacing g and a world of
// `numTiles` tiles (the inverse of the loader's conversion).
_SplinePoint SplinePointFromWorld(float x, float y, float z, float w, float gridSpacing, int numTiles);
