// KineticBike::powerSlideHandler: accelerating and braking power slides (handling states 5 to 8). A
// slide runs in, is ridden as a turn for its first frames, slides with the rear wheel steering until its
// heading budget is used, then ends. The right-hand slides mirror the left: `side` is +1 to the left
// and -1 to the right.
#include "bike/bike_power_slide.h"

#include "bike/bike_control.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "kinetic/dynamics/rigid_body.h"

namespace {

constexpr float kSlideEndTurnSpeed = 6.94444f;  // 25 km/h: slower slide ends do not turn

}  // namespace

void KineticBike::powerSlideHandler(bool right, bool braking) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const float m = static_cast<float>(bikeStateCounter3);
    const bool accel = checkMessage(BIKEACTION_ACCEL);
    const float massInv = chassis ? chassis->m_massInv : 0.0f;
    uint8_t& eligible = braking ? powerSlideBrakeBoostEligible : powerSlideAccelBoostEligible;

    p.pitchRateScale = 0.5f;
    comShiftState = 2;
    (braking ? powerSlideBrakeBoostVelocityMag : powerSlideAccelBoostVelocityMag) = eventStartVelocityMag;
    eligible = 0;
    const float budget = powerSlideHeadingBudget(eventStartVelocityMag, braking);

    const bool runIn =
        (right ? turnCounter <= kPowerSlideRunIn : turnCounter >= -kPowerSlideRunIn) && !powerSlideLeftGround;
    const bool brakeTurnEnded = right ? powerSlideBrakeTurnCounter > 17 : powerSlideBrakeTurnCounter < -17;
    if (runIn) {
        // Ridden as a turn; a light press is taken as a full one as the run-in goes on.
        const float ramp = side * -static_cast<float>(turnCounter) / kPowerSlideRunIn;
        if (p.turnAmount < ramp) p.turnAmount = 1.0f;
        const float amount = p.turnAmount;
        p.groundHoldForce = 90000.0f;
        flags |= 1u << (right ? BIKE_RIGHT_TURN : BIKE_LEFT_TURN);
        setLeanTau(0.0005f);
        p.frictionTarget[0] = p.frictionTarget[1] = 2.0f * tFriction.turn.normal;
        const float n = static_cast<float>(bikeStateCounter[bikeState]);
        const float r = n / 60.0f < 1.0f ? n / 60.0f : 1.0f;
        p.steeringGain = 0.28f;
        turnStep = -side * r;
        leanPercent = amount * p.speedFactor;
        p.steeringPercent[0] = 1.0f;
        p.steeringPercent[1] = -0.5f;
        p.leanMagnitude = 50.0f;
        p.leanSign = side;
        p.yawRateTarget = side * 1.45f * amount;
        if (accel && p.speedChange < 0.0f) scaleEngineBoost(1.0f + p.slowFactor);
        p.throttleStep = 0.01f;
        p.brakeStep = 0.0f;
        bikeStateCounter3 = 0;
        eligible = 1;
    } else if (eventDeltaAngle < budget && !powerSlideLeftGround && (braking || !brakeTurnEnded) &&
               !powerSlideEnd) {
        const float amount = p.turnAmount;
        p.groundHoldForce = 90000.0f;
        flags |= 1u << (right ? BIKE_POWERSLIDE_RIGHT : BIKE_POWERSLIDE_LEFT);
        setLeanTau(0.0005f);
        const float grip = braking ? 3.0f * tFriction.psb.normal * getSlopePoint(0, 0, 40, 0, 80, 1, m)
                                   : 2.0f * tFriction.ps.normal * getSlopePoint(0, 0, 60, 0, 120, 1, m);
        p.frictionTarget[0] = p.frictionTarget[1] = grip;
        p.steeringGain = 0.0f;
        turnStep = 0.0f;
        leanPercent = 1.25f * p.speedFactor < 1.0f ? 1.25f * p.speedFactor : 1.0f;
        p.yawRateTarget = side * (braking ? 8.0f * tFriction.psb.ang * p.cappedSpeedFactor *
                                                getSlopePoint(0.0f, 0.35f, 20.0f, 0.7f, 60.0f, 1.0f, m)
                                          : 6.0f * tFriction.ps.ang * p.speedFactor *
                                                getSlopePoint(0.0f, 0.35f, 30.0f, 0.5f, 60.0f, 0.5f, m));
        p.throttleStep = 0.01f;
        p.brakeStep = 0.0f;
        p.steeringPercent[0] = braking ? 0.0f : 2.0f;
        p.steeringPercent[1] = braking ? 0.0f : -0.5f;
        p.leanSign = side;
        p.leanMagnitude = 75.0f;
        setRearWheelSteers(true);

        // The push through the slide, held to the speed it began with.
        if (braking ? p.onGround : (p.nearGround || p.onGround)) {
            const float w = m / 40.0f < 1.0f ? m / 40.0f : 1.0f;
            const float force = braking ? tFriction.psb.force : tFriction.ps.force;
            const float push = massInv * 5000.0f * force * amount * x_sqrt(p.speedFactor) * w;
            addChassisVelocity(fForwardDir * push);
            if (!braking) addChassisVelocity((rightDir * -side - upDir) * push);
            limitChassisSpeed(braking ? 0.85f * eventStartVelocityMag : eventStartVelocityMag);
        }
        if (!movingForward && chassis) {
            const Kinetic::Vector3 v = chassis->m_linearVelocity;
            const qzVector3d vel(v.x, v.y, v.z);
            const qzVector3d kept = rightDir * (vel * rightDir) +
                                    forwardDir * ((vel * forwardDir) * (braking ? 0.5f : 0.25f)) +
                                    upDir * ((vel * upDir) * 0.95f);
            chassis->m_linearVelocity = Kinetic::Vector3(kept.x, kept.y, kept.z);
        }
        eligible = 1;
        bikeStateCounter2 = 0;
        ++bikeStateCounter3;
    } else {
        // The slide end: the throttle is cut and the bike turns out of the slide.
        const float amount = p.turnAmount;
        powerSlideEnd = 1;
        p.groundHoldForce = 90000.0f;
        flags |= 1u << (right ? BIKE_POWERSLIDE_RIGHT : BIKE_POWERSLIDE_LEFT);
        setLeanTau(0.0005f);
        p.steeringGain = 0.28f;
        p.frictionTarget[0] = p.frictionTarget[1] = 0.25f * tFriction.pse.normal;
        turnStep = braking ? -side : side;
        if (linearVelocityMag > kSlideEndTurnSpeed) {
            const float c = getSlopePoint(0.0f, 0.75f, 18.5185f, 0.45f, 30.0926f, 1.0f, linearVelocityMag);
            p.yawRateTarget = side * 1.5f * 1.45f * tFriction.pse.ang * amount * c;
            leanPercent = amount * 1.6f * c;
        } else {
            p.yawRateTarget = 0.0f;
            leanPercent = 0.0f;
        }
        if (!movingForward && chassis) chassis->m_linearVelocity = chassis->m_linearVelocity * 0.98f;
        p.leanSign = side;
        p.leanMagnitude = 40.0f;
        p.steeringPercent[0] = 1.0f;
        p.steeringPercent[1] = -0.5f;
        if (accel && p.speedChange < 0.0f) scaleEngineBoost(1.0f + 3.0f * p.slowFactor);
        bikeStateCounter3 = 0;
        p.throttleStep = 0.0f;
        p.brakeStep = 0.0f;
        ++bikeStateCounter2;
        if (braking && bikeStateCounter2 < 40) powerSlideBrakeBoostEligible = 1;
    }
}
