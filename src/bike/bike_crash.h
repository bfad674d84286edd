// Jumps, crashes and the world edge of the bike (members of KineticBike, bike/kinetic_bike.h): the
// small shared helpers of their files and the figures tests and the race read.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"
#include "kinetic/math/vector3.h"

class KineticBike;

namespace bikecrash {

// Steps of a crash from set-up to recover, and the tumble inside it.
inline constexpr uint32_t kTumbleSteps = 180;
// Riding steps after a placing in which no crash can start.
inline constexpr uint32_t kPostCrashSteps = 180;
// Spline time the reset search steps back while another racer stands within kResetClear units.
inline constexpr float kResetStep = 1000.0f;
inline constexpr float kResetClear = 700.0f;

// Camera modes the crash asks of a human racer's camera.
inline constexpr int kCameraFollow = 1;
inline constexpr int kCameraCrash = 2;

// The bound of the backward reset search over a waypoint spline of `length` spline time: one try per
// kResetStep, and one more.
unsigned ResetSearchTries(float length);

// What the crash set-up and the world-edge throw share: driver input zeroed and held back, the rider's
// weight shift undone, the crashing bike and rider made to collide with every other racer, the crash
// body released.
void BeginHandOver(KineticBike& b);
// Both wheels stop spinning.
void StopWheels(KineticBike& b);
// A human racer's camera to `mode`, through the race's hook.
void MoveCamera(const KineticBike& b, int mode);

// Whether `p` lies within the edge zone of the race's world (false with no world).
bool NearWorldEdge(const qzVector3d& p);
// The bike's reset place moved away from the world edge: the newest safe position of its trail outside
// the edge zone, else where it started if that is outside, else the world centre; facing the centre.
void PlaceAwayFromEdge(KineticBike& b);
// A reset place within the edge zone moved away from it (PlaceAwayFromEdge), except on a baja course:
// elsewhere the edge only puts a bike back, so a reset place at it would put the bike straight back.
void KeepResetOffEdge(KineticBike& b);

// Terrain codes of the take-off areas (jump and preload ramps) and their kind: 0 preload, 1 skill.
bool IsTakeOffCode(uint32_t code);
int TakeOffKind(uint32_t code);

inline constexpr uint32_t bit(int b) {
    return 1u << b;
}
inline Kinetic::Vector3 toKinetic(const qzVector3d& v) {
    return Kinetic::Vector3(v.x, v.y, v.z);
}
inline qzVector3d toModel(const Kinetic::Vector3& v) {
    return qzVector3d(v.x, v.y, v.z);
}
inline qzVector3d unit(qzVector3d v) {
    qzMath::qzMathVectorNormalize(&v);
    return v;
}
inline qzVector3d flatUnit(qzVector3d v) {
    v.y = 0.0f;
    return unit(v);
}
// v scaled down to length `max` when longer.
inline Kinetic::Vector3 capLength(Kinetic::Vector3 v, float max) {
    const float l = v.length();
    return l > max ? v * (max / l) : v;
}
inline float clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace bikecrash
