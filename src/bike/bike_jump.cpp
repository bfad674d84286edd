// The bike's jumps. The preload: a timed hold of the preload button that, released on a ramp lip,
// launches the bike with a torque and a short push along the track. The jump assist: on marked take-off
// ramps it sets the take-off speed so that the flight reaches the ramp pair's landing, bends the climb
// towards 20 degrees, and in the air adds the extra gravity that brings the bike down on the landing.
// After a touch-down the landing speed is held for a few steps; the crash zone the bike rides through is
// remembered for the crash reset.
#include "bike/bike_crash.h"
#include "bike/components/bike_aerodynamics.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "game/core/global_options.h"
#include "game/core/random.h"
#include "kinetic/dynamics/rigid_body.h"
#include "world/ramps.h"
#include "world/spline_manager.h"
#include "world/terrain_type.h"

using namespace bikecrash;

namespace {

constexpr float kGravity = 15.1074f;
constexpr float kLaunchSpeed = 13.8889f;  // 50 km/h
constexpr float kRampSpeed = 30.5556f;    // 110 km/h
// Leaving the ramp: sqrt(558.974 / sin(0.698132 rad)) m/s, with 558.974 = 37 m x the game's gravity
// (15.1074) and 0.698132 rad = 40 degrees; exact to the millimetre per second.
constexpr float kFlightSpeed = 29.489f;
constexpr float kTargetClimb = 20.0f;  // degrees
constexpr float kRadToDeg = 57.2958f;
constexpr uint32_t kLockOut = 120;
constexpr uint32_t kHoldIgnored = 300;
constexpr int32_t kPushSteps = 20;
constexpr float kNearRamp = 4000.0f;  // spline time

// The preload.
constexpr float kLipPitch = 10.0f;          // degrees between the wheels' terrain pitch on a ramp lip
constexpr float kPushFrames = 20.0f;        // the push fades over its steps
constexpr float kPushAlong = 1.35f;         // the push's direction: along the track ...
constexpr float kPushUp = -1.5f;            // ... and up (physics y points down)
constexpr float kPushImpulse = 1080.0f;     // N s per step at full strength
constexpr float kPreLoadGravity = -0.3f;    // m/s^2 of lift while the preload pushes
constexpr float kPreLoadTorque = 45000.0f;  // N m about the level right axis
constexpr float kAlongTrack = 0.8f;         // forward . track direction for a bike riding along it

// The jump assist.
constexpr float kPercent = 100.0f;
constexpr float kToleranceUnitsPerMs = 2.16f;  // the attributes' speed tolerances per m/s
constexpr float kMinClimb = 7.0f;              // degrees: a flatter climb is not helped
constexpr float kClimbStep = 0.5f;             // degrees per step of the climb's bend
constexpr float kRangePerModelUnit = 0.005f;   // the jump range per model unit to the landing
constexpr float kAngleTolerance = 0.25f;       // degrees
constexpr float kMetresPerModelUnit = 0.01f;
// The fall time is sqrt(kFallScale x height / gravity), the height in model units.
constexpr float kFallScale = 0.005f;
constexpr float kMidwayScale = 0.0025f;    // per model unit to the midpoint of the ramp pair
constexpr float kRangeDrop = 15.0f;        // model units below the landing per unit of jump range
constexpr float kRampReach2 = 1000000.0f;  // 1000 model units, squared
constexpr float kModelUnitsPerMetre = 100.0f;

bool splineDirAt(float t, qzVector3d* dir) {
    qzVector3d p;
    return CSplineManager::getSplineManager()->getPoint(t, CSplineManager::WayPoint, p, *dir);
}

bool indoorOrOutdoor() {
    return gameOptions.trackType == TRACKTYPE_INDOOR || gameOptions.trackType == TRACKTYPE_OUTDOOR;
}

float degreesBetween(const qzVector3d& a, const qzVector3d& b) {
    return x_acos(clampf(a * b, -1.0f, 1.0f)) * kRadToDeg;
}

}  // namespace

namespace bikecrash {

bool IsTakeOffCode(uint32_t code) {
    switch (code) {
        case jump_skill4:
        case jump_skill3:
        case jump_skill2:
        case preload4:
        case preload3:
        case preload2:
        case aiPreLoad:
        case jumpLand:
            return true;
        default:
            return false;
    }
}

int TakeOffKind(uint32_t code) {
    return code == aiPreLoad || code == preload2 || code == preload3 || code == preload4 ? 0 : 1;
}

}  // namespace bikecrash

void KineticBike::preLoad() {
    const bool takeOff = (!ground.wheelInfo[0].m_isInContact && ground.wheelInfo[1].m_isInContact &&
                          ground.terrainPitch[1] - ground.terrainPitch[0] > kLipPitch) ||
                         air.framesInAir == 1 || IsTakeOffCode(ground.lastTerrainType);
    auto* aero = static_cast<Kinetic::CBikeAerodynamics*>(m_aerodynamics);
    aero->m_extraGravity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    air.preLoadExtraGravity = 0.0f;
    const bool held = checkMessage(BIKEACTION_PRELOAD);
    air.preLoadPressedCounter = held ? air.preLoadPressedCounter + 1 : 0;

    if (air.preLoadWaitDelay != 0) {
        preLoadPush();
        return;
    }
    air.preLoadReportState = 0;
    if (held) {
        preLoadHold();
        return;
    }
    preLoadRelease(takeOff);
}

// After a launch or a failed attempt: the launch's push along the track, then a lock-out.
void KineticBike::preLoadPush() {
    --air.preLoadWaitDelay;
    if (air.preLoadForceCounter != 0) {
        const float s = clampf(1.0f - static_cast<float>(air.preLoadForceCounter) / kPushFrames, 0.0f, 1.0f);
        const qzVector3d d = unit(qzVector3d(kPushAlong * air.preLoadSplineTangent.x, kPushUp,
                                             kPushAlong * air.preLoadSplineTangent.z));
        chassis->m_linearVelocity += toKinetic(d) * (kPushImpulse * s * chassis->m_massInv);
        --air.preLoadForceCounter;
    }
    air.preLoadExtraGravity = kPreLoadGravity;
}

void KineticBike::preLoadFail() {
    air.preLoadWaitDelay = kLockOut;
    air.preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    air.preLoadReportState = 2;
}

// The button held: too early, in the window, or held too long.
void KineticBike::preLoadHold() {
    const uint32_t preWindow = isCPU ? 6 : 12, windowEnd = isCPU ? 150 : 120;
    const uint32_t c = air.preLoadPressedCounter;
    if (c >= kHoldIgnored) return;
    status.flags |= bit(BIKE_PRELOAD);
    if (c <= preWindow)
        air.preLoadJumpState = PRELOAD_PRE_WINDOW;
    else if (c <= windowEnd)
        air.preLoadJumpState = PRELOAD_DURING_WINDOW;
    else
        preLoadFail();
}

// The button released in the window: the launch, at the first take-off within the launch window.
void KineticBike::preLoadRelease(bool takeOff) {
    const uint32_t launchWindow = isCPU ? 21 : 45;
    switch (air.preLoadJumpState) {
        case PRELOAD_NO_ATTEMPT_PENDING:
            air.preLoadPressedCounter = 0;
            air.preLoadJump = 0;
            air.preLoadJumpCounter = 0;
            return;
        case PRELOAD_PRE_WINDOW:
            preLoadFail();
            return;
        case PRELOAD_DURING_WINDOW:
            break;
        default:
            return;
    }
    status.flags |= bit(BIKE_PRELOAD);
    if (!air.preLoadJump) {
        air.preLoadJump = 1;
        air.preLoadJumpCounter = 0;
    } else {
        ++air.preLoadJumpCounter;
    }
    if (air.framesInAir > 1 || air.preLoadJumpCounter > launchWindow) {
        preLoadFail();
        return;
    }
    if (!takeOff || frame.linearVelocityMag < kLaunchSpeed) return;

    chassis->m_torqueAccum += toKinetic(frame.fRightDir) * kPreLoadTorque;
    air.preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    air.preLoadWaitDelay = kLockOut;
    air.preLoadReportState = 1;
    air.preLoadForceCounter = kPushSteps;
    air.preLoadSplineTangent = frame.fForwardDir;
    if (!indoorOrOutdoor()) return;
    air.rampPair = CRamps::getInstance()->getJumpRampPair(ground.bikePos);
    qzVector3d dir;
    if (air.rampPair && x_fabs(laps.curWayTime - air.rampPair->wayTime) < kNearRamp &&
        splineDirAt(laps.curWayTime, &dir) && frame.forwardDir * dir > kAlongTrack)
        air.preLoadSplineTangent = flatUnit(dir);
}

void KineticBike::jumpSpeed() {
    const bool allowed = gameOptions.trackType != TRACKTYPE_BAJA &&
                         !(status.flags & (bit(BIKE_POWERSLIDE_LEFT) | bit(BIKE_POWERSLIDE_RIGHT))) &&
                         !air.jumpConsistencyAssist && ride.nitroState == NO_NITRO &&
                         checkMessage(BIKEACTION_ACCEL) && air.framesInAir < 4;
    if (!allowed) {
        air.jumpAssist = 0;
        air.jumpSpeedRightWay = 0.0f;
        return;
    }
    const bool onCode = IsTakeOffCode(ground.terrainType);
    if (onCode && ground.lastTerrainType != ground.terrainType &&
        GetRandomNumber(0.0f, kPercent) <= static_cast<float>(attributes.jumpSpeedPercent)) {
        air.rampPair = CRamps::getInstance()->getJumpRampPair(ground.bikePos);
        air.jumpSpeedRightWay = 0.0f;
        qzVector3d dir;
        if (!air.rampPair || x_fabs(laps.curWayTime - air.rampPair->wayTime) >= kNearRamp ||
            !splineDirAt(laps.curWayTime, &dir))
            air.jumpAssistFailed = 1;
        else
            air.jumpSpeedRightWay = frame.forwardDir * unit(dir);
    }
    if (!(air.jumpSpeedRightWay > kAlongTrack)) return;
    const qzVector3d n = unit(toModel(chassis->m_linearVelocity));
    const float limit = (attributes.maximumSpeed - attributes.jumpSpeedTolerance) / kToleranceUnitsPerMs;

    if (air.framesInAir <= 1 && onCode) {
        air.jumpAssistType = TakeOffKind(ground.terrainType);
        air.jumpSpeedTarget = kRampSpeed;
        if (frame.linearVelocityMag <= limit && frame.linearVelocityMag <= kRampSpeed) {
            air.jumpAssist = 0;
            air.jumpAssistFailed = 1;
            return;
        }
        air.jumpAssist = 1;
        chassis->m_linearVelocity = toKinetic(n * kRampSpeed);
        air.changeInVelCounter = 2;
        return;
    }
    if (!air.jumpAssist) return;
    air.jumpAssist = 0;
    jumpTakeOff(n, limit);
}

// Leaving the assisted ramp: the flight speed, the climb bent towards its target, the landing aimed at.
void KineticBike::jumpTakeOff(const qzVector3d& n, float limit) {
    const float a = degreesBetween(n, flatUnit(frame.fForwardDir));
    air.jumpSpeedTarget = kFlightSpeed;
    if (frame.linearVelocityMag <= limit && frame.linearVelocityMag <= air.jumpSpeedTarget) {
        air.jumpConsistencyPending = 0;
        air.jumpConsistencyPendingCounter = 0;
        air.jumpAssistFailed = 1;
        return;
    }
    if (a >= kMinClimb && a < kTargetClimb) {
        air.jumpConsistencyAngleCounter = static_cast<int32_t>((kTargetClimb - a) / kClimbStep);
        air.jumpConsistencyAngleDelta =
            air.jumpConsistencyAngleCounter != 0
                ? (kTargetClimb - a) / static_cast<float>(air.jumpConsistencyAngleCounter)
                : 0.0f;
        air.jumpConsistencyTargetAngle = a;
        air.jumpConsistencyAngleDeltaCounter = 0;
    }
    if (a < kMinClimb) {
        air.jumpAssistFailed = 1;
        air.jumpConsistencyAngleCounter = 0;
        return;
    }
    chassis->m_linearVelocity = toKinetic(n * air.jumpSpeedTarget);
    air.changeInVelCounter = 2;
    if (!air.rampPair) {
        air.jumpAssistFailed = 1;
        air.jumpConsistencyAngleCounter = 0;
        return;
    }
    air.jumpConsistencyDir = flatUnit(air.rampPair->landing - air.rampPair->takeoff);
    air.jumpRange = kRangePerModelUnit * ((air.rampPair->landing - ground.bikePos) * air.jumpConsistencyDir);
    const bool launched = air.preLoadReportState == 1;
    if (air.jumpAssistType == 0 ? launched : !launched) {
        air.jumpConsistencyPending = 1;
        air.jumpConsistencyPendingCounter = 60;
    } else {
        air.jumpConsistencyAngleCounter = 0;
        air.jumpAssistFailed = 1;
    }
}

void KineticBike::jumpAngle() {
    if (air.jumpConsistencyAngleCounter == 0) return;
    if (!air.jumpConsistencyPending && !air.jumpConsistencyAssist) {
        air.jumpConsistencyAngleCounter = 0;
        return;
    }
    --air.jumpConsistencyAngleCounter;
    air.jumpConsistencyTargetAngle += air.jumpConsistencyAngleDelta;
    if (air.jumpConsistencyTargetAngle > kTargetClimb) air.jumpConsistencyTargetAngle = kTargetClimb;
    const float target = air.jumpConsistencyTargetAngle;
    auto climb = [this](const qzVector3d& v) {
        const qzVector3d n = unit(v);
        const float t = degreesBetween(n, frame.fForwardDir);
        return n.y > 0.0f ? -t : t;
    };
    qzVector3d v = toModel(chassis->m_linearVelocity);
    float step = 1.0f;
    int i = 0;
    for (; i < 20; ++i) {
        const float theta = climb(v);
        if (x_fabs(theta - target) <= kAngleTolerance) break;
        if (theta < target) {
            v.y -= step;
            if (climb(v) > target) step *= 0.5f;
        } else {
            v.y += step;
            if (climb(v) < target) step *= 0.5f;
        }
    }
    if (i == 20) air.jumpConsistencyAngleCounter = 0;
    chassis->m_linearVelocity = toKinetic(v);
    frame.lastLinearVelocity = v;
    frame.lastLinearVelocityMag = x_sqrt(v * v);
    if (target == kTargetClimb) air.jumpConsistencyAngleCounter = 0;
}

// A pending assisted jump becomes an assisted flight once the bike is in the air.
void KineticBike::startAssistedFlight() {
    if (air.jumpConsistencyPendingCounter != 0 && --air.jumpConsistencyPendingCounter <= 0) {
        air.jumpConsistencyPending = 0;
        air.jumpAssistFailed = 1;
    }
    if (air.jumpConsistencyPending && air.framesInAir != 0) {
        air.jumpConsistencyPending = 0;
        air.jumpConsistencyPendingCounter = 0;
        air.jumpConsistencyAssist = 1;
        air.jumpRangePassed = 0;
        air.jumpConsistencyOverHalf = 0;
        CFilter& f = air.jumpConsistencyExtraGravityFilter;
        f.lo0 = f.lo1 = 0.0f;
        for (int i = 0; i < 5; ++i) f.step(0.0f);
    }
}

void KineticBike::inAirAdjust() {
    startAssistedFlight();
    const float vu = linearVelocity * frame.fUpDir;
    if (!air.jumpConsistencyAssist || !air.rampPair) {
        air.jumpConsistencyAssist = 0;
        if (air.inAir) {
            const float rise = vu / kGravity;
            air.timeToLand =
                (rise > 0.0f ? rise : 0.0f) + x_sqrt(kFallScale * ground.distToGround[0] / kGravity);
        }
        return;
    }
    const qzVector3d& landing = air.rampPair->landing;
    const float D = kMetresPerModelUnit * ((landing - ground.bikePos) * air.jumpConsistencyDir);
    const float H = kMetresPerModelUnit * (landing.y - ground.bikePos.y);
    const float vh = linearVelocity * flatUnit(air.jumpConsistencyDir);
    air.timeToLand = vh != 0.0f ? D / vh : 0.0f;
    if (ground.wheelInfo[0].m_isInContact || ground.wheelInfo[1].m_isInContact || D <= 0.0f ||
        air.timeToLand <= 0.0f) {
        air.jumpConsistencyAssist = 0;
        air.jumpConsistencyExtraGravity = 0.0f;
        return;
    }
    // The extra downward pull that brings a body `h` above its target with upward speed vu there in t.
    auto pull = [vu](float h, float t) {
        return t != 0.0f ? 2.0f * (h + vu * t) / (t * t) - kGravity : 0.0f;
    };
    float g = 0.0f;
    if (!air.jumpConsistencyOverHalf) {
        const float M = kMidwayScale * (((air.rampPair->takeoff + landing) * 0.5f - ground.bikePos) *
                                        air.jumpConsistencyDir);
        const float A = kMetresPerModelUnit * (landing.y - kRangeDrop * air.jumpRange - ground.bikePos.y);
        const float t = vh != 0.0f ? M / vh : 0.0f;
        if (A > 0.0f && M > 0.0f) {
            air.jumpConsistencyOverHalf = 1;
            air.jumpConsistencyAngleCounter = 0;
        } else {
            g = pull(A, t);
            if (g > 0.0f) {
                g = 0.0f;
                air.jumpConsistencyOverHalf = 1;
                air.jumpConsistencyAngleCounter /= 4;
            }
        }
    }
    if (air.jumpConsistencyOverHalf) {
        g = pull(H, air.timeToLand);
        air.jumpRangePassed = 1;
    }
    air.jumpConsistencyExtraGravity =
        air.jumpConsistencyExtraGravityFilter.step(clampf(g, -kGravity, kGravity));
}

void KineticBike::landSpeed() {
    if (ride.nitroState != NO_NITRO) return;
    if (air.inAir && (ground.wheelInfo[0].m_isInContact || ground.wheelInfo[1].m_isInContact) &&
        air.landingSpeedCounter >= 6) {
        air.landingSpeedCounter = 0;
        air.landingSpeedScale = air.framesInAir >= 21 ? attributes.landingSpeedRecoveryJumps
                                                      : attributes.landingSpeedRecoveryWhoops;
        air.landingSpeedMag = chassis->m_linearVelocity.length();
    }
    if (air.landingSpeedCounter < 5) {
        Kinetic::Vector3 v = chassis->m_linearVelocity;
        if (v.normalize() > 0.0f)
            chassis->m_linearVelocity = v * (air.landingSpeedMag * air.landingSpeedScale);
    }
    ++air.landingSpeedCounter;
}

float KineticBike::getTimeToLand() const {
    if (air.inAir) return air.timeToLand;
    const RampPair* pair = CRamps::getInstance()->getJumpRampPair(ground.bikePos);
    if (!pair) return 0.0f;
    float d2 = 0.0f;
    qzMath::qzMathVectorDistanceSquared(&d2, &pair->takeoff, &ground.bikePos);
    if (!(d2 < kRampReach2)) return 0.0f;
    qzVector3d d = pair->landing - ground.bikePos;
    d.y = 0.0f;
    const float s = linearVelocity * frame.fForwardDir;
    return s != 0.0f ? x_sqrt(d * d) / (kModelUnitsPerMetre * s) : 0.0f;
}

void KineticBike::crashResetPoints() {
    if (!indoorOrOutdoor()) return;
    if (ground.terrainType == crash_begin && ground.lastTerrainType != crash_begin) {
        air.crashRampPair = CRamps::getInstance()->getCrashRampPair(ground.bikePos);
        if (air.crashRampPair && x_fabs(laps.curWayTime - air.crashRampPair->wayTime) > kNearRamp)
            air.crashRampPair = nullptr;
    } else if (ground.terrainType == crash_end && ground.lastTerrainType != crash_end && air.crashRampPair) {
        float d2 = 0.0f;
        qzMath::qzMathVectorDistanceSquared(&d2, &ground.bikePos, &air.crashRampPair->landing);
        if (d2 < kRampReach2) air.crashRampPair = nullptr;
    }
}
