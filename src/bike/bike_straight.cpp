// KineticBike::straightHandler and wheelieTurnHandler: coasting, accelerating, braking, wheelies and
// the stoppie (handling states 0, 1, 2, 11 to 14). They move no body; they only fill the parameters the
// common tail applies.
#include "bike/bike_straight.h"

#include "bike/bike_control.h"
#include "bike/kinetic_bike.h"

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
    switch (bikeState) {
        case BIKESTATE_ACCEL:
            row = {{2.0f * d.accel, 2.0f * d.accel}, 90000.0f, 0.01f, 0.0f, {1.0f, -0.5f}, true};
            break;
        case BIKESTATE_BRAKE:
            row = {{2.0f, 2.0f}, 90000.0f, 0.0f, 0.01f, {1.0f, -0.5f}, false};
            break;
        case BIKESTATE_WHEELIE:
            row = {{d.accel, d.accel}, 0.0f, 0.01f, 0.0f, {0.0f, 0.0f}, false};
            comShiftState = wheelieRequested ? 2 : 1;
            break;
        case BIKESTATE_STOPPIE:
            row = {{6.0f, 6.0f}, 0.0f, 0.0f, 0.01f, {0.0f, 0.0f}, false};
            // Nearly stopped the weight goes back; moving, it goes forward over the front wheel.
            comShiftState = linearVelocityMag <= kStoppieWeightBackSpeed ? 2 : 1;
            flags |= 1u << BIKE_STOPPIE;
            break;
        default:  // coasting
            row = {{2.0f * d.coast, 2.0f * d.coast}, 90000.0f, 0.0f, 0.0f, {1.0f, -0.5f}, false};
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
    p.leanMagnitude = 40.0f;
    turnStep *= 0.75f;
    leanPercent = 1.0f;
    setLeanTau(0.0005f);
    setRearWheelSteers(false);
}

void KineticBike::wheelieTurnHandler(bool right) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const float n = static_cast<float>(bikeStateCounter[bikeState]);
    const float r = n / 60.0f < 1.0f ? n / 60.0f : 1.0f;
    comShiftState = wheelieRequested ? 2 : 1;
    flags |= 1u << (right ? BIKE_RIGHT_TURN : BIKE_LEFT_TURN);
    p.frictionTarget[0] = p.frictionTarget[1] = tFriction.drive.accel;
    p.groundHoldForce = 0.0f;
    p.steeringGain = 0.01f;
    turnStep = -side * 0.0125f * r;
    p.yawRateTarget = side * 0.3f * p.turnAmount;
    p.leanSign = side;
    p.leanMagnitude = 40.0f;
    leanPercent = 0.5f * p.turnAmount * p.speedFactor;
    p.steeringPercent[0] = 0.5f;
    p.steeringPercent[1] = right ? 0.5f : 0.0f;
    // On the back wheel the engine drives at a quarter.
    scaleEngineBoost(0.25f);
    p.throttleStep = 0.0001f;
    p.brakeStep = 0.0f;
    setLeanTau(0.0005f);
    setRearWheelSteers(false);
}
