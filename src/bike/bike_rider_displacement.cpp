// The rider's sway on the bike: a mass on three springs in the bike's own frame (x right, y up, z
// forward), loaded by the bike's acceleration. He sways back when the bike accelerates, forward when it
// brakes, sinks when it lands; the rider view bends his body by the offset.
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"

namespace {

constexpr float kMass = 100.0f;
constexpr float kStep = 0.016666f;
constexpr float kStiffness[3] = {10000.0f, 65000.0f, 35000.0f};
constexpr float kDamping = 0.96f;
constexpr float kLow[3] = {-2.0f, -18.0f, 0.0f};
constexpr float kHigh[3] = {2.0f, 5.0f, 10.0f};
constexpr float kModelUnitsPerMetre = 100.0f;
constexpr float kLoadPerAcceleration = 6000.24f;  // spring force per model unit per step of velocity change
constexpr float kSwayFriction = 3.0f;             // friction speed per model unit of sway, swinging back
constexpr float kMaxFrictionSunk = 50000.0f;      // friction cap with the rider sunk below rest ...
constexpr float kMaxFriction = 200000.0f;         // ... and otherwise
constexpr float kSeatHeight = 95.0f;              // model units above the bike's origin ...
constexpr float kSeatAhead = 55.0f;               // ... and ahead of it

float clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

}  // namespace

void KineticBike::riderDisplacement() {
    riderMotion.riderLastPos = riderMotion.riderCurrentPos;
    riderMotion.riderLastVelocity = riderMotion.riderVelocity;
    const qzVector3d a = (linearVelocity - frame.lastLinearVelocity) * kModelUnitsPerMetre;
    const qzVector3d load(-(a * frame.rightDir), -(a * frame.upDir), -(a * frame.forwardDir));
    const qzVector3d force = load * kLoadPerAcceleration;
    const qzVector3d spring(-riderMotion.riderDelta.x * kStiffness[0],
                            -riderMotion.riderDelta.y * kStiffness[1],
                            -riderMotion.riderDelta.z * kStiffness[2]);
    riderMotion.riderVelocity = riderMotion.riderLastVelocity + (force + spring) * (kStep / kMass);

    // Friction against the sway, never reversing it.
    const float v = x_sqrt(riderMotion.riderVelocity * riderMotion.riderVelocity);
    const float d = x_sqrt(riderMotion.riderDelta * riderMotion.riderDelta);
    const float k = (riderMotion.riderDelta * riderMotion.riderVelocity) < 0.0f ? kSwayFriction * d : 0.0f;
    float f = kMass * (v - k) / kStep;
    const float cap = riderMotion.riderDelta.y < 0.0f ? kMaxFrictionSunk : kMaxFriction;
    if (f > cap) f = cap;
    if (f > 0.0f)
        riderMotion.riderVelocity =
            riderMotion.riderVelocity - riderMotion.riderVelocity * (kStep * f / (kMass * v));
    riderMotion.riderVelocity = riderMotion.riderVelocity * kDamping;

    riderMotion.riderCurrentPos = riderMotion.riderLastPos + riderMotion.riderVelocity * kStep;
    riderMotion.riderCurrentPos.x = clampf(riderMotion.riderCurrentPos.x, kLow[0], kHigh[0]);
    riderMotion.riderCurrentPos.y = clampf(riderMotion.riderCurrentPos.y, kLow[1], kHigh[1]);
    riderMotion.riderCurrentPos.z = clampf(riderMotion.riderCurrentPos.z, kLow[2], kHigh[2]);
    riderMotion.riderDelta = riderMotion.riderCurrentPos - riderMotion.riderRestPos;
    riderMotion.riderPos = position + frame.upDir * kSeatHeight + frame.forwardDir * kSeatAhead +
                           frame.rightDir * riderMotion.riderDelta.x +
                           frame.upDir * riderMotion.riderDelta.y +
                           frame.forwardDir * riderMotion.riderDelta.z;
}
