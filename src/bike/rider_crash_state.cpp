#include "bike/rider_crash_state.h"

#include <cmath>

#include "bike/bike_control.h"
#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "kinetic/dynamics/rigid_body.h"

namespace ridercrash {

RiderCrashState StateOf(Pose pose, bool onGround, Travel travel) {
    // Block starts of each pose, on the ground and in the air.
    static const uint32_t kBlock[8][2] = {
        {ONGROUND_STANDING_FORWARD, INAIR_STANDING_FORWARD},
        {ONGROUND_UPSIDEDOWN_FORWARD, INAIR_UPSIDEDOWN_FORWARD},
        {ONGROUND_ONBACK_HEADDOWN_FORWARD, INAIR_ONBACK_HEADDOWN_FORWARD},
        {ONGROUND_ONBACK_HEADUP_FORWARD, INAIR_ONBACK_HEADUP_FORWARD},
        {ONGROUND_ONFRONT_HEADUP_FORWARD, INAIR_ONFRONT_HEADUP_FORWARD},
        {ONGROUND_ONFRONT_HEADDOWN_FORWARD, INAIR_ONFRONT_HEADDOWN_FORWARD},
        {ONGROUND_ONSIDE_HEADDOWN_FORWARD, INAIR_ONSIDE_HEADDOWN_FORWARD},
        {ONGROUND_ONSIDE_HEADUP_FORWARD, INAIR_ONSIDE_HEADUP_FORWARD},
    };
    return static_cast<RiderCrashState>(kBlock[pose][onGround ? 0 : 1] + static_cast<uint32_t>(travel));
}

RiderCrashState RollingStateOf(Roll roll, bool onGround) {
    return static_cast<RiderCrashState>(
        static_cast<uint32_t>(onGround ? ONGROUND_ROLLING_LOG : INAIR_ROLLING_LOG) +
        static_cast<uint32_t>(roll));
}

}  // namespace ridercrash

using namespace ridercrash;

namespace {

// The tumbling rider's limits by crash step.
constexpr float kGripStart = 0.5f;  // grip: 0.5, a quarter at step 60, an eighth from 120
constexpr float kGripMidStep = 60.0f;
constexpr float kGripMid = 0.25f;
constexpr float kGripEndStep = 120.0f;
constexpr float kGripEnd = 0.125f;
constexpr float kSpinHoldSteps = 300.0f;  // spin limits (rad/s) hold to step 300 ...
constexpr float kSpinEndStep = 360.0f;    // ... and reach their end values at 360
constexpr float kUpSpinStart = 50.0f;     // about up: 50, then 30, then 20
constexpr float kUpSpinHeld = 30.0f;
constexpr float kUpSpinEnd = 20.0f;
constexpr float kForwardSpinStart = 25.0f;  // about forward: 25, then 10
constexpr float kForwardSpinEnd = 10.0f;
constexpr float kRightSpinStart = 25.0f;  // about right: 25, then 20, then 10
constexpr float kRightSpinHeld = 20.0f;
constexpr float kRightSpinEnd = 10.0f;
constexpr float kSpinDecay = 0.98f;        // per step ...
constexpr float kDecayFadeStart = 120.0f;  // ... times 1 up to step 120, 0.95 from 300
constexpr float kDecayFadeEnd = 300.0f;
constexpr float kDecayFaded = 0.95f;
constexpr float kFarFromCrash = 2000.0f;  // model units from the crash: flat speed kept 0.8 a step
constexpr float kFarDamp = 0.8f;
constexpr float kNearFromCrash = 1000.0f;  // 0.98 a step
constexpr float kNearDamp = 0.98f;
constexpr float kLowHeight = 100.0f;  // model units above the ground
constexpr float kLowPull = -5.0f;     // extra gravity (m/s^2, downwards) near the ground
constexpr float kStepsPerSecond = 60.0f;

float Dot(const Kinetic::Vector3& a, const qzVector3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The horizontal part of v, normalised (zero stays zero).
qzVector3d Level(qzVector3d v) {
    v.y = 0.0f;
    const float len = std::sqrt(v.x * v.x + v.z * v.z);
    return len > 0.0f ? v * (1.0f / len) : qzVector3d();
}

Kinetic::Vector3 Capped(Kinetic::Vector3 v, float cap) {
    const float len = v.length();
    if (len > cap) v *= cap / len;
    return v;
}

float Limit(float v, float cap) {
    return v > cap ? cap : (v < -cap ? -cap : v);
}

}  // namespace

// The rider's pose against world up (0, -1, 0), and in `heading` the axis its direction of travel is
// measured along.
Pose CRiderModel::crashPose(qzVector3d* headingOut) const {
    const float u = -upDir.y, f = -forwardDir.y, r = -rightDir.y;
    Pose pose;
    qzVector3d heading = upDir;
    if (u > 0.5f) {
        pose = kStanding;
        heading = forwardDir;
    } else if (u < -0.5f) {
        pose = kUpsideDown;
        heading = forwardDir;
    } else if (u > 0.0f && u < 0.5f) {
        if (std::fabs(r) > 0.5f) {
            pose = kOnSideHeadUp;
        } else {
            pose = f <= 0.0f ? kOnFrontHeadUp : kOnBackHeadUp;
            heading = upDir * -1.0f;
        }
    } else if (std::fabs(r) > 0.5f) {
        pose = kOnSideHeadDown;
    } else {
        pose = f <= 0.0f ? kOnFrontHeadDown : kOnBackHeadDown;
    }
    *headingOut = heading;
    return pose;
}

void CRiderModel::setRiderCrashState() {
    const Kinetic::Vector3 w = rider->m_angularVelocity;
    const Kinetic::Vector3 v = rider->m_linearVelocity;
    const float wU = Dot(w, upDir), wF = Dot(w, forwardDir), wR = Dot(w, rightDir);
    const float s = v.length();
    drawOffset = qzVector3d(0.0f, riderbody::kDrawDrop, 0.0f);

    qzVector3d heading = upDir;
    const Pose pose = crashPose(&heading);

    const float a = Dot(v, Level(heading));
    const float b = Dot(v, Level(rightDir));
    Travel travel = kNoTravel;
    if (a > kTravelSpeed)
        travel = kForward;
    else if (a < -kTravelSpeed)
        travel = kBackward;
    else if (std::fabs(b) > kTravelSpeed)
        travel = kSideways;

    crashMoving = s >= kMovingSpeed ? 1 : 0;
    const float spin = lastRiderCrashRolling ? kRollKeepSpin : kRollEnterSpin;
    const float aU = std::fabs(wU), aF = std::fabs(wF), aR = std::fabs(wR);
    RiderCrashState c;
    if (aU > aF && aU > aR && aU > spin)
        c = RollingStateOf(kLog, crashOnGround);
    else if (aR > aU && aR > spin)
        c = RollingStateOf(kSommersault, crashOnGround);
    else if (aF > spin)
        c = RollingStateOf(kCartwheel, crashOnGround);
    else if (travel != kNoTravel)
        c = StateOf(pose, crashOnGround, travel);
    else
        c = StateOf(pose, crashOnGround || !crashMoving, kNoTravel);

    const uint8_t rolling = IsRolling(c) ? 1 : 0;
    if (crashCount == 0 || crashOnGround != lastRiderCrashOnGround || rolling != lastRiderCrashRolling ||
        (c != riderCrashState && riderCrashStateCounter >= kAdoptAfter)) {
        riderCrashState = c;
        riderCrashStateCounter = 0;
        lastRiderCrashOnGround = crashOnGround;
        lastRiderCrashRolling = rolling;
    }
    ++riderCrashStateCounter;
    ++crashCount;
}

void CRiderModel::dampenCrashVelocity() {
    const KineticBike* b = bike();
    const float t = b ? static_cast<float>(b->crash.crashCounter) : 0.0f;
    rider->m_friction = getSlopePoint(0.0f, kGripStart, kGripMidStep, kGripMid, kGripEndStep, kGripEnd, t);

    const Kinetic::Vector3 w = Capped(rider->m_angularVelocity, kMaxSpin);
    const float wU = Limit(Dot(w, upDir), getSlopePoint(0.0f, kUpSpinStart, kSpinHoldSteps, kUpSpinHeld,
                                                        kSpinEndStep, kUpSpinEnd, t));
    const float wF =
        Limit(Dot(w, forwardDir), getSlopePoint(0.0f, kForwardSpinStart, kSpinHoldSteps, kForwardSpinStart,
                                                kSpinEndStep, kForwardSpinEnd, t));
    const float wR = Limit(Dot(w, rightDir), getSlopePoint(0.0f, kRightSpinStart, kSpinHoldSteps,
                                                           kRightSpinHeld, kSpinEndStep, kRightSpinEnd, t));
    const float decay =
        kSpinDecay * getSlopePoint(0.0f, 1.0f, kDecayFadeStart, 1.0f, kDecayFadeEnd, kDecayFaded, t);
    const qzVector3d spin = (upDir * wU + forwardDir * wF + rightDir * wR) * decay;
    rider->m_angularVelocity = Kinetic::Vector3(spin.x, spin.y, spin.z);

    Kinetic::Vector3 v = rider->m_linearVelocity;
    if (v.y < -kMaxUpSpeed) v.y = -kMaxUpSpeed;
    if (v.y > kMaxDownSpeed) v.y = kMaxDownSpeed;
    const float horizontal = std::sqrt(v.x * v.x + v.z * v.z);
    if (horizontal > crashVelocityMag) {
        const float k = horizontal > 0.0f ? crashVelocityMag / horizontal : 0.0f;
        v.x *= k;
        v.z *= k;
    }
    float d = 0.0f;
    qzMath::qzMathVectorDistance(&d, &position, &crashPos);
    const float damp = d > kFarFromCrash ? kFarDamp : (d > kNearFromCrash ? kNearDamp : 1.0f);
    v.x *= damp;
    v.z *= damp;
    rider->m_linearVelocity = v;

    if (crashDistToGround < kLowHeight && crashMoving)
        rider->m_linearVelocity.y += kLowPull * rider->m_mass / kStepsPerSecond * rider->m_massInv;
    if (rider->m_linearVelocity.length() < kStopSpeed)
        rider->m_linearVelocity = Kinetic::Vector3(0.0f, rider->m_linearVelocity.y, 0.0f);
    if (!validCrashRestPos) {
        Kinetic::Vector3 tumble = rider->m_angularVelocity;
        const float len = tumble.length();
        if (len < kMinTumbleSpin) {
            tumble =
                len == 0.0f ? Kinetic::Vector3(kMinTumbleSpin, 0.0f, 0.0f) : tumble * (kMinTumbleSpin / len);
            rider->m_angularVelocity = tumble;
        }
    }
}
