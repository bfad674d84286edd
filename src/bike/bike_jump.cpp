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
    const bool takeOff = (!wheelInfo[0].m_isInContact && wheelInfo[1].m_isInContact &&
                          terrainPitch[1] - terrainPitch[0] > kLipPitch) ||
                         framesInAir == 1 || IsTakeOffCode(lastTerrainType);
    auto* aero = static_cast<Kinetic::CBikeAerodynamics*>(m_aerodynamics);
    aero->m_extraGravity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    preLoadExtraGravity = 0.0f;
    const bool held = checkMessage(BIKEACTION_PRELOAD);
    preLoadPressedCounter = held ? preLoadPressedCounter + 1 : 0;

    if (preLoadWaitDelay != 0) {
        preLoadPush();
        return;
    }
    preLoadReportState = 0;
    if (held) {
        preLoadHold();
        return;
    }
    preLoadRelease(takeOff);
}

// After a launch or a failed attempt: the launch's push along the track, then a lock-out.
void KineticBike::preLoadPush() {
    --preLoadWaitDelay;
    if (preLoadForceCounter != 0) {
        const float s = clampf(1.0f - static_cast<float>(preLoadForceCounter) / kPushFrames, 0.0f, 1.0f);
        const qzVector3d d = unit(
            qzVector3d(kPushAlong * preLoadSplineTangent.x, kPushUp, kPushAlong * preLoadSplineTangent.z));
        chassis->m_linearVelocity += toKinetic(d) * (kPushImpulse * s * chassis->m_massInv);
        --preLoadForceCounter;
    }
    preLoadExtraGravity = kPreLoadGravity;
}

void KineticBike::preLoadFail() {
    preLoadWaitDelay = kLockOut;
    preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    preLoadReportState = 2;
}

// The button held: too early, in the window, or held too long.
void KineticBike::preLoadHold() {
    const uint32_t preWindow = isCPU ? 6 : 12, windowEnd = isCPU ? 150 : 120;
    const uint32_t c = preLoadPressedCounter;
    if (c >= kHoldIgnored) return;
    status.flags |= bit(BIKE_PRELOAD);
    if (c <= preWindow)
        preLoadJumpState = PRELOAD_PRE_WINDOW;
    else if (c <= windowEnd)
        preLoadJumpState = PRELOAD_DURING_WINDOW;
    else
        preLoadFail();
}

// The button released in the window: the launch, at the first take-off within the launch window.
void KineticBike::preLoadRelease(bool takeOff) {
    const uint32_t launchWindow = isCPU ? 21 : 45;
    switch (preLoadJumpState) {
        case PRELOAD_NO_ATTEMPT_PENDING:
            preLoadPressedCounter = 0;
            preLoadJump = 0;
            preLoadJumpCounter = 0;
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
    if (!preLoadJump) {
        preLoadJump = 1;
        preLoadJumpCounter = 0;
    } else {
        ++preLoadJumpCounter;
    }
    if (framesInAir > 1 || preLoadJumpCounter > launchWindow) {
        preLoadFail();
        return;
    }
    if (!takeOff || linearVelocityMag < kLaunchSpeed) return;

    chassis->m_torqueAccum += toKinetic(fRightDir) * kPreLoadTorque;
    preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    preLoadWaitDelay = kLockOut;
    preLoadReportState = 1;
    preLoadForceCounter = kPushSteps;
    preLoadSplineTangent = fForwardDir;
    if (!indoorOrOutdoor()) return;
    rampPair = CRamps::getInstance()->getJumpRampPair(bikePos);
    qzVector3d dir;
    if (rampPair && x_fabs(laps.curWayTime - rampPair->wayTime) < kNearRamp &&
        splineDirAt(laps.curWayTime, &dir) && forwardDir * dir > kAlongTrack)
        preLoadSplineTangent = flatUnit(dir);
}

void KineticBike::jumpSpeed() {
    const bool allowed = gameOptions.trackType != TRACKTYPE_BAJA &&
                         !(status.flags & (bit(BIKE_POWERSLIDE_LEFT) | bit(BIKE_POWERSLIDE_RIGHT))) &&
                         !jumpConsistencyAssist && nitroState == NO_NITRO && checkMessage(BIKEACTION_ACCEL) &&
                         framesInAir < 4;
    if (!allowed) {
        jumpAssist = 0;
        jumpSpeedRightWay = 0.0f;
        return;
    }
    const bool onCode = IsTakeOffCode(terrainType);
    if (onCode && lastTerrainType != terrainType &&
        GetRandomNumber(0.0f, kPercent) <= static_cast<float>(attributes.jumpSpeedPercent)) {
        rampPair = CRamps::getInstance()->getJumpRampPair(bikePos);
        jumpSpeedRightWay = 0.0f;
        qzVector3d dir;
        if (!rampPair || x_fabs(laps.curWayTime - rampPair->wayTime) >= kNearRamp ||
            !splineDirAt(laps.curWayTime, &dir))
            jumpAssistFailed = 1;
        else
            jumpSpeedRightWay = forwardDir * unit(dir);
    }
    if (!(jumpSpeedRightWay > kAlongTrack)) return;
    const qzVector3d n = unit(toModel(chassis->m_linearVelocity));
    const float limit = (attributes.maximumSpeed - attributes.jumpSpeedTolerance) / kToleranceUnitsPerMs;

    if (framesInAir <= 1 && onCode) {
        jumpAssistType = TakeOffKind(terrainType);
        jumpSpeedTarget = kRampSpeed;
        if (linearVelocityMag <= limit && linearVelocityMag <= kRampSpeed) {
            jumpAssist = 0;
            jumpAssistFailed = 1;
            return;
        }
        jumpAssist = 1;
        chassis->m_linearVelocity = toKinetic(n * kRampSpeed);
        changeInVelCounter = 2;
        return;
    }
    if (!jumpAssist) return;
    jumpAssist = 0;
    jumpTakeOff(n, limit);
}

// Leaving the assisted ramp: the flight speed, the climb bent towards its target, the landing aimed at.
void KineticBike::jumpTakeOff(const qzVector3d& n, float limit) {
    const float a = degreesBetween(n, flatUnit(fForwardDir));
    jumpSpeedTarget = kFlightSpeed;
    if (linearVelocityMag <= limit && linearVelocityMag <= jumpSpeedTarget) {
        jumpConsistencyPending = 0;
        jumpConsistencyPendingCounter = 0;
        jumpAssistFailed = 1;
        return;
    }
    if (a >= kMinClimb && a < kTargetClimb) {
        jumpConsistencyAngleCounter = static_cast<int32_t>((kTargetClimb - a) / kClimbStep);
        jumpConsistencyAngleDelta = jumpConsistencyAngleCounter != 0
                                        ? (kTargetClimb - a) / static_cast<float>(jumpConsistencyAngleCounter)
                                        : 0.0f;
        jumpConsistencyTargetAngle = a;
        jumpConsistencyAngleDeltaCounter = 0;
    }
    if (a < kMinClimb) {
        jumpAssistFailed = 1;
        jumpConsistencyAngleCounter = 0;
        return;
    }
    chassis->m_linearVelocity = toKinetic(n * jumpSpeedTarget);
    changeInVelCounter = 2;
    if (!rampPair) {
        jumpAssistFailed = 1;
        jumpConsistencyAngleCounter = 0;
        return;
    }
    jumpConsistencyDir = flatUnit(rampPair->landing - rampPair->takeoff);
    jumpRange = kRangePerModelUnit * ((rampPair->landing - bikePos) * jumpConsistencyDir);
    const bool launched = preLoadReportState == 1;
    if (jumpAssistType == 0 ? launched : !launched) {
        jumpConsistencyPending = 1;
        jumpConsistencyPendingCounter = 60;
    } else {
        jumpConsistencyAngleCounter = 0;
        jumpAssistFailed = 1;
    }
}

void KineticBike::jumpAngle() {
    if (jumpConsistencyAngleCounter == 0) return;
    if (!jumpConsistencyPending && !jumpConsistencyAssist) {
        jumpConsistencyAngleCounter = 0;
        return;
    }
    --jumpConsistencyAngleCounter;
    jumpConsistencyTargetAngle += jumpConsistencyAngleDelta;
    if (jumpConsistencyTargetAngle > kTargetClimb) jumpConsistencyTargetAngle = kTargetClimb;
    const float target = jumpConsistencyTargetAngle;
    auto climb = [this](const qzVector3d& v) {
        const qzVector3d n = unit(v);
        const float t = degreesBetween(n, fForwardDir);
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
    if (i == 20) jumpConsistencyAngleCounter = 0;
    chassis->m_linearVelocity = toKinetic(v);
    lastLinearVelocity = v;
    lastLinearVelocityMag = x_sqrt(v * v);
    if (target == kTargetClimb) jumpConsistencyAngleCounter = 0;
}

// A pending assisted jump becomes an assisted flight once the bike is in the air.
void KineticBike::startAssistedFlight() {
    if (jumpConsistencyPendingCounter != 0 && --jumpConsistencyPendingCounter <= 0) {
        jumpConsistencyPending = 0;
        jumpAssistFailed = 1;
    }
    if (jumpConsistencyPending && framesInAir != 0) {
        jumpConsistencyPending = 0;
        jumpConsistencyPendingCounter = 0;
        jumpConsistencyAssist = 1;
        jumpRangePassed = 0;
        jumpConsistencyOverHalf = 0;
        CFilter& f = jumpConsistencyExtraGravityFilter;
        f.lo0 = f.lo1 = 0.0f;
        for (int i = 0; i < 5; ++i) f.step(0.0f);
    }
}

void KineticBike::inAirAdjust() {
    startAssistedFlight();
    const float vu = linearVelocity * fUpDir;
    if (!jumpConsistencyAssist || !rampPair) {
        jumpConsistencyAssist = 0;
        if (inAir) {
            const float rise = vu / kGravity;
            timeToLand = (rise > 0.0f ? rise : 0.0f) + x_sqrt(kFallScale * distToGround[0] / kGravity);
        }
        return;
    }
    const qzVector3d& landing = rampPair->landing;
    const float D = kMetresPerModelUnit * ((landing - bikePos) * jumpConsistencyDir);
    const float H = kMetresPerModelUnit * (landing.y - bikePos.y);
    const float vh = linearVelocity * flatUnit(jumpConsistencyDir);
    timeToLand = vh != 0.0f ? D / vh : 0.0f;
    if (wheelInfo[0].m_isInContact || wheelInfo[1].m_isInContact || D <= 0.0f || timeToLand <= 0.0f) {
        jumpConsistencyAssist = 0;
        jumpConsistencyExtraGravity = 0.0f;
        return;
    }
    // The extra downward pull that brings a body `h` above its target with upward speed vu there in t.
    auto pull = [vu](float h, float t) {
        return t != 0.0f ? 2.0f * (h + vu * t) / (t * t) - kGravity : 0.0f;
    };
    float g = 0.0f;
    if (!jumpConsistencyOverHalf) {
        const float M =
            kMidwayScale * (((rampPair->takeoff + landing) * 0.5f - bikePos) * jumpConsistencyDir);
        const float A = kMetresPerModelUnit * (landing.y - kRangeDrop * jumpRange - bikePos.y);
        const float t = vh != 0.0f ? M / vh : 0.0f;
        if (A > 0.0f && M > 0.0f) {
            jumpConsistencyOverHalf = 1;
            jumpConsistencyAngleCounter = 0;
        } else {
            g = pull(A, t);
            if (g > 0.0f) {
                g = 0.0f;
                jumpConsistencyOverHalf = 1;
                jumpConsistencyAngleCounter /= 4;
            }
        }
    }
    if (jumpConsistencyOverHalf) {
        g = pull(H, timeToLand);
        jumpRangePassed = 1;
    }
    jumpConsistencyExtraGravity = jumpConsistencyExtraGravityFilter.step(clampf(g, -kGravity, kGravity));
}

void KineticBike::landSpeed() {
    if (nitroState != NO_NITRO) return;
    if (inAir && (wheelInfo[0].m_isInContact || wheelInfo[1].m_isInContact) && landingSpeedCounter >= 6) {
        landingSpeedCounter = 0;
        landingSpeedScale =
            framesInAir >= 21 ? attributes.landingSpeedRecoveryJumps : attributes.landingSpeedRecoveryWhoops;
        landingSpeedMag = chassis->m_linearVelocity.length();
    }
    if (landingSpeedCounter < 5) {
        Kinetic::Vector3 v = chassis->m_linearVelocity;
        if (v.normalize() > 0.0f) chassis->m_linearVelocity = v * (landingSpeedMag * landingSpeedScale);
    }
    ++landingSpeedCounter;
}

float KineticBike::getTimeToLand() const {
    if (inAir) return timeToLand;
    const RampPair* pair = CRamps::getInstance()->getJumpRampPair(bikePos);
    if (!pair) return 0.0f;
    float d2 = 0.0f;
    qzMath::qzMathVectorDistanceSquared(&d2, &pair->takeoff, &bikePos);
    if (!(d2 < kRampReach2)) return 0.0f;
    qzVector3d d = pair->landing - bikePos;
    d.y = 0.0f;
    const float s = linearVelocity * fForwardDir;
    return s != 0.0f ? x_sqrt(d * d) / (kModelUnitsPerMetre * s) : 0.0f;
}

void KineticBike::crashResetPoints() {
    if (!indoorOrOutdoor()) return;
    if (terrainType == crash_begin && lastTerrainType != crash_begin) {
        crashRampPair = CRamps::getInstance()->getCrashRampPair(bikePos);
        if (crashRampPair && x_fabs(laps.curWayTime - crashRampPair->wayTime) > kNearRamp)
            crashRampPair = nullptr;
    } else if (terrainType == crash_end && lastTerrainType != crash_end && crashRampPair) {
        float d2 = 0.0f;
        qzMath::qzMathVectorDistanceSquared(&d2, &bikePos, &crashRampPair->landing);
        if (d2 < kRampReach2) crashRampPair = nullptr;
    }
}
