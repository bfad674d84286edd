// KineticBike::turningHandler: turning left and right (handling states 3 and 4). The right turn is the
// left turn mirrored: `side` is +1 to the left and -1 to the right.
#include "bike/bike_turning.h"

#include "bike/bike_control.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "kinetic/dynamics/rigid_body.h"

namespace {

// Speeds (m/s).
constexpr float kSlowTurnSpeed = 2.31481f;          // 8.33 km/h
constexpr float kCreepSpeed = 0.462963f;            // 1.67 km/h: too slow for a launch turn
constexpr float kLaunchMaxSpeed = 18.5185f;         // 66.67 km/h: launch turns only below it
constexpr float kSharpTurnSpeed = 23.1481f;         // 83.33 km/h: sharp turns only above it
constexpr float kBrakeTurnSpeed = 6.94444f;         // 25 km/h
constexpr float kLaunchSideSpeed = 6.94444f;        // cap on the sideways speed of a launch
constexpr float kFullSpeed = 30.0926f;              // 108.33 km/h
constexpr float kSlideBrakeLaunchSpeed = 4.62963f;  // 16.67 km/h: forward speed a slide-brake launch sets
constexpr float kSlideLaunchSpeed = 9.25926f;       // 33.33 km/h: forward speed a slide launch raises to

// The turn's strength by speed: 0.75 from a standstill, 0.45 at the launch limit, 1 at full speed.
constexpr float kStandstillTurnFactor = 0.75f;
constexpr float kMidTurnFactor = 0.45f;

// Stick presses (0..255).
constexpr int32_t kFirmPress = 181;       // firm enough to launch, and to count towards a sharp turn
constexpr int32_t kSharpPressJump = 61;   // growth in one frame that starts a sharp turn ...
constexpr int32_t kSharpPress = 221;      // ... up to at least this press
constexpr int32_t kSharpHoldFrames = 71;  // or a firm press held this long
constexpr int32_t kSharpReleasePress = 150;
constexpr int32_t kSharpGripPressFrames = 70;  // a sharp turn pressed shorter than this builds its grip

// Frames.
constexpr int kFirstKickFrame = 7;
constexpr float kTurnInFrames = 60.0f;  // the wheel's turn step grows to full over a second
constexpr float kGainFrames = 10.0f;    // the turn gain grows by 1 every 10 frames ...
constexpr float kMinGain = 0.5f;        // ... between these
constexpr float kMaxGain = 1.5f;
constexpr float kSharpPushFull = 40.0f;  // a sharp turn's push at full strength up to this frame ...
constexpr float kSharpPushEnd = 120.0f;  // ... and gone here
constexpr int32_t kSharpTurnFrames = 120;
constexpr float kSharpGripFrom = 20.0f;   // a sharp turn's grip: none up to this frame ...
constexpr float kSharpGripFull = 50.0f;   // ... full here
constexpr float kBrakeGripHold = 60.0f;   // a braked turn's grip: low up to this frame ...
constexpr float kBrakeGripFull = 180.0f;  // ... full here

// The common set-up.
constexpr float kTurnLeanTau = 0.0005f;      // s: the lean constraint follows at once
constexpr float kTurnGroundHold = 90000.0f;  // N
constexpr float kTurnSteeringGain = 0.28f;
constexpr float kYawRateGain = 1.45f;
constexpr float kTurnLean = 40.0f;  // degrees
constexpr float kRearSteerShare = -0.5f;
constexpr float kExitBoostGain = 3.0f;  // engine boost per unit of slowness and cornering

// Launches and the sharp turn.
constexpr float kLaunchYawGain = 2.0f;
constexpr float kSlideBrakeLaunchYawGain = 3.0f;
constexpr float kLaunchKick = 1200.0f;          // N s, sideways
constexpr float kSlideLaunchKick = 2200.0f;     // N s, sideways
constexpr float kSlideBrakeLaunchLean = 60.0f;  // degrees
constexpr float kSlideLaunchLean = 50.0f;       // degrees
constexpr float kSharpPush = 5000.0f;           // N s, forward

// Pedals and braking.
constexpr float kPedalStep = 0.01f;          // per frame
constexpr float kBrakeTurnMaxAngle = 90.0f;  // degrees turned while braking with low grip
constexpr float kBrakeTurnGrip = 0.125f;

float speedCurve(float speed) {
    return getSlopePoint(0.0f, kStandstillTurnFactor, kLaunchMaxSpeed, kMidTurnFactor, kFullSpeed, 1.0f,
                         speed);
}

}  // namespace

void KineticBike::turningHandler(bool right) {
    HandlingParams& p = handling;
    const int turnAction = right ? BIKEACTION_RIGHT_TURN : BIKEACTION_LEFT_TURN;
    const int slideAccel = right ? BIKEACTION_RIGHT_POWERSLIDE_ACCEL : BIKEACTION_LEFT_POWERSLIDE_ACCEL;
    const int slideBoth =
        right ? BIKEACTION_RIGHT_POWERSLIDE_ACCEL_BRAKE : BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE;
    int32_t& brakeCounter = right ? ride.rightTurnBrakeCounter : ride.leftTurnBrakeCounter;
    const int32_t n = ride.bikeStateCounter[ride.bikeState];
    const bool accel = checkMessage(BIKEACTION_ACCEL), brake = checkMessage(BIKEACTION_BRAKE);

    const uint32_t kind = chooseTurnKind(right, input.pressed[turnAction]);
    const TurnShape shape = setUpTurn(right);

    // Driving out of the corner.
    if (accel && !brake && p.speedChange < 0.0f)
        scaleEngineBoost(1.0f + kExitBoostGain * p.slowFactor * attributes.corneringPercent);

    if ((accel && !brake) || checkMessage(slideAccel) || checkMessage(slideBoth)) {
        if (n >= kFirstKickFrame) driveTurn(right, kind, shape);
        p.throttleStep = kPedalStep;
        p.brakeStep = 0.0f;
        brakeCounter = 0;
        ride.eventDeltaAngle = 0.0f;
    } else if (brake) {
        p.brakeStep = kPedalStep;
        p.throttleStep = 0.0f;
        if (ride.eventDeltaAngle < kBrakeTurnMaxAngle && frame.linearVelocityMag > kBrakeTurnSpeed &&
            crash.movingForward)
            p.frictionTarget[0] = p.frictionTarget[1] =
                tFriction.turn.normal * getSlopePoint(0.0f, kBrakeTurnGrip, kBrakeGripHold, kBrakeTurnGrip,
                                                      kBrakeGripFull, 1.0f, static_cast<float>(brakeCounter));
        ++brakeCounter;
    } else {
        p.throttleStep = 0.0f;
        p.brakeStep = 0.0f;
    }
    ride.bikeStateCounter3 = 0;
    p.exitBoostAllowed = true;
}

// The kind of turn, from the press, how much it grew since the last frame and the speed.
uint32_t KineticBike::chooseTurnKind(bool right, int32_t press) {
    const int slideAccel = right ? BIKEACTION_RIGHT_POWERSLIDE_ACCEL : BIKEACTION_LEFT_POWERSLIDE_ACCEL;
    const int slideBoth =
        right ? BIKEACTION_RIGHT_POWERSLIDE_ACCEL_BRAKE : BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE;
    uint32_t& kind = right ? ride.rightTurnType : ride.leftTurnType;
    int32_t& lastPressed = right ? ride.lastRightTurnPressed : ride.lastLeftTurnPressed;
    int32_t& sharpPressed = right ? ride.sharpRightTurnPressedCounter : ride.sharpLeftTurnPressedCounter;
    const int32_t n = ride.bikeStateCounter[ride.bikeState];
    const float amount = handling.turnAmount;
    const float speed = frame.linearVelocityMag;

    const int32_t change = n == 0 ? press : press - lastPressed;
    lastPressed = press;
    sharpPressed = press >= kFirmPress ? sharpPressed + 1 : 0;

    if (isCPU || n == 0) {
        kind = TURN_NORMAL;
    } else if (ride.throttleUp < 1.0f) {
        if (press < kFirmPress || speed <= kCreepSpeed || speed >= kLaunchMaxSpeed || amount == 0.0f) {
            kind = TURN_NORMAL;
        } else {
            if (checkMessage(slideAccel) && speed > kSlowTurnSpeed)
                kind = TURN_LAUNCH_SLIDE;
            else if (checkMessage(slideBoth))
                kind = TURN_LAUNCH_SLIDE_BRAKE;
            else if (checkMessage(BIKEACTION_BRAKE) && checkMessage(BIKEACTION_ACCEL))
                kind = TURN_LAUNCH_BRAKE_ACCEL;
            else
                kind = TURN_LAUNCH;
            ride.throttleUpActive = 1;
        }
    } else if (kind == TURN_NORMAL) {
        if (((change >= kSharpPressJump && press >= kSharpPress) || sharpPressed >= kSharpHoldFrames) &&
            speed > kSharpTurnSpeed) {
            kind = TURN_SHARP;
            ride.sharpTurnCounter = 0;
            ride.eventStartVelocityMag = speed;
        }
    } else if (kind == TURN_SHARP) {
        if (press < kSharpReleasePress || speed < kSharpTurnSpeed) kind = TURN_NORMAL;
    } else {
        kind = TURN_NORMAL;
    }
    return kind;
}

// What every kind of turn shares: flag, lean, grip, steering and the yaw rate of a normal turn.
KineticBike::TurnShape KineticBike::setUpTurn(bool right) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const int32_t n = ride.bikeStateCounter[ride.bikeState];
    const float amount = p.turnAmount;
    status.flags |= 1u << (right ? BIKE_RIGHT_TURN : BIKE_LEFT_TURN);
    setLeanTau(kTurnLeanTau);
    p.groundHoldForce = kTurnGroundHold;
    p.frictionTarget[0] = p.frictionTarget[1] = 2.0f * tFriction.turn.normal;
    p.steeringGain = kTurnSteeringGain;
    const float r = n / kTurnInFrames < 1.0f ? static_cast<float>(n) / kTurnInFrames : 1.0f;
    float g = static_cast<float>(n) / kGainFrames;
    g = g < kMinGain ? kMinGain : (g > kMaxGain ? kMaxGain : g);
    ride.turnStep = -side * r;
    const float cornering = attributes.corneringPercent;
    const float c = speedCurve(frame.linearVelocityMag);
    if (frame.linearVelocityMag > kSlowTurnSpeed) {
        p.yawRateTarget = side * g * kYawRateGain * cornering * amount * c;
        lean.leanPercent = g * cornering * amount * c;
    } else {
        p.yawRateTarget = 0.0f;
        lean.leanPercent = 0.0f;
    }
    p.leanSign = side;
    p.leanMagnitude = kTurnLean;
    p.steeringPercent[0] = 1.0f;
    p.steeringPercent[1] = kRearSteerShare;
    return TurnShape{g, c};
}

// On the throttle: the launches' kick and yaw, and the sharp turn's push.
void KineticBike::driveTurn(bool right, uint32_t kind, const TurnShape& shape) {
    HandlingParams& p = handling;
    const float side = right ? -1.0f : 1.0f;
    const float g = shape.gain, c = shape.speedFactor;
    const float amount = p.turnAmount;
    const float cornering = attributes.corneringPercent;
    const TurnFriction& F = tFriction.fromStop;
    const float massInv = chassis ? chassis->m_massInv : 0.0f;
    const qzVector3d sideDir = frame.fRightDir * side;
    auto kick = [&](float k) { addChassisVelocity(sideDir * (massInv * k * F.force * ride.throttleUp)); };
    switch (kind) {
        case TURN_LAUNCH:
            p.yawRateTarget = side * g * amount * kLaunchYawGain * F.ang * cornering * c;
            kick(kLaunchKick);
            break;
        case TURN_LAUNCH_SLIDE_BRAKE:
            relaunch(right, kSlideBrakeLaunchSpeed, false);
            lean.leanPercent = 1.0f;
            p.leanMagnitude = kSlideBrakeLaunchLean;
            p.yawRateTarget = side * g * amount * kSlideBrakeLaunchYawGain * F.ang * cornering * c;
            kick(kSlideLaunchKick);
            break;
        case TURN_LAUNCH_BRAKE_ACCEL:
        case TURN_LAUNCH_SLIDE:
            relaunch(right, kSlideLaunchSpeed, true);
            lean.leanPercent = 1.0f;
            p.leanMagnitude = kSlideLaunchLean;
            p.yawRateTarget = side * g * amount * kLaunchYawGain * F.ang * cornering * c;
            kick(kSlideLaunchKick);
            break;
        case TURN_SHARP: {
            int32_t& sharpPressed =
                right ? ride.sharpRightTurnPressedCounter : ride.sharpLeftTurnPressedCounter;
            const float s = static_cast<float>(ride.sharpTurnCounter);
            const float h = getSlopePoint(0.0f, 1.0f, kSharpPushFull, 1.0f, kSharpPushEnd, 0.0f, s);
            if (ride.sharpTurnCounter < kSharpTurnFrames) {
                if (sharpPressed < kSharpGripPressFrames)
                    p.frictionTarget[0] = p.frictionTarget[1] =
                        2.0f * tFriction.slide.normal *
                        getSlopePoint(0.0f, 0.0f, kSharpGripFrom, 0.0f, kSharpGripFull, 1.0f, s);
                const float ramp = s / kSharpPushFull < 1.0f ? s / kSharpPushFull : 1.0f;
                addChassisVelocity(frame.fForwardDir * (massInv * h * kSharpPush * tFriction.slide.force *
                                                        amount * x_sqrt(p.speedFactor) * ramp));
                if (h != 0.0f) limitChassisSpeed(ride.eventStartVelocityMag);
            }
            ++ride.sharpTurnCounter;
            break;
        }
        default:
            break;
    }
}

// The chassis velocity rebuilt in the bike's frame: forward set (or only raised) to `forward`,
// sideways capped towards the turn's outside.
void KineticBike::relaunch(bool right, float forward, bool raiseOnly) {
    if (!chassis) return;
    const Kinetic::Vector3 v = chassis->m_linearVelocity;
    const qzVector3d vel(v.x, v.y, v.z);
    float f = vel * frame.forwardDir;
    float s = vel * frame.rightDir;
    const float u = vel * frame.upDir;
    f = raiseOnly ? (f > forward ? f : forward) : forward;
    if (right)
        s = s < -kLaunchSideSpeed ? -kLaunchSideSpeed : s;
    else
        s = s > kLaunchSideSpeed ? kLaunchSideSpeed : s;
    const qzVector3d w = frame.forwardDir * f + frame.rightDir * s + frame.upDir * u;
    chassis->m_linearVelocity = Kinetic::Vector3(w.x, w.y, w.z);
}
