// KineticBike::turningHandler: turning left and right (handling states 3 and 4). The right turn is the
// left turn mirrored: `side` is +1 to the left and -1 to the right.
#include "bike/bike_turning.h"

#include "bike/bike_control.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "kinetic/dynamics/rigid_body.h"

namespace {

constexpr float kSlowTurnSpeed = 2.31481f;    // 8.33 km/h
constexpr float kCreepSpeed = 0.462963f;      // 1.67 km/h: too slow for a launch turn
constexpr float kLaunchMaxSpeed = 18.5185f;   // 66.67 km/h: launch turns only below it
constexpr float kSharpTurnSpeed = 23.1481f;   // 83.33 km/h: sharp turns only above it
constexpr float kBrakeTurnSpeed = 6.94444f;   // 25 km/h
constexpr float kLaunchSideSpeed = 6.94444f;  // cap on the sideways speed of a launch
constexpr int kFirstKickFrame = 7;

float speedCurve(float speed) {
    return getSlopePoint(0.0f, 0.75f, 18.5185f, 0.45f, 30.0926f, 1.0f, speed);
}

}  // namespace

void KineticBike::turningHandler(bool right) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const int turnAction = right ? BIKEACTION_RIGHT_TURN : BIKEACTION_LEFT_TURN;
    const int slideAccel = right ? BIKEACTION_RIGHT_POWERSLIDE_ACCEL : BIKEACTION_LEFT_POWERSLIDE_ACCEL;
    const int slideBoth =
        right ? BIKEACTION_RIGHT_POWERSLIDE_ACCEL_BRAKE : BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE;
    uint32_t& kind = right ? rightTurnType : leftTurnType;
    int32_t& lastPressed = right ? lastRightTurnPressed : lastLeftTurnPressed;
    int32_t& sharpPressed = right ? sharpRightTurnPressedCounter : sharpLeftTurnPressedCounter;
    int32_t& brakeCounter = right ? rightTurnBrakeCounter : leftTurnBrakeCounter;
    const int32_t n = bikeStateCounter[bikeState];
    const float amount = p.turnAmount;
    const float speed = linearVelocityMag;
    const bool accel = checkMessage(BIKEACTION_ACCEL), brake = checkMessage(BIKEACTION_BRAKE);

    // The press and how much it grew since the last frame.
    const int32_t press = pressed[turnAction];
    const int32_t change = n == 0 ? press : press - lastPressed;
    lastPressed = press;
    sharpPressed = press >= 181 ? sharpPressed + 1 : 0;

    // The kind of turn.
    if (isCPU || n == 0) {
        kind = TURN_NORMAL;
    } else if (throttleUp < 1.0f) {
        if (press < 181 || speed <= kCreepSpeed || speed >= kLaunchMaxSpeed || amount == 0.0f) {
            kind = TURN_NORMAL;
        } else {
            if (checkMessage(slideAccel) && speed > kSlowTurnSpeed)
                kind = TURN_LAUNCH_SLIDE;
            else if (checkMessage(slideBoth))
                kind = TURN_LAUNCH_SLIDE_BRAKE;
            else if (brake && accel)
                kind = TURN_LAUNCH_BRAKE_ACCEL;
            else
                kind = TURN_LAUNCH;
            throttleUpActive = 1;
        }
    } else if (kind == TURN_NORMAL) {
        if (((change >= 61 && press >= 221) || sharpPressed >= 71) && speed > kSharpTurnSpeed) {
            kind = TURN_SHARP;
            sharpTurnCounter = 0;
            eventStartVelocityMag = speed;
        }
    } else if (kind == TURN_SHARP) {
        if (press < 150 || speed < kSharpTurnSpeed) kind = TURN_NORMAL;
    } else {
        kind = TURN_NORMAL;
    }

    // What every kind shares.
    flags |= 1u << (right ? BIKE_RIGHT_TURN : BIKE_LEFT_TURN);
    setLeanTau(0.0005f);
    p.groundHoldForce = 90000.0f;
    p.frictionTarget[0] = p.frictionTarget[1] = 2.0f * tFriction.turn.normal;
    p.steeringGain = 0.28f;
    const float r = n / 60.0f < 1.0f ? static_cast<float>(n) / 60.0f : 1.0f;
    float g = static_cast<float>(n) / 10.0f;
    g = g < 0.5f ? 0.5f : (g > 1.5f ? 1.5f : g);
    turnStep = -side * r;
    const float cornering = attributes.corneringPercent;
    const float c = speedCurve(speed);
    if (speed > kSlowTurnSpeed) {
        p.yawRateTarget = side * g * 1.45f * cornering * amount * c;
        leanPercent = g * cornering * amount * c;
    } else {
        p.yawRateTarget = 0.0f;
        leanPercent = 0.0f;
    }
    p.leanSign = side;
    p.leanMagnitude = 40.0f;
    p.steeringPercent[0] = 1.0f;
    p.steeringPercent[1] = -0.5f;

    // Driving out of the corner.
    if (accel && !brake && p.speedChange < 0.0f) scaleEngineBoost(1.0f + 3.0f * p.slowFactor * cornering);

    if ((accel && !brake) || checkMessage(slideAccel) || checkMessage(slideBoth)) {
        if (n >= kFirstKickFrame) {
            const TurnFriction& F = tFriction.fromStop;
            const float massInv = chassis ? chassis->m_massInv : 0.0f;
            const qzVector3d sideDir = fRightDir * side;
            auto kick = [&](float k) { addChassisVelocity(sideDir * (massInv * k * F.force * throttleUp)); };
            // The chassis velocity rebuilt in the bike's frame: forward set or raised, sideways capped.
            auto relaunch = [&](float forward, bool raiseOnly) {
                if (!chassis) return;
                const Kinetic::Vector3 v = chassis->m_linearVelocity;
                const qzVector3d vel(v.x, v.y, v.z);
                float f = vel * forwardDir;
                float s = vel * rightDir;
                const float u = vel * upDir;
                f = raiseOnly ? (f > forward ? f : forward) : forward;
                if (right)
                    s = s < -kLaunchSideSpeed ? -kLaunchSideSpeed : s;
                else
                    s = s > kLaunchSideSpeed ? kLaunchSideSpeed : s;
                const qzVector3d w = forwardDir * f + rightDir * s + upDir * u;
                chassis->m_linearVelocity = Kinetic::Vector3(w.x, w.y, w.z);
            };
            switch (kind) {
                case TURN_LAUNCH:
                    p.yawRateTarget = side * g * amount * 2.0f * F.ang * cornering * c;
                    kick(1200.0f);
                    break;
                case TURN_LAUNCH_SLIDE_BRAKE:
                    relaunch(4.62963f, false);
                    leanPercent = 1.0f;
                    p.leanMagnitude = 60.0f;
                    p.yawRateTarget = side * g * amount * 3.0f * F.ang * cornering * c;
                    kick(2200.0f);
                    break;
                case TURN_LAUNCH_BRAKE_ACCEL:
                case TURN_LAUNCH_SLIDE:
                    relaunch(9.25926f, true);
                    leanPercent = 1.0f;
                    p.leanMagnitude = 50.0f;
                    p.yawRateTarget = side * g * amount * 2.0f * F.ang * cornering * c;
                    kick(2200.0f);
                    break;
                case TURN_SHARP: {
                    const float s = static_cast<float>(sharpTurnCounter);
                    const float h = getSlopePoint(0.0f, 1.0f, 40.0f, 1.0f, 120.0f, 0.0f, s);
                    if (sharpTurnCounter < 120) {
                        if (sharpPressed < 70)
                            p.frictionTarget[0] = p.frictionTarget[1] =
                                2.0f * tFriction.slide.normal * getSlopePoint(0, 0, 20, 0, 50, 1, s);
                        const float ramp = s / 40.0f < 1.0f ? s / 40.0f : 1.0f;
                        addChassisVelocity(fForwardDir * (massInv * h * 5000.0f * tFriction.slide.force *
                                                          amount * x_sqrt(p.speedFactor) * ramp));
                        if (h != 0.0f) limitChassisSpeed(eventStartVelocityMag);
                    }
                    ++sharpTurnCounter;
                    break;
                }
                default:
                    break;
            }
        }
        p.throttleStep = 0.01f;
        p.brakeStep = 0.0f;
        brakeCounter = 0;
        eventDeltaAngle = 0.0f;
    } else if (brake) {
        p.brakeStep = 0.01f;
        p.throttleStep = 0.0f;
        if (eventDeltaAngle < 90.0f && speed > kBrakeTurnSpeed && movingForward)
            p.frictionTarget[0] = p.frictionTarget[1] =
                tFriction.turn.normal *
                getSlopePoint(0.0f, 0.125f, 60.0f, 0.125f, 180.0f, 1.0f, static_cast<float>(brakeCounter));
        ++brakeCounter;
    } else {
        p.throttleStep = 0.0f;
        p.brakeStep = 0.0f;
    }
    bikeStateCounter3 = 0;
    p.exitBoostAllowed = true;
}
