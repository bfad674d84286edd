// The ground under the bike: the terrain codes folded into eight surface classes, the grip tables of
// those classes (seven rows each, row 6 full grip) and the maximum-speed penalty of each surface.
// KineticBike::getTerrainType and bikeTerrainInfo (bike_terrain.cpp) read them every sub-step.
#pragma once

#include "bike/attributes.h"

namespace bike_terrain {

constexpr int kRows = 7;
constexpr int kClasses = 8;

// Grip rows of the six turn tables and the drive table.
extern const TurnFriction turnFriction[kRows];
extern const TurnFriction fromStopFriction[kRows];
extern const TurnFriction slideFriction[kRows];
extern const TurnFriction psFriction[kRows];
extern const TurnFriction psbFriction[kRows];
extern const TurnFriction pseFriction[kRows];
extern const DriveFriction driveFriction[kRows];

// Per surface class: the row offsets added to the bike's traction (0..2), and the speed penalty.
struct SurfaceGrip {
    int turnOffset;
    int driveOffset;
    float maxSpeedPenalty;
};
extern const SurfaceGrip terrainFriction[kClasses];

// Off-track codes grip as row 4 and cost this much speed, whatever their surface.
constexpr unsigned kOffTrackFirst = 59;
constexpr unsigned kOffTrackLast = 107;
constexpr int kOffTrackRow = 4;
constexpr float kOffTrackPenalty = 30.0f;
// A human bike's penalty climbs this much per sub-step towards a higher target.
constexpr float kPenaltyRise = 0.2f;

// The friction set of `traction` on surface class `surfaceClass`, or of an off-track surface.
TerrainFriction frictionFor(int traction, unsigned surfaceClass, bool offTrack);

}  // namespace bike_terrain

// The surface class 0..7 of a terrain code: wet and off-track forms fold into their dry surface, every
// other code (markers, checkpoints, out of bounds) into hardpack.
unsigned getTerrainFrictionType(unsigned code);
// The same folding, for the dust emitter.
unsigned getTerrainParticleType(unsigned code);
