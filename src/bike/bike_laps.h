// Race progress of a bike (members of KineticBike, bike/kinetic_bike.h): the HUD codes the checkpoint
// pass writes, and the sampling of a step's path for checkpoint bands.
#pragma once

#include <cstdint>

namespace bikelaps {

// trackToHudOffTrack while the bike is on the track.
inline constexpr uint32_t kHudOnTrack = 8;
// trackToHudMissedCheckPoint: the expected checkpoint was taken, or a later one was crossed first.
inline constexpr uint32_t kHudCheckPointTaken = 12;
inline constexpr uint32_t kHudCheckPointMissed = 10;
// No checkpoint at a point (CTerrainType::getCheckPoint).
inline constexpr unsigned kNoCheckPoint = 255;
// Samples of one step's path: a teleport across the largest world stays well below this.
inline constexpr unsigned kMaxPathSamples = 1u << 16;

// Samples of a horizontal path of length `length`, half a grid cell apart from its start so that the last
// one lies within half a cell of its end: int(length / (grid / 2)) + 1. One sample for no path or no grid.
unsigned PathSamples(float length, int gridSize);

}  // namespace bikelaps
