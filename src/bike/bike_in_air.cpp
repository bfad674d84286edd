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
constexpr float kPitchTorque = 0.6f * 35000.0f;
constexpr float kYawTorque = 30500.0f;

}  // namespace

void KineticBike::inAirHandler() {
    HandlingParams& p = handling;
    auto held = [this](int a) { return checkMessage(a); };
    auto addTorque = [this](const qzVector3d& t) {
        if (chassis) chassis->m_torqueAccum = chassis->m_torqueAccum + Kinetic::Vector3(t.x, t.y, t.z);
    };
    auto setLean = [this](float degrees) {
        if (constraint) constraint->setAngle(degrees * kDegToRad);
    };

    setLeanTau(0.0005f);
    const float authority = airAuthority(bikeStateCounter[BIKESTATE_IN_AIR]);
    p.yawRateTarget = 0.0f;
    p.throttleStep = held(BIKEACTION_ACCEL) ? 0.01f : 0.0f;
    const float e = eventFromStartAngle;
    const float pitch = getSlopePoint(0.0f, 1.0f, 30.0f, 0.5f, 60.0f, 0.5f, e < 0.0f ? -e : e);

    // Pitch: forward (or the brake alone) noses down, back (or the accelerator alone) noses up.
    auto pressOf = [this](int a) {
        const float k = static_cast<float>(pressed[a]) / 232.0f;
        return k < 1.0f ? k : 1.0f;
    };
    const bool forward = held(BIKEACTION_FORWARD), back = held(BIKEACTION_BACK);
    if (((held(BIKEACTION_BRAKE) && !back) || forward) && !inStunt) {
        const float k = forward ? pressOf(BIKEACTION_FORWARD) : 0.25f;
        addTorque(rightDir * (-kPitchTorque * k * pitch));
    } else if (((held(BIKEACTION_ACCEL) && !forward) || back) && !inStunt) {
        const float k = back ? pressOf(BIKEACTION_BACK) : 0.25f;
        addTorque(rightDir * (kPitchTorque * k * pitch));
    }

    // Air turns and whips.
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
    if (turnSide >= 0 && !inStunt) {
        const float side = turnSide == 0 ? 1.0f : -1.0f;
        float t = static_cast<float>(pressed[turnAction]) / 244.0f;
        if (t > 1.0f) t = 1.0f;
        const float turned = side * e;  // degrees turned the way of the input
        const bool whip = held(BIKEACTION_WHIP);
        const float yaw = whip ? 1.5f * t : getSlopePoint(0.0f, 0.0f, 30.0f, 2.0f, 55.0f, 2.0f, turned);
        const float push = whip ? 120.0f : 100.0f;
        const qzVector3d& sideDir = whip ? eventStartFRightDir : fRightDir;
        const float response = getSlopePoint(0.0f, 0.0f, 0.25f, 0.5f, 1.0f, 1.0f, t);
        // Turned the other way the turn acts in full; past 45 degrees the input's own way it fades out.
        const float limit =
            turned > 0.0f ? 1.0f : getSlopePoint(0.0f, 1.0f, 45.0f, 1.0f, 50.0f, 0.0f, -turned);
        addTorque(upDir * (side * kYawTorque * yaw * limit));
        addChassisVelocity(sideDir *
                           ((chassis ? chassis->m_massInv : 0.0f) * -side * push * response * authority));
        float lean;
        if (whip) {
            // The whip leans against the turn already made: 2.5 degrees for each degree back.
            lean = turned < 0.0f ? -2.5f * turned : -turned;
            lean = lean > 120.0f ? 120.0f : lean;
            lean = lean < 0.0f ? 0.0f : lean;
            lean *= side;
        } else {
            lean = side * 35.0f * t;
        }
        setLean(lean);
        setLeanTau(0.75f);
    } else {
        eventStartVelocityMag = linearVelocityMag;
        setLean(0.0f);
    }

    float whip = bikeRoll / 80.0f;
    inAirWhipPercent = whip > 1.0f ? 1.0f : (whip < -1.0f ? -1.0f : whip);
}
