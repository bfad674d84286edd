// KineticBike::inAirHandler: pitch, air turns, whips and lean in the air (handling state 10). Forward
// and back pitch the bike (brake and accelerator weakly); turn and slide inputs turn, push and lean
// it; with the whip held the lean follows how far the bike has already turned. `side` below is +1 to
// the left and -1 to the right.
#include "bike/bike_in_air.h"

#include "bike/bike_control.h"
#include "bike/kinetic_bike.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/rigid_body.h"

namespace {

constexpr float kDegToRad = 0.0174533f;
constexpr float kPitchTorque = 0.6f * 35000.0f;  // N m
constexpr float kYawTorque = 30500.0f;           // N m
constexpr float kAirLeanTau = 0.0005f;           // s: the lean constraint follows at once ...
constexpr float kAirTurnLeanTau = 0.75f;         // ... or slowly while turning in the air
constexpr float kPedalStep = 0.01f;              // per frame

// Pitch: full strength up to 30 degrees turned, half from 60.
constexpr float kPitchFadeStart = 30.0f;
constexpr float kPitchFadeEnd = 60.0f;
constexpr float kPitchFaded = 0.5f;
constexpr float kFullPitchPress = 232.0f;  // stick press (0..255) for full pitch
constexpr float kPedalPitch = 0.25f;       // pitch share of the brake or accelerator alone

// Air turns and whips.
constexpr float kFullTurnPress = 244.0f;  // stick press for a full turn
constexpr float kWhipYawGain = 1.5f;
constexpr float kTurnYawRise = 30.0f;  // degrees turned: the yaw grows to 2 ...
constexpr float kTurnYawFull = 55.0f;  // ... and stays 2 from here
constexpr float kTurnYawMax = 2.0f;
constexpr float kWhipPush = 120.0f;  // N s sideways
constexpr float kTurnPush = 100.0f;
constexpr float kResponseRise = 0.25f;  // the push's response by press: 0.5 at a quarter, 1 at full
constexpr float kResponseMid = 0.5f;
constexpr float kTurnFadeStart = 45.0f;  // degrees turned the input's way: the turn fades out ...
constexpr float kTurnFadeEnd = 50.0f;    // ... to nothing here
constexpr float kWhipLeanBack = -2.5f;   // degrees of lean per degree turned back
constexpr float kMaxWhipLean = 120.0f;   // degrees
constexpr float kAirTurnLean = 35.0f;    // degrees at a full press
constexpr float kFullWhipRoll = 80.0f;   // degrees of roll for a full whip

}  // namespace

void KineticBike::inAirHandler() {
    HandlingParams& p = handling;
    setLeanTau(kAirLeanTau);
    const float authority = airAuthority(ride.bikeStateCounter[BIKESTATE_IN_AIR]);
    p.yawRateTarget = 0.0f;
    p.throttleStep = checkMessage(BIKEACTION_ACCEL) ? kPedalStep : 0.0f;
    const float e = ride.eventFromStartAngle;
    const float pitch = getSlopePoint(0.0f, 1.0f, kPitchFadeStart, kPitchFaded, kPitchFadeEnd, kPitchFaded,
                                      e < 0.0f ? -e : e);
    airPitch(pitch);
    airTurn(authority);
    float whip = ground.bikeRoll / kFullWhipRoll;
    air.inAirWhipPercent = whip > 1.0f ? 1.0f : (whip < -1.0f ? -1.0f : whip);
}

void KineticBike::addChassisTorque(const qzVector3d& t) {
    if (chassis) chassis->m_torqueAccum = chassis->m_torqueAccum + Kinetic::Vector3(t.x, t.y, t.z);
}

// Pitch: forward (or the brake alone) noses down, back (or the accelerator alone) noses up.
void KineticBike::airPitch(float pitch) {
    auto held = [this](int a) { return checkMessage(a); };
    auto pressOf = [this](int a) {
        const float k = static_cast<float>(input.pressed[a]) / kFullPitchPress;
        return k < 1.0f ? k : 1.0f;
    };
    const bool forward = held(BIKEACTION_FORWARD), back = held(BIKEACTION_BACK);
    if (((held(BIKEACTION_BRAKE) && !back) || forward) && !inStunt) {
        const float k = forward ? pressOf(BIKEACTION_FORWARD) : kPedalPitch;
        addChassisTorque(frame.rightDir * (-kPitchTorque * k * pitch));
    } else if (((held(BIKEACTION_ACCEL) && !forward) || back) && !inStunt) {
        const float k = back ? pressOf(BIKEACTION_BACK) : kPedalPitch;
        addChassisTorque(frame.rightDir * (kPitchTorque * k * pitch));
    }
}

// Air turns and whips.
void KineticBike::airTurn(float authority) {
    auto held = [this](int a) { return checkMessage(a); };
    auto setLean = [this](float degrees) {
        if (constraint) constraint->setAngle(degrees * kDegToRad);
    };
    static constexpr int kTurns[2][3] = {
        {BIKEACTION_LEFT_TURN, BIKEACTION_LEFT_POWERSLIDE_ACCEL, BIKEACTION_LEFT_POWERSLIDE_BRAKE},
        {BIKEACTION_RIGHT_TURN, BIKEACTION_RIGHT_POWERSLIDE_ACCEL, BIKEACTION_RIGHT_POWERSLIDE_BRAKE},
    };
    int turnSide = -1, turnAction = 0;
    for (int s = 0; s < 2 && turnSide < 0; ++s)
        for (int a : kTurns[s])
            if (held(a)) {
                turnSide = s;
                turnAction = a;
                break;
            }
    if (turnSide < 0 || inStunt) {
        ride.eventStartVelocityMag = frame.linearVelocityMag;
        setLean(0.0f);
        return;
    }
    const float side = turnSide == 0 ? 1.0f : -1.0f;
    float t = static_cast<float>(input.pressed[turnAction]) / kFullTurnPress;
    if (t > 1.0f) t = 1.0f;
    const float turned = side * ride.eventFromStartAngle;  // degrees turned the way of the input
    const bool whip = held(BIKEACTION_WHIP);
    const float yaw =
        whip ? kWhipYawGain * t
             : getSlopePoint(0.0f, 0.0f, kTurnYawRise, kTurnYawMax, kTurnYawFull, kTurnYawMax, turned);
    const float push = whip ? kWhipPush : kTurnPush;
    const qzVector3d& sideDir = whip ? ride.eventStartFRightDir : frame.fRightDir;
    const float response = getSlopePoint(0.0f, 0.0f, kResponseRise, kResponseMid, 1.0f, 1.0f, t);
    // Turned the other way the turn acts in full; past 45 degrees the input's own way it fades out.
    const float limit =
        turned > 0.0f ? 1.0f : getSlopePoint(0.0f, 1.0f, kTurnFadeStart, 1.0f, kTurnFadeEnd, 0.0f, -turned);
    addChassisTorque(frame.upDir * (side * kYawTorque * yaw * limit));
    addChassisVelocity(sideDir *
                       ((chassis ? chassis->m_massInv : 0.0f) * -side * push * response * authority));
    float lean;
    if (whip) {
        // The whip leans against the turn already made: 2.5 degrees for each degree back.
        lean = turned < 0.0f ? kWhipLeanBack * turned : -turned;
        lean = lean > kMaxWhipLean ? kMaxWhipLean : lean;
        lean = lean < 0.0f ? 0.0f : lean;
        lean *= side;
    } else {
        lean = side * kAirTurnLean * t;
    }
    setLean(lean);
    setLeanTau(kAirTurnLeanTau);
}
