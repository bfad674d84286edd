// KineticBike::straightHandler and wheelieTurnHandler: coasting, accelerating, braking, wheelies and
// the stoppie (handling states 0, 1, 2, 11 to 14). They move no body; they only fill the parameters the
// common tail applies.
#include "bike/bike_straight.h"

#include "bike/bike_control.h"
#include "bike/kinetic_bike.h"

namespace {

constexpr float kGroundHold = 90000.0f;  // N
constexpr float kPedalStep = 0.01f;      // per frame
constexpr float kStoppieGrip = 6.0f;     // both wheels, fixed
constexpr float kRearSteerShare = -0.5f;
constexpr float kLean = 40.0f;           // degrees
constexpr float kTurnStepDecay = 0.75f;  // per frame, riding straight
constexpr float kLeanTau = 0.0005f;      // s: the lean constraint follows at once
constexpr float kTurnInFrames = 60.0f;   // a wheelie turn's turn step grows to full over a second
constexpr float kWheelieSteeringGain = 0.01f;
constexpr float kWheelieTurnStep = 0.0125f;
constexpr float kWheelieYawGain = 0.3f;
constexpr float kWheelieEngineShare = 0.25f;  // on the back wheel the engine drives at a quarter
constexpr float kWheelieThrottleStep = 0.0001f;

}  // namespace

void KineticBike::straightHandler() {
    HandlingParams& p = handling;
    struct Row {
        float friction[2];  // multiples of the drive row's value (for coast, accel, wheelie) or fixed
        float groundHold, throttleStep, brakeStep;
        float steering[2];
        bool exitBoost;
    };
    const DriveFriction& d = tFriction.drive;
    Row row{};
    switch (ride.bikeState) {
        case BIKESTATE_ACCEL:
            row = {{2.0f * d.accel, 2.0f * d.accel}, kGroundHold, kPedalStep, 0.0f,
                   {1.0f, kRearSteerShare},          true};
            break;
        case BIKESTATE_BRAKE:
            row = {{2.0f, 2.0f}, kGroundHold, 0.0f, kPedalStep, {1.0f, kRearSteerShare}, false};
            break;
        case BIKESTATE_WHEELIE:
            row = {{d.accel, d.accel}, 0.0f, kPedalStep, 0.0f, {0.0f, 0.0f}, false};
            ride.comShiftState = ride.wheelieRequested ? 2 : 1;
            break;
        case BIKESTATE_STOPPIE:
            row = {{kStoppieGrip, kStoppieGrip}, 0.0f, 0.0f, kPedalStep, {0.0f, 0.0f}, false};
            // Nearly stopped the weight goes back; moving, it goes forward over the front wheel.
            ride.comShiftState = frame.linearVelocityMag <= kStoppieWeightBackSpeed ? 2 : 1;
            status.flags |= 1u << BIKE_STOPPIE;
            break;
        default:  // coasting
            row = {{2.0f * d.coast, 2.0f * d.coast}, kGroundHold, 0.0f, 0.0f, {1.0f, kRearSteerShare}, false};
            break;
    }
    p.frictionTarget[0] = row.friction[0];
    p.frictionTarget[1] = row.friction[1];
    p.groundHoldForce = row.groundHold;
    p.throttleStep = row.throttleStep;
    p.brakeStep = row.brakeStep;
    p.steeringPercent[0] = row.steering[0];
    p.steeringPercent[1] = row.steering[1];
    p.exitBoostAllowed = row.exitBoost;
    p.yawRateTarget = 0.0f;
    p.steeringGain = 0.0f;
    p.leanSign = 0.0f;
    p.leanMagnitude = kLean;
    ride.turnStep *= kTurnStepDecay;
    lean.leanPercent = 1.0f;
    setLeanTau(kLeanTau);
    setRearWheelSteers(false);
}

void KineticBike::wheelieTurnHandler(bool right) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const float n = static_cast<float>(ride.bikeStateCounter[ride.bikeState]);
    const float r = n / kTurnInFrames < 1.0f ? n / kTurnInFrames : 1.0f;
    ride.comShiftState = ride.wheelieRequested ? 2 : 1;
    status.flags |= 1u << (right ? BIKE_RIGHT_TURN : BIKE_LEFT_TURN);
    p.frictionTarget[0] = p.frictionTarget[1] = tFriction.drive.accel;
    p.groundHoldForce = 0.0f;
    p.steeringGain = kWheelieSteeringGain;
    ride.turnStep = -side * kWheelieTurnStep * r;
    p.yawRateTarget = side * kWheelieYawGain * p.turnAmount;
    p.leanSign = side;
    p.leanMagnitude = kLean;
    lean.leanPercent = 0.5f * p.turnAmount * p.speedFactor;
    p.steeringPercent[0] = 0.5f;
    p.steeringPercent[1] = right ? 0.5f : 0.0f;
    scaleEngineBoost(kWheelieEngineShare);
    p.throttleStep = kWheelieThrottleStep;
    p.brakeStep = 0.0f;
    setLeanTau(kLeanTau);
    setRearWheelSteers(false);
}
