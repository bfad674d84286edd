// The bike's particle emitters: dust from the back wheel, a spray of mud from computer bikes as they
// land, slide or turn, and dust from the corners of a crashed bike (and of a tumbling rider) that touch
// the ground. Particles go to particles::sink().
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

class KineticBike;

namespace bikeparticles {

// Particle flags of the two templates.
inline constexpr uint32_t kDustFlags = 60;
inline constexpr uint32_t kMudFlags = 15;
// Option bit of the race options that switches ground particles on.
inline constexpr int32_t kGroundParticlesOption = 0x10000;
// Speeds (m/s) at or below which nothing is thrown: dust at 5 km/h, mud below 10 m/s.
inline constexpr float kDustMinSpeed = 1.388889f;
inline constexpr float kMudMinSpeed = 10.0f;
// Spacing factors of emitDust: the bike's back wheel, a crashed bike's corners, a rider's corners.
inline constexpr float kWheelDustRate = 4.0f;
inline constexpr float kCrashDustRate = 2.0f;
inline constexpr float kRiderDustRate = 1.0f;

// Dust by ground kind, four rows of eight values. The bike's dust reads row 0: value 5 the grain size
// and spacing base, value 6 the expand rate, value 8 the multiplier of the owed count.
struct DustTerrainRow {
    int32_t v1, v2, v3, v4;
    int32_t grain;
    float expand;
    int32_t v7;
    float multiplier;
};
extern const DustTerrainRow dustTerrainTable[4];

// Dust life in frames and its alpha step at a load level. The two slowest levels, which only a
// tumbling rider reaches, take the normal level's values.
int32_t DustDuration(int32_t loadLevel);
int8_t DustAlphaStep(int32_t duration);

// Each frame of a racing bike: what to emit and where (back-wheel dust, mud, crash-corner dust).
void emitParticleTrail(KineticBike& bike);
// Groups of three dust quads at `pos`, one group for every spacing units travelled; `owed` carries the
// fraction from call to call.
void emitDust(KineticBike& bike, qzVector3d pos, float* owed, float rate);
// One mud particle 20 units behind `pos` (computer bikes only).
void emitMud(KineticBike& bike, qzVector3d pos);

}  // namespace bikeparticles
