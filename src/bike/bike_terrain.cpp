#include "bike/bike_terrain.h"

#include "bike/components/bands.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "world/terrain_type.h"

namespace bike_terrain {

const TurnFriction turnFriction[kRows] = {
    {0.125f, 0, 0}, {0.125f, 0, 0}, {0.2f, 0, 0}, {0.35f, 0, 0}, {0.25f, 0, 0}, {0.5f, 0, 0}, {1, 0, 0},
};
const TurnFriction fromStopFriction[kRows] = {
    {0.25f, 0.25f, 0.0625f},
    {0.25f, 0.25f, 0.0625f},
    {0.37f, 0.37f, 0.125f},
    {0.5f, 0.5f, 0.25f},
    {0.62f, 0.67f, 0.5f},
    {0.75f, 0.85f, 0.85f},
    {1, 1, 1},
};
const TurnFriction slideFriction[kRows] = {
    {0.0625f, 0, 0.125f}, {0.0625f, 0, 0.125f}, {0.125f, 0, 0.25f}, {0.25f, 0, 0.4f},
    {0.35f, 0, 0.7f},     {0.5f, 0, 0.9f},      {1, 0, 1},
};
const TurnFriction psFriction[kRows] = {
    {0.0625f, 0.65f, 0.125f},
    {0.0625f, 0.65f, 0.125f},
    {0.125f, 0.65f, 0.25f},
    {0.25f, 0.65f, 0.4f},
    {0.35f, 0.65f, 0.7f},
    {0.25f, 0.75f, 0.9f},
    {1, 1, 1},
};
const TurnFriction psbFriction[kRows] = {
    {0.0625f, 0.5f, 0.125f},
    {0.0625f, 0.5f, 0.125f},
    {0.125f, 0.5f, 0.25f},
    {0.25f, 0.5f, 0.4f},
    {0.25f, 0.5f, 0.4f},
    {0.25f, 0.75f, 0.9f},
    {1, 1, 1},
};
const TurnFriction pseFriction[kRows] = {
    {0.125f, 1, 0}, {0.125f, 1, 0}, {0.25f, 1, 0}, {0.4f, 1, 0}, {0.5f, 1, 0}, {0.75f, 1, 0}, {1, 1, 0},
};
const DriveFriction driveFriction[kRows] = {
    {0.0325f, 0.0625f, 0.0325f, 0.0325f},
    {0.0625f, 0.0625f, 0.0325f, 0.0625f},
    {0.125f, 0.125f, 0.0625f, 0.125f},
    {0.25f, 0.25f, 0.125f, 0.25f},
    {0.5f, 0.5f, 0.33f, 0.5f},
    {0.75f, 0.75f, 0.66f, 0.75f},
    {1, 1, 1, 1},
};
// hardpack, cement, loam, clay, sand, grass, gravel, oil
const SurfaceGrip terrainFriction[kClasses] = {
    {6, 6, 0}, {6, 6, 0}, {6, 6, 0}, {5, 5, 0}, {3, 5, 20}, {4, 5, 8}, {5, 6, 10}, {1, 3, 35},
};

TerrainFriction frictionFor(int traction, unsigned surfaceClass, bool offTrack) {
    const SurfaceGrip& g = terrainFriction[surfaceClass < kClasses ? surfaceClass : 0];
    int t = traction + g.turnOffset, d = traction + g.driveOffset;
    if (t > kRows - 1) t = kRows - 1;
    if (d > kRows - 1) d = kRows - 1;
    if (t < 0) t = 0;
    if (d < 0) d = 0;
    if (offTrack) t = d = kOffTrackRow;
    TerrainFriction f;
    f.turn = turnFriction[t];
    f.fromStop = fromStopFriction[t];
    f.slide = slideFriction[t];
    f.ps = psFriction[t];
    f.psb = psbFriction[t];
    f.pse = pseFriction[t];
    f.drive = driveFriction[d];
    return f;
}

}  // namespace bike_terrain

unsigned getTerrainFrictionType(unsigned code) {
    if (code <= oil) return code;
    // The wet forms sit 30 codes above their surface, the off-track forms 59 and the off-track wet 88.
    for (unsigned base : {unsigned(wetHardpack), unsigned(offHardpack), unsigned(offwetHardpack)})
        if (code >= base && code <= base + gravel) return code - base;
    if (code == offOil) return oil;
    return hardpack;
}

unsigned getTerrainParticleType(unsigned code) {
    return getTerrainFrictionType(code);
}

namespace {
constexpr float kFullTorque = 3000.0f;  // N m at 1000 RPM on full drive grip
}  // namespace

void KineticBike::getTerrainType() {
    using namespace bike_terrain;
    ground.lastTerrainType = ground.terrainType;
    ground.terrainType = CTerrainType::getInstance()->getTypeAtPoint(ground.bikePos.x, ground.bikePos.z);
    const unsigned c = getTerrainFrictionType(ground.terrainType);
    ground.lastValidTerrainType = c;
    ride.terrainMaxSpeedPenaltyTarget = terrainFriction[c].maxSpeedPenalty;
    if (isCPU) {
        ride.terrainMaxSpeedPenalty = 0.0f;
    } else if (ride.terrainMaxSpeedPenalty < ride.terrainMaxSpeedPenaltyTarget) {
        // Climbs 0.2 a sub-step, never past the target.
        ride.terrainMaxSpeedPenalty += kPenaltyRise;
        if (ride.terrainMaxSpeedPenalty > ride.terrainMaxSpeedPenaltyTarget)
            ride.terrainMaxSpeedPenalty = ride.terrainMaxSpeedPenaltyTarget;
    } else {
        ride.terrainMaxSpeedPenalty = ride.terrainMaxSpeedPenaltyTarget;
    }
    const bool offTrack = ground.terrainType >= kOffTrackFirst && ground.terrainType <= kOffTrackLast;
    if (offTrack) ride.terrainMaxSpeedPenalty = kOffTrackPenalty;
    tFriction = frictionFor(attributes.traction, c, offTrack);
    if (bikePowerBand)
        bikePowerBand->setTorque(1000, static_cast<unsigned>(kFullTorque * tFriction.drive.torque));
}

namespace {

constexpr float kDegrees = 57.2957795f;
constexpr float kRightAngle = 90.0f;  // degrees
constexpr float kLevelPitch = 10.0f;  // degrees of terrain pitch still level

// asin and acos of a dot product of unit vectors, which rounding can push just past +-1.
float clampUnit(float x) {
    return x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
}
float asinDeg(float x) {
    return x_asin(clampUnit(x)) * kDegrees;
}
float acosDeg(float x) {
    return x_acos(clampUnit(x)) * kDegrees;
}

// `v` without its height, made unit length (left as it is when it is vertical).
qzVector3d flat(qzVector3d v) {
    v.y = 0.0f;
    if (v.x * v.x + v.z * v.z > 0.0f) qzMath::qzMathVectorNormalize(&v);
    return v;
}

void pushHistory(float (&h)[5], float v) {
    for (int i = 4; i > 0; --i) h[i] = h[i - 1];
    h[0] = v;
}

}  // namespace

void KineticBike::bikeTerrainInfo() {
    measureWheelHeights(true);
    ground.drivingOnObjectCounter =
        ground.drivingOnObject && checkMessage(BIKEACTION_ACCEL) ? ground.drivingOnObjectCounter + 1 : 0;

    // The heading over the ground: the forward axis while the nose is within 30 degrees of level
    // (reversed upside down), the up axis when the nose points steeply up or down.
    const float s = frame.forwardDir.y < 0.0f ? 1.0f : -1.0f;
    qzVector3d H;
    if (x_fabs(frame.forwardDir.y) < 0.5f)
        H = frame.upDir.y < 0.0f ? frame.forwardDir : frame.forwardDir * -1.0f;
    else
        H = frame.forwardDir.y < 0.0f ? frame.upDir * -1.0f : frame.upDir;
    H = flat(H);
    const qzVector3d R = flat(frame.rightDir);

    ground.terrainRoll = -asinDeg(ground.wheelNormVec[1] * R);
    ground.terrainPitch[1] = -asinDeg(ground.wheelNormVec[1] * H);
    ground.terrainPitch[0] = -asinDeg(ground.wheelNormVec[0] * H);
    ground.terrainPitchAvg = 0.5f * (ground.terrainPitch[0] + ground.terrainPitch[1]);
    ground.bikeRoll = kRightAngle - acosDeg(-frame.rightDir.y);
    ground.bikePitch = s * acosDeg(frame.forwardDir * H);
    ground.bikeRelativeRoll = ground.terrainRoll - ground.bikeRoll;
    ground.bikeRelativePitch = ground.terrainPitchAvg - ground.bikePitch;
    pushHistory(ground.lastBikePitch, ground.bikePitch);
    pushHistory(ground.lastBikeRoll, ground.bikeRoll);
    pushHistory(ground.lastBikeRelativePitch, ground.bikeRelativePitch);
    pushHistory(ground.lastBikeRelativeRoll, ground.bikeRelativeRoll);
    ground.levelGround = x_fabs(ground.terrainPitchAvg) < kLevelPitch;
}
