// The common tail of the bike's control step. After the handler of the handling state has filled the
// parameter block, every run applies it here in a fixed order: launch friction, turn and slide counters,
// slide exit boosts, pitch targets, per-state counters, wheel friction, steering and lean; then the
// throttle and engine resistance, slope boost and brake torque, braking amount, suspension tuning,
// chassis spin and pushes, centre-of-mass shift and the driver input for the next physics step.
#include "bike/bike_control.h"
#include "bike/components/bike_brake.h"
#include "bike/components/bike_driver_input.h"
#include "bike/components/bike_engine.h"
#include "bike/components/bike_steering.h"
#include "bike/components/bike_suspension.h"
#include "bike/kinetic_bike.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/terrain_type.h"

namespace {

constexpr uint32_t bit(int b) {
    return 1u << b;
}

float clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

Kinetic::Vector3 toKinetic(const qzVector3d& v) {
    return Kinetic::Vector3(v.x, v.y, v.z);
}

// Speeds (m/s) the tail compares with.
constexpr float kCrawl = 0.925926f;      // 3.33 km/h
constexpr float kStoppie = 2.31481f;     // 8.33 km/h
constexpr float kWheelie = 5.55556f;     // 20 km/h
constexpr float kBraking = 4.62963f;     // 16.67 km/h
constexpr float kSideSlip = 9.25926f;    // 33.33 km/h
constexpr float kLeanLimit = 70.0f;      // degrees either side of the terrain roll
constexpr float kSuspStrength = 120.0f;  // the airborne suspension
constexpr float kSuspDampenRelax = 25.0f;
constexpr float kSuspDampenComp = 30.0f;

// Grip, boosts and pitch.
constexpr float kLaunchGripGain = 8.0f;  // launch grip per unit of launch ramp and speed factor
constexpr float kLaunchGripMax = 2.0f;
constexpr float kSlideAccelExitBoost = 4.5f;   // engine boost factor after an accelerating slide
constexpr float kSlideBrakeExitBoost = 4.0f;   // after a braking slide
constexpr float kPitchPerDegree = 2.16f;       // relative pitch per degree of the pitch curves
constexpr float kPitchRateGain = 2.0f;         // rad/s at the curve's peak
constexpr float kPitchCurveStart = 0.5f;       // the wheelie and stoppie curve: 0.5 level, 1 at 22.5 ...
constexpr float kPitchCurvePeak = 22.5f;       // degrees
constexpr float kPitchCurveEnd = 45.0f;        // ... 0 at 45 degrees
constexpr float kThrottleWheeliePeak = 12.0f;  // the throttle wheelie's curve: peak at 12 degrees ...
constexpr float kThrottleWheelieEnd = 25.0f;   // ... 0 at 25
constexpr float kFullGripPitch = 25.0f;        // terrain pitch (degrees) with full grip ...
constexpr float kNoGripPitch = 90.0f;          // ... fading to none here
constexpr float kMinLeanAmount = 0.2f;         // share of the terrain roll the lean follows
constexpr float kMaxLeanAmount = 0.65f;
constexpr float kRadPerDegree = 0.0174533f;

// Throttle and brakes.
constexpr float kWheelieCutPitch = 65.0f;       // degrees nose up where a wheelie cuts the throttle
constexpr float kLaunchRampStep = 0.00833333f;  // per frame: the launch ramp takes two seconds
constexpr float kMinThrottle = 0.1f;
constexpr float kRightAngle = 90.0f;  // degrees
constexpr float kSlopeSteps = 10.0f;  // the slope in tenths of a right angle
constexpr float kSlopeStep = 0.1f;
constexpr float kDownhillBrakeGain = -1.5f;  // extra brake per tenth of downhill
constexpr float kUphillBoostGain = 0.5f;     // extra engine boost per tenth of uphill
constexpr float kBrakeTorque = 8000.0f;      // N m per wheel
constexpr int32_t kLongBrakeFrames = 120;

// Suspension targets while grounded: strength, relaxation, compression; front, rear.
constexpr float kLandingSusp[6] = {40, 40, 40, 40, 40, 40};
constexpr float kBrakingSusp[6] = {30, 90, 25, 50, 20, 60};
constexpr float kThrottleWheelieSusp[6] = {90, 50, 50, 35, 60, 40};
constexpr float kRidingSusp[6] = {170, 170, 80, 80, 90, 90};
constexpr float kSuspStep = 5.0f;  // per frame toward the targets
constexpr int32_t kLandingFrames = 15;
constexpr float kBrakeDivePitch = -15.0f;      // degrees: nose-down limit of the braking pitch torque
constexpr float kBrakeDiveTorque = -8000.0f;   // N m about the right axis
constexpr float kWheelieHoldForce = 60000.0f;  // N

// Pushes while rolling on or near the ground (N).
constexpr float kSlipPush = 150000.0f;
constexpr float kTurnSlipPush = 75000.0f;
constexpr float kPressDown = 100000.0f;
constexpr float kWheelOffPressDown = 150000.0f;
constexpr int32_t kPostCrashHoldFrames = 61;

// Centre-of-mass shift (m along the chassis's forward axis).
constexpr float kComShift = 0.35f;
constexpr int32_t kCollidedInputFrames = 21;  // no throttle this soon after a collision

// Engine resistance factors at minimum, optimum and maximum RPM.
struct Resistance {
    float min, opt, max;
};
constexpr Resistance kCut{1.0f, 2.5f, 2.5f};
constexpr Resistance kRide{0.01f, 0.0275f, 0.065f};
constexpr Resistance kWheelieSet{0.9f, 2.0f, 2.0f};
constexpr Resistance kReverse{-1.75f, -1.75f, -1.75f};

void setResistance(Kinetic::CBikeEngine* e, const Resistance& r) {
    e->m_resistanceFactorAtMinRPM = r.min;
    e->m_resistanceFactorAtOptRPM = r.opt;
    e->m_resistanceFactorAtMaxRPM = r.max;
}

bool isTakeOffMarker(uint32_t t) {
    switch (t) {
        case aiPreLoad:
        case preload2:
        case preload3:
        case preload4:
        case jump_skill2:
        case jump_skill3:
        case jump_skill4:
        case jumpLand:
            return true;
        default:
            return false;
    }
}

// Handling states the tail tells apart.
constexpr uint32_t kCoast = 0, kAccel = 1, kLeftTurn = 3, kRightTurn = 4, kLeftSlideAccel = 5,
                   kRightSlideAccel = 6, kLeftSlideBrake = 7, kRightSlideBrake = 8;
constexpr uint32_t kNumStates = 17;

}  // namespace

void KineticBike::controlTail() {
    tailCountersFrictionLean();
    tailDriveAndForces();
}

void KineticBike::tailCountersFrictionLean() {
    tailTurnCounters();
    tailExitBoost();
    tailPitchAndFriction();
    tailSteerAndLean();
}

// Launch grip, and the signed turn counters: negative frames to the left, positive to the right.
void KineticBike::tailTurnCounters() {
    HandlingParams& p = handling;
    // Launch friction: both wheels grip harder as the launch ramp climbs on level ground.
    if (ride.throttleUpActive && ride.throttleUp != 0.0f && ride.throttleUp < 1.0f && ground.levelGround) {
        const float f = tFriction.fromStop.normal * kLaunchGripGain * ride.throttleUp * p.speedFactor;
        p.frictionTarget[0] = p.frictionTarget[1] = f < kLaunchGripMax ? f : kLaunchGripMax;
    }

    // Counters run negative while turning left and positive while turning right, starting again from 0 when
    // the side changes.
    auto left = [](int32_t c) { return (c < 0 ? c : 0) - 1; };
    auto right = [](int32_t c) { return (c > 0 ? c : 0) + 1; };
    auto turn = [&](int32_t (*step)(int32_t)) {
        ride.turnCounter = step(ride.turnCounter);
        ride.powerSlideAccelTurnCounter = ride.powerSlideBrakeTurnCounter = 0;
        ride.powerSlideEnd = 0;
        ride.turnPressedPercent = p.turnAmount;
    };
    auto slide = [&](int32_t (*step)(int32_t), bool braking) {
        ride.turnCounter = step(ride.turnCounter);
        int32_t& counting = braking ? ride.powerSlideBrakeTurnCounter : ride.powerSlideAccelTurnCounter;
        int32_t& other = braking ? ride.powerSlideAccelTurnCounter : ride.powerSlideBrakeTurnCounter;
        counting = step(counting);
        other = 0;
        ride.turnPressedPercent = p.turnAmount;
    };
    if (status.flags & bit(BIKE_LEFT_TURN)) {
        turn(left);
    } else if (status.flags & bit(BIKE_POWERSLIDE_LEFT)) {
        slide(left, ride.bikeState == kLeftSlideBrake);
    } else if (status.flags & bit(BIKE_RIGHT_TURN)) {
        turn(right);
    } else if (status.flags & bit(BIKE_POWERSLIDE_RIGHT)) {
        slide(right, ride.bikeState == kRightSlideBrake);
    } else {
        ride.turnCounter = ride.powerSlideAccelTurnCounter = ride.powerSlideBrakeTurnCounter = 0;
        ride.turnPressedPercent = 0.0f;
        ride.powerSlideEnd = 0;
    }
    if (ride.bikeState != kLeftTurn) ride.sharpLeftTurnPressedCounter = 0;
    if (ride.bikeState != kRightTurn) ride.sharpRightTurnPressedCounter = 0;
}

// Power-slide exit boosts: accelerating away shortly after a slide ended. The counter of a state that
// is not current reads minus the frames since it was left.
void KineticBike::tailExitBoost() {
    HandlingParams& p = handling;
    auto* engine = static_cast<Kinetic::CBikeEngine*>(m_engine);
    auto within = [](int32_t c, int32_t lo, int32_t hi) { return c >= lo && c <= hi; };
    auto leftWithin = [&](uint32_t a, uint32_t b, int32_t lo) {
        return within(ride.bikeStateCounter[a], lo, -6) || within(ride.bikeStateCounter[b], lo, -6);
    };
    const bool accelHeld = checkMessage(BIKEACTION_ACCEL);
    if (ride.powerSlideAccelBoostEligible && p.exitBoostAllowed &&
        frame.linearVelocityMag < ride.powerSlideAccelBoostVelocityMag) {
        if (leftWithin(kRightSlideAccel, kLeftSlideAccel, -44) && accelHeld) {
            ride.throttle = 1.0f;
            engine->scaleEngineBoost(kSlideAccelExitBoost);
            ride.bikeStateCounter[kLeftSlideBrake] = ride.bikeStateCounter[kRightSlideBrake] = -1000;
        }
    } else if (ride.powerSlideBrakeBoostEligible && p.exitBoostAllowed &&
               frame.linearVelocityMag < ride.powerSlideBrakeBoostVelocityMag) {
        if (leftWithin(kRightSlideBrake, kLeftSlideBrake, -54) && accelHeld) {
            ride.throttle = 1.0f;
            engine->scaleEngineBoost(kSlideBrakeExitBoost);
            ride.bikeStateCounter[kLeftSlideAccel] = ride.bikeStateCounter[kRightSlideAccel] = -1000;
        }
    }
}

// Wheelie and stoppie pitch targets, the per-state counters and the wheels' friction.
void KineticBike::tailPitchAndFriction() {
    HandlingParams& p = handling;
    if (ride.wheelieRequested && frame.linearVelocityMag > kWheelie)
        p.pitchRate =
            kPitchRateGain * getSlopePoint(0.0f, kPitchCurveStart, kPitchCurvePeak, 1.0f, kPitchCurveEnd,
                                           0.0f, -ground.bikeRelativePitch / kPitchPerDegree);
    else if ((status.flags & bit(BIKE_STOPPIE)) && frame.linearVelocityMag > kStoppie)
        p.pitchRate =
            -kPitchRateGain * getSlopePoint(0.0f, kPitchCurveStart, kPitchCurvePeak, 1.0f, kPitchCurveEnd,
                                            0.0f, ground.bikeRelativePitch / kPitchPerDegree);

    for (uint32_t s = 0; s < kNumStates; ++s) ride.bikeStateCounter[s] += s == ride.bikeState ? 1 : -1;

    // Wheel friction, fading out on steep ground under each wheel.
    for (int w = 0; w < 2; ++w) {
        const float factor =
            getSlopePoint(0.0f, 1.0f, kFullGripPitch, 1.0f, kNoGripPitch, 0.0f, ground.terrainPitch[w]);
        m_wheels->m_wheelsFriction[static_cast<size_t>(w)] =
            ride.frictionFilter[w].step(p.frictionTarget[w] * factor);
    }
}

// Steering and lean, on or near the ground and rolling.
void KineticBike::tailSteerAndLean() {
    HandlingParams& p = handling;
    if (!(p.onGround || p.nearGround) || frame.linearVelocityMag <= kCrawl) return;
    auto* steering = static_cast<Kinetic::CBikeSteering*>(m_steering);
    steering->setSteeringAnglePercent(0, p.steeringPercent[0]);
    steering->setSteeringAnglePercent(1, p.steeringPercent[1]);
    const float amount = clampf(p.turnAmount, kMinLeanAmount, kMaxLeanAmount);
    lean.leanRot = lean.leanPercent * p.leanMagnitude * p.leanSign + amount * ground.terrainRoll;
    lean.leanRot = clampf(lean.leanRot, ground.terrainRoll - kLeanLimit, ground.terrainRoll + kLeanLimit);
    lean.leanRot = lean.leanFilter.step(lean.leanRot);
    if (constraint) constraint->setAngle(lean.leanRot * kRadPerDegree);
}

void KineticBike::tailDriveAndForces() {
    HandlingParams& p = handling;
    tailThrottle();
    const float braking = tailSlopeAndBrakes();
    tailSuspension(braking);
    tailChassisForces();
    tailCentreOfMass();
    m_input->m_steeringWheelInput = ride.turnStep * p.steeringGain;
    m_input->m_brakePedalInput = braking;
    m_input->m_acceleratorPedalInput =
        (crash.collidedCounter < kCollidedInputFrames || !crash.postCrashHitGround) ? 0.0f : ride.throttle;
}

// Throttle and engine resistance.
void KineticBike::tailThrottle() {
    HandlingParams& p = handling;
    auto* engine = static_cast<Kinetic::CBikeEngine*>(m_engine);
    if (p.throttleStep == 0.0f || (ride.wheelieCondition && -ground.bikeRelativePitch > kWheelieCutPitch)) {
        ride.throttle = 0.0f;
        setResistance(engine, kCut);
    } else {
        setResistance(engine, (ride.wheelieCondition || ride.wheelieRequested) ? kWheelieSet : kRide);
        if (ride.throttle == 0.0f) {
            ride.throttle = engine->getThrottle();
        } else {
            ride.throttle += p.throttleStep;
            ride.throttleUp += kLaunchRampStep;
        }
        ride.throttle = clampf(ride.throttle, kMinThrottle, 1.0f);
        if (ride.throttleUp > 1.0f) ride.throttleUp = 1.0f;
    }
}

// Slope boost uphill, stronger brakes downhill once braking has lasted two seconds (the pitch cut to
// tenths of a right angle toward zero), reverse resistance, and the braking amount it returns.
float KineticBike::tailSlopeAndBrakes() {
    HandlingParams& p = handling;
    auto* engine = static_cast<Kinetic::CBikeEngine*>(m_engine);
    auto* brake = static_cast<Kinetic::CBikeBrake*>(m_brakes);
    const bool front = ground.wheelInfo[0].m_isInContact, back = ground.wheelInfo[1].m_isInContact;
    float g =
        static_cast<float>(static_cast<int>(ground.terrainPitchAvg / kRightAngle * kSlopeSteps)) * kSlopeStep;
    float b = kDownhillBrakeGain * g;
    if (g < 0.0f) g = 0.0f;
    if ((front || back) && !ride.wheelieRequested && !ride.wheelieCondition)
        engine->scaleEngineBoost(1.0f + kUphillBoostGain * g);
    if (!crash.movingForward) b = -b;
    b = clampf(b, 0.0f, 1.0f);
    const float k = ride.brakeAppliedCounter >= kLongBrakeFrames ? 1.0f : 0.0f;
    for (float& t : brake->m_wheelsMaxBrakingTorque) t = kBrakeTorque + b * kBrakeTorque * k;

    if (!checkMessage(BIKEACTION_ACCEL) && !crash.movingForward &&
        !(status.flags & (bit(BIKE_POWERSLIDE_LEFT) | bit(BIKE_POWERSLIDE_RIGHT))))
        setResistance(engine, kReverse);

    float braking = 0.0f;
    if (p.brakeStep != 0.0f) {
        ride.brakingScale += p.brakeStep;
        braking = ride.brakingScale < 1.0f ? ride.brakingScale : 1.0f;
        ++ride.brakeAppliedCounter;
    } else {
        ride.brakeAppliedCounter = 0;
    }
    return braking;
}

// Suspension: airborne values off the ground, else targets approached by 5 per frame.
void KineticBike::tailSuspension(float braking) {
    HandlingParams& p = handling;
    auto* susp = static_cast<Kinetic::CBikeSuspension*>(m_suspension);
    const bool grounded = p.onGround || p.nearGround;
    std::vector<float>* values[3] = {&susp->m_wheelsStrength, &susp->m_wheelsDampingRelaxation,
                                     &susp->m_wheelsDampingCompression};
    const float airborne[3] = {kSuspStrength, kSuspDampenRelax, kSuspDampenComp};
    if (!grounded) {
        for (int v = 0; v < 3; ++v) (*values[v])[0] = (*values[v])[1] = airborne[v];
        return;
    }
    // Strength, relaxation, compression; front, rear.
    float target[3][2];
    auto set = [&](const float(&x)[6]) {
        for (int v = 0; v < 3; ++v) target[v][0] = x[2 * v], target[v][1] = x[2 * v + 1];
    };
    if (isTakeOffMarker(ground.terrainType) && ground.lastTerrainType != ground.terrainType) {
        for (int v = 0; v < 3; ++v) (*values[v])[0] = (*values[v])[1] = airborne[v];
        const float takeOff[6] = {kSuspStrength,    kSuspStrength,   kSuspDampenRelax,
                                  kSuspDampenRelax, kSuspDampenComp, kSuspDampenComp};
        set(takeOff);
    } else if (air.bikeLandCounter < kLandingFrames) {
        set(kLandingSusp);
    } else if (braking != 0.0f && frame.linearVelocityMag > kBraking) {
        set(kBrakingSusp);
        if (ground.bikePitch > kBrakeDivePitch)
            chassis->m_torqueAccum += toKinetic(frame.rightDir) * kBrakeDiveTorque;
    } else if (ride.throttleWheelie && !isCPU) {
        set(kThrottleWheelieSusp);
        p.groundHoldForce = kWheelieHoldForce;
        ride.comShiftState = 2;
        p.pitchRate = kPitchRateGain * getSlopePoint(0.0f, kPitchCurveStart, kThrottleWheeliePeak, 1.0f,
                                                     kThrottleWheelieEnd, 0.0f,
                                                     -ground.bikeRelativePitch / kPitchPerDegree);
    } else {
        set(kRidingSusp);
    }
    for (int v = 0; v < 3; ++v)
        for (size_t w = 0; w < 2; ++w) {
            float& cur = (*values[v])[w];
            const float d = target[v][w] - cur;
            cur = d > kSuspStep ? cur + kSuspStep : (d < -kSuspStep ? cur - kSuspStep : target[v][w]);
        }
}

// Chassis spin and pushes, on or near the ground and rolling.
void KineticBike::tailChassisForces() {
    HandlingParams& p = handling;
    const bool front = ground.wheelInfo[0].m_isInContact, back = ground.wheelInfo[1].m_isInContact;
    const bool grounded = p.onGround || p.nearGround;
    if (!grounded || frame.linearVelocityMag <= kCrawl) return;
    const float yaw = ride.filterSAV.step(p.yawRateTarget);
    chassis->m_angularVelocity = toKinetic(p.groundNormal * yaw + p.rollAxis * p.rollRate +
                                           p.pitchAxis * (p.pitchRate * p.pitchRateScale));
    const float d = frame.rightDir * linearVelocity;
    const qzVector3d push = d > 0.0f ? frame.fRightDir * -1.0f : frame.fRightDir;
    const Kinetic::Vector3 down = toKinetic(frame.fUpDir) * -1.0f;
    const bool wheelOff = p.nearGround && !(front && back);
    const bool slipping = d > kSideSlip || d < -kSideSlip;
    const bool sliding = ride.bikeState >= kLeftSlideAccel && ride.bikeState <= kRightSlideBrake;
    Kinetic::Vector3& force = chassis->m_forceAccum;
    if (ride.bikeState == kCoast || ride.bikeState == kAccel) {
        if (slipping) {
            force += toKinetic(push) * kSlipPush;
            force += down * (wheelOff ? kWheelOffPressDown : kPressDown);
        }
    } else if (ride.bikeState == kLeftTurn || ride.bikeState == kRightTurn) {
        if (slipping) {
            force += toKinetic(push) * kTurnSlipPush;
            if (wheelOff) force += down * kWheelOffPressDown;
        }
    } else if (sliding && slipping) {
        force += toKinetic(push) * (isCPU ? kSlipPush : kTurnSlipPush);
    }
    ride.powerSlideBreakAway = 0;
    if (wheelOff && sliding) {
        force += down * kWheelOffPressDown;
        ride.powerSlideBreakAway = 1;
    } else if ((front && back && !ride.wheelieRequested && !ride.wheelieCondition &&
                !(status.flags & bit(BIKE_STOPPIE))) ||
               crash.postCrashCounter < kPostCrashHoldFrames) {
        qzVector3d dir = frame.fUpDir * -1.0f;
        if (checkMessage(BIKEACTION_ACCEL)) {
            dir = (ground.wheelNormVec[0] + ground.wheelNormVec[1]) * -0.5f;
            qzMath::qzMathVectorNormalize(&dir);
        }
        force += toKinetic(dir) * p.groundHoldForce;
    }
}

// Centre of mass: back for a wheelie, forward for a stoppie.
void KineticBike::tailCentreOfMass() {
    if (ride.comShiftState == ride.lastComShiftState) return;
    auto* susp = static_cast<Kinetic::CBikeSuspension*>(m_suspension);
    auto shift = [this, susp](const qzVector3d& s) {
        chassis->shiftCentreOfMass(toKinetic(s));
        centerOfMass = centerOfMass + s;
        for (Kinetic::Vector3& h : susp->m_wheelsHardpointCS) h -= toKinetic(s);
    };
    shift(centerOfMass * -1.0f);
    if (ride.comShiftState == 1) shift(qzVector3d(0.0f, kComShift, 0.0f));
    if (ride.comShiftState == 2) shift(qzVector3d(0.0f, -kComShift, 0.0f));
    ride.lastComShiftState = ride.comShiftState;
}
