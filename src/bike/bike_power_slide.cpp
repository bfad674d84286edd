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
constexpr float kLaunchMaxSpeed = 18.5185f;     // 66.67 km/h
constexpr float kFullSpeed = 30.0926f;          // 108.33 km/h
constexpr int32_t kBrakeTurnEndFrames = 17;     // a braking turn this long ends an accelerating slide

// Shared by the three phases.
constexpr float kSlideGroundHold = 90000.0f;  // N
constexpr float kSlideLeanTau = 0.0005f;      // s: the lean constraint follows at once
constexpr float kPedalStep = 0.01f;           // per frame
constexpr float kTurnSteeringGain = 0.28f;
constexpr float kRearSteerShare = -0.5f;
constexpr float kYawRateGain = 1.45f;

// The run-in, ridden as a turn.
constexpr float kRunInTurnFrames = 60.0f;  // the wheel's turn step grows to full over a second
constexpr float kRunInLean = 50.0f;        // degrees

// The slide proper.
constexpr float kBrakeSlideGrip = 3.0f;  // grip per unit of terrain slide grip, braking ...
constexpr float kAccelSlideGrip = 2.0f;  // ... and accelerating
constexpr float kBrakeGripFrom = 40.0f;  // frames: a braking slide's grip is none up to here ...
constexpr float kBrakeGripFull = 80.0f;  // ... and full here
constexpr float kAccelGripFrom = 60.0f;  // the accelerating slide's
constexpr float kAccelGripFull = 120.0f;
constexpr float kSlideLeanPerSpeed = 1.25f;  // lean share per unit of speed factor
constexpr float kBrakeSlideYawGain = 8.0f;
constexpr float kAccelSlideYawGain = 6.0f;
constexpr float kSlideYawStart = 0.35f;     // the yaw curves by frame: 0.35 at the start ...
constexpr float kBrakeYawMidFrame = 20.0f;  // ... braking: 0.7 at frame 20, 1 at frame 60
constexpr float kBrakeYawMid = 0.7f;
constexpr float kAccelYawMidFrame = 30.0f;  // ... accelerating: 0.5 from frame 30 on
constexpr float kAccelYawMid = 0.5f;
constexpr float kSlideYawEndFrame = 60.0f;
constexpr float kAccelSlideFrontSteer = 2.0f;
constexpr float kSlideLean = 75.0f;  // degrees
constexpr float kPushRampFrames = 40.0f;
constexpr float kSlidePush = 5000.0f;         // N s, forward
constexpr float kBrakeSlideSpeedCap = 0.85f;  // share of the slide's start speed
constexpr float kBrakeBackKept = 0.5f;        // rolling backwards: forward speed kept per frame, braking
constexpr float kAccelBackKept = 0.25f;       // accelerating
constexpr float kBackUpKept = 0.95f;          // and vertical speed kept

// The slide end.
constexpr float kEndGrip = 0.25f;  // share of the terrain's slide-end grip
constexpr float kStandstillTurnFactor = 0.75f;
constexpr float kMidTurnFactor = 0.45f;
constexpr float kEndYawGain = 1.5f;
constexpr float kEndLeanGain = 1.6f;
constexpr float kEndBackKept = 0.98f;      // rolling backwards: velocity kept per frame
constexpr float kEndLean = 40.0f;          // degrees
constexpr float kExitBoostGain = 3.0f;     // engine boost per unit of slowness
constexpr int32_t kBrakeBoostFrames = 40;  // a braking slide's exit boost stays this long

}  // namespace

void KineticBike::powerSlideHandler(bool right, bool braking) {
    HandlingParams& p = handling;
    uint8_t& eligible = braking ? ride.powerSlideBrakeBoostEligible : ride.powerSlideAccelBoostEligible;

    p.pitchRateScale = 0.5f;
    ride.comShiftState = 2;
    (braking ? ride.powerSlideBrakeBoostVelocityMag : ride.powerSlideAccelBoostVelocityMag) =
        ride.eventStartVelocityMag;
    eligible = 0;
    const float budget = powerSlideHeadingBudget(ride.eventStartVelocityMag, braking);

    const bool runIn =
        (right ? ride.turnCounter <= kPowerSlideRunIn : ride.turnCounter >= -kPowerSlideRunIn) &&
        !ride.powerSlideLeftGround;
    const bool brakeTurnEnded = right ? ride.powerSlideBrakeTurnCounter > kBrakeTurnEndFrames
                                      : ride.powerSlideBrakeTurnCounter < -kBrakeTurnEndFrames;
    if (runIn) {
        slideRunIn(right);
        eligible = 1;
    } else if (ride.eventDeltaAngle < budget && !ride.powerSlideLeftGround && (braking || !brakeTurnEnded) &&
               !ride.powerSlideEnd) {
        slideProper(right, braking);
        eligible = 1;
        ride.bikeStateCounter2 = 0;
        ++ride.bikeStateCounter3;
    } else {
        slideEnd(right, braking);
    }
}

// Ridden as a turn; a light press is taken as a full one as the run-in goes on.
void KineticBike::slideRunIn(bool right) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const float ramp = side * -static_cast<float>(ride.turnCounter) / kPowerSlideRunIn;
    if (p.turnAmount < ramp) p.turnAmount = 1.0f;
    const float amount = p.turnAmount;
    p.groundHoldForce = kSlideGroundHold;
    status.flags |= 1u << (right ? BIKE_RIGHT_TURN : BIKE_LEFT_TURN);
    setLeanTau(kSlideLeanTau);
    p.frictionTarget[0] = p.frictionTarget[1] = 2.0f * tFriction.turn.normal;
    const float n = static_cast<float>(ride.bikeStateCounter[ride.bikeState]);
    const float r = n / kRunInTurnFrames < 1.0f ? n / kRunInTurnFrames : 1.0f;
    p.steeringGain = kTurnSteeringGain;
    ride.turnStep = -side * r;
    lean.leanPercent = amount * p.speedFactor;
    p.steeringPercent[0] = 1.0f;
    p.steeringPercent[1] = kRearSteerShare;
    p.leanMagnitude = kRunInLean;
    p.leanSign = side;
    p.yawRateTarget = side * kYawRateGain * amount;
    if (checkMessage(BIKEACTION_ACCEL) && p.speedChange < 0.0f) scaleEngineBoost(1.0f + p.slowFactor);
    p.throttleStep = kPedalStep;
    p.brakeStep = 0.0f;
    ride.bikeStateCounter3 = 0;
}

// The slide proper, with the rear wheel steering.
void KineticBike::slideProper(bool right, bool braking) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const float m = static_cast<float>(ride.bikeStateCounter3);
    const float amount = p.turnAmount;
    p.groundHoldForce = kSlideGroundHold;
    status.flags |= 1u << (right ? BIKE_POWERSLIDE_RIGHT : BIKE_POWERSLIDE_LEFT);
    setLeanTau(kSlideLeanTau);
    const float grip = braking ? kBrakeSlideGrip * tFriction.psb.normal *
                                     getSlopePoint(0.0f, 0.0f, kBrakeGripFrom, 0.0f, kBrakeGripFull, 1.0f, m)
                               : kAccelSlideGrip * tFriction.ps.normal *
                                     getSlopePoint(0.0f, 0.0f, kAccelGripFrom, 0.0f, kAccelGripFull, 1.0f, m);
    p.frictionTarget[0] = p.frictionTarget[1] = grip;
    p.steeringGain = 0.0f;
    ride.turnStep = 0.0f;
    lean.leanPercent = kSlideLeanPerSpeed * p.speedFactor < 1.0f ? kSlideLeanPerSpeed * p.speedFactor : 1.0f;
    p.yawRateTarget = side * (braking ? kBrakeSlideYawGain * tFriction.psb.ang * p.cappedSpeedFactor *
                                            getSlopePoint(0.0f, kSlideYawStart, kBrakeYawMidFrame,
                                                          kBrakeYawMid, kSlideYawEndFrame, 1.0f, m)
                                      : kAccelSlideYawGain * tFriction.ps.ang * p.speedFactor *
                                            getSlopePoint(0.0f, kSlideYawStart, kAccelYawMidFrame,
                                                          kAccelYawMid, kSlideYawEndFrame, kAccelYawMid, m));
    p.throttleStep = kPedalStep;
    p.brakeStep = 0.0f;
    p.steeringPercent[0] = braking ? 0.0f : kAccelSlideFrontSteer;
    p.steeringPercent[1] = braking ? 0.0f : kRearSteerShare;
    p.leanSign = side;
    p.leanMagnitude = kSlideLean;
    setRearWheelSteers(true);

    // The push through the slide, held to the speed it began with.
    if (braking ? p.onGround : (p.nearGround || p.onGround)) {
        const float massInv = chassis ? chassis->m_massInv : 0.0f;
        const float w = m / kPushRampFrames < 1.0f ? m / kPushRampFrames : 1.0f;
        const float force = braking ? tFriction.psb.force : tFriction.ps.force;
        const float push = massInv * kSlidePush * force * amount * x_sqrt(p.speedFactor) * w;
        addChassisVelocity(frame.fForwardDir * push);
        if (!braking) addChassisVelocity((frame.rightDir * -side - frame.upDir) * push);
        limitChassisSpeed(braking ? kBrakeSlideSpeedCap * ride.eventStartVelocityMag
                                  : ride.eventStartVelocityMag);
    }
    if (!crash.movingForward && chassis) {
        const Kinetic::Vector3 v = chassis->m_linearVelocity;
        const qzVector3d vel(v.x, v.y, v.z);
        const qzVector3d kept =
            frame.rightDir * (vel * frame.rightDir) +
            frame.forwardDir * ((vel * frame.forwardDir) * (braking ? kBrakeBackKept : kAccelBackKept)) +
            frame.upDir * ((vel * frame.upDir) * kBackUpKept);
        chassis->m_linearVelocity = Kinetic::Vector3(kept.x, kept.y, kept.z);
    }
}

// The slide end: the throttle is cut and the bike turns out of the slide.
void KineticBike::slideEnd(bool right, bool braking) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const float amount = p.turnAmount;
    ride.powerSlideEnd = 1;
    p.groundHoldForce = kSlideGroundHold;
    status.flags |= 1u << (right ? BIKE_POWERSLIDE_RIGHT : BIKE_POWERSLIDE_LEFT);
    setLeanTau(kSlideLeanTau);
    p.steeringGain = kTurnSteeringGain;
    p.frictionTarget[0] = p.frictionTarget[1] = kEndGrip * tFriction.pse.normal;
    ride.turnStep = braking ? -side : side;
    if (frame.linearVelocityMag > kSlideEndTurnSpeed) {
        const float c = getSlopePoint(0.0f, kStandstillTurnFactor, kLaunchMaxSpeed, kMidTurnFactor,
                                      kFullSpeed, 1.0f, frame.linearVelocityMag);
        p.yawRateTarget = side * kEndYawGain * kYawRateGain * tFriction.pse.ang * amount * c;
        lean.leanPercent = amount * kEndLeanGain * c;
    } else {
        p.yawRateTarget = 0.0f;
        lean.leanPercent = 0.0f;
    }
    if (!crash.movingForward && chassis) chassis->m_linearVelocity = chassis->m_linearVelocity * kEndBackKept;
    p.leanSign = side;
    p.leanMagnitude = kEndLean;
    p.steeringPercent[0] = 1.0f;
    p.steeringPercent[1] = kRearSteerShare;
    if (checkMessage(BIKEACTION_ACCEL) && p.speedChange < 0.0f)
        scaleEngineBoost(1.0f + kExitBoostGain * p.slowFactor);
    ride.bikeStateCounter3 = 0;
    p.throttleStep = 0.0f;
    p.brakeStep = 0.0f;
    ++ride.bikeStateCounter2;
    if (braking && ride.bikeStateCounter2 < kBrakeBoostFrames) ride.powerSlideBrakeBoostEligible = 1;
}
