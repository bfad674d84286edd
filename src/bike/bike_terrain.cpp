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
    lastTerrainType = terrainType;
    terrainType = CTerrainType::getInstance()->getTypeAtPoint(bikePos.x, bikePos.z);
    const unsigned c = getTerrainFrictionType(terrainType);
    lastValidTerrainType = c;
    terrainMaxSpeedPenaltyTarget = terrainFriction[c].maxSpeedPenalty;
    if (isCPU) {
        terrainMaxSpeedPenalty = 0.0f;
    } else if (terrainMaxSpeedPenalty < terrainMaxSpeedPenaltyTarget) {
        // Climbs 0.2 a sub-step, never past the target.
        terrainMaxSpeedPenalty += kPenaltyRise;
        if (terrainMaxSpeedPenalty > terrainMaxSpeedPenaltyTarget)
            terrainMaxSpeedPenalty = terrainMaxSpeedPenaltyTarget;
    } else {
        terrainMaxSpeedPenalty = terrainMaxSpeedPenaltyTarget;
    }
    const bool offTrack = terrainType >= kOffTrackFirst && terrainType <= kOffTrackLast;
    if (offTrack) terrainMaxSpeedPenalty = kOffTrackPenalty;
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
    drivingOnObjectCounter =
        drivingOnObject && checkMessage(BIKEACTION_ACCEL) ? drivingOnObjectCounter + 1 : 0;

    // The heading over the ground: the forward axis while the nose is within 30 degrees of level
    // (reversed upside down), the up axis when the nose points steeply up or down.
    const float s = forwardDir.y < 0.0f ? 1.0f : -1.0f;
    qzVector3d H;
    if (x_fabs(forwardDir.y) < 0.5f)
        H = upDir.y < 0.0f ? forwardDir : forwardDir * -1.0f;
    else
        H = forwardDir.y < 0.0f ? upDir * -1.0f : upDir;
    H = flat(H);
    const qzVector3d R = flat(rightDir);

    terrainRoll = -asinDeg(wheelNormVec[1] * R);
    terrainPitch[1] = -asinDeg(wheelNormVec[1] * H);
    terrainPitch[0] = -asinDeg(wheelNormVec[0] * H);
    terrainPitchAvg = 0.5f * (terrainPitch[0] + terrainPitch[1]);
    bikeRoll = kRightAngle - acosDeg(-rightDir.y);
    bikePitch = s * acosDeg(forwardDir * H);
    bikeRelativeRoll = terrainRoll - bikeRoll;
    bikeRelativePitch = terrainPitchAvg - bikePitch;
    pushHistory(lastBikePitch, bikePitch);
    pushHistory(lastBikeRoll, bikeRoll);
    pushHistory(lastBikeRelativePitch, bikeRelativePitch);
    pushHistory(lastBikeRelativeRoll, bikeRelativeRoll);
    levelGround = x_fabs(terrainPitchAvg) < kLevelPitch;
}
