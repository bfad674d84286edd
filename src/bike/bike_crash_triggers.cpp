// What makes a riding bike crash: contacts with other bikes and objects (judged when they arrive, turned
// into a crash once per step), a bike pinned against an object with the throttle open, sudden changes of
// velocity that make a contact more dangerous, and the ground test of every step (hard impacts, bad
// landings, rolling over, a wheel sunk into the ground, riding along the side of a steep hill).
#include "bike/bike_control.h"
#include "bike/bike_crash.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "game/core/global_options.h"
#include "game/model/global_time.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/entity.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/world_model.h"

using namespace bikecrash;

namespace {

constexpr uint32_t kBikeCrashes = 0x200000;    // bike collisions and being pinned
constexpr uint32_t kObjectCrashes = 0x400000;  // object collisions

// Speeds (m/s).
constexpr float kContactSpeedMargin = 9.25926f;  // 33.33 km/h more tolerance for a bike behind
constexpr float kPinnedTurnSpeed = 1.38889f;     // 5 km/h: a bike this slow after a contact turns in place
constexpr float kPinnedSpinSpeed = 0.462963f;    // 1.67 km/h
constexpr float kCrawl = 0.925926f;              // 3.33 km/h
constexpr float kSlideDvMargin = 16.2037f;       // 58.33 km/h added to the change while sliding
constexpr float kCrawlDvMargin = 2.31481f;       // 8.33 km/h added while crawling
constexpr float kToleranceUnitsPerMs = 2.16f;    // the attributes' speed tolerances per m/s

// The roll tolerance: 1 upright, falling to 0.4 (0.75 for a computer racer) at 55 degrees of roll.
constexpr double kMinRollTolerance = 0.4;
constexpr double kMinCpuRollTolerance = 0.75;
constexpr double kRollToleranceSpan = 55.0;  // degrees

// Contacts.
constexpr float kMaxContactRestitution = 0.25f;
constexpr uint32_t kContactQuietFrames = 21;  // contacts this soon after the last one are not judged
constexpr float kContactAboveHeight = 75.0f;  // model units: a bike this far above lands on this one
constexpr float kContactFromAbove = -0.75f;   // contact normal against up
constexpr float kContactRollLimit = 30.0f;    // degrees
constexpr uint32_t kContactAirFrames = 4;
constexpr int32_t kAbruptChangeFrames = 15;  // an abrupt velocity change counts this long
constexpr uint32_t kContactWindowFrames = 10;
constexpr uint32_t kPinnedFrames = 5;    // contacts with the same object before it crashes the bike
constexpr float kPinnedSpinRate = 3.5f;  // rad/s
constexpr float kContactMemory = 3.0f;   // s
constexpr int32_t kPinnedThrottleFrames = 61;

// The ground test.
constexpr float kDvScale = 1157.407f;  // (m/s)^2 for a full velocity-change score
constexpr float kBajaImpactScale = 0.8f;
constexpr float kFreestyleImpactScale = 0.725f;
constexpr float kHardImpactSpeed = 32.4074f;  // m/s (116.67 km/h) into the ground
constexpr float kSideSlideSpeed = 23.1481f;   // m/s (83.33 km/h) sideways
constexpr float kRollLimitSpeed = 20.8333f;   // m/s (75 km/h): the landing roll limit grows to here
constexpr float kLandingRollLimit = 60.0f;    // degrees ...
constexpr float kLandingRollGrowth = 15.0f;   // ... plus up to this
constexpr float kNoseDownLimit = -75.0f;      // degrees of pitch
constexpr float kNoseUpSpan = 60.0f;          // degrees of relative pitch for a full score
constexpr float kNoseUpLimit = 80.0f;         // degrees of pitch
constexpr float kSideLandSpeed = 18.5185f;    // m/s (66.67 km/h) sideways on landing
constexpr float kRollOverLimit = 50.0f;       // degrees of relative roll
constexpr float kSkewLandSpeed = 13.8889f;    // m/s (50 km/h)
constexpr float kTurnLandAngle = 45.0f;       // degrees turned ...
constexpr float kTurnLandSpeed = 27.7778f;    // ... at m/s (100 km/h)
constexpr uint32_t kStuntAirFrames = 31;
constexpr float kSunkWheelRadii = -150.0f;  // model units per wheel radius (m) below the ground
constexpr float kSteepHillSide = 0.9f;      // |right . ground normal| on the side of a steep hill
constexpr int32_t kSteepHillFrames = 11;
constexpr int32_t kBrakeSlideGone = -30;  // frames since a braking slide

// The landing pitch limit by terrain pitch (degrees): downhill 45 to 20, uphill 45 to 40 to 20.
constexpr float kPitchLimit = 45.0f;
constexpr float kDownhillPitchEnd = 90.0f;
constexpr float kPitchLimitLow = 20.0f;
constexpr float kUphillPitchMid = 20.0f;
constexpr float kUphillPitchMidLimit = 40.0f;
constexpr float kUphillPitchEnd = 45.0f;

bool option(uint32_t bits) {
    return (static_cast<uint32_t>(gameOptions.gameOptions) & bits) != 0;
}

Kinetic::RigidBody* bodyOf(const Kinetic::Collidable* c) {
    return c ? dynamic_cast<Kinetic::RigidBody*>(c->m_entity) : nullptr;
}

void* ownerOf(const Kinetic::Collidable* c) {
    return c && c->m_entity ? c->m_entity->m_userInfo : nullptr;
}

bool isRider(const CModelObject* other) {
    for (const KineticBike* b : KineticBike::racers)
        if (b && b->rider && static_cast<const void*>(b->rider) == static_cast<const void*>(other))
            return true;
    return false;
}

}  // namespace

float KineticBike::rollTolerance() const {
    const double kmin = isCPU ? kMinCpuRollTolerance : kMinRollTolerance;
    const double r = static_cast<double>(x_fabs(ground.bikeRoll)) / kRollToleranceSpan;
    const double k = 1.0 - (r < 1.0 ? r : 1.0);
    return static_cast<float>(k > kmin ? k : kmin);
}

void KineticBike::phantomCollisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}

void KineticBike::collisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) {
    if (crash.crashState == 1) return;
    crash.crashSpeed = event.m_nrv;
    const bool aIsBike = ownerOf(event.m_objectA) &&
                         dynamic_cast<KineticBike*>(static_cast<CModelObject*>(ownerOf(event.m_objectA)));
    const Kinetic::Collidable* mine = aIsBike ? event.m_objectA : event.m_objectB;
    const Kinetic::Collidable* theirs = aIsBike ? event.m_objectB : event.m_objectA;
    if (Kinetic::RigidBody* ob = bodyOf(theirs))
        ob->m_restitution = clampf(ob->m_restitution, 0.0f, kMaxContactRestitution);
    dropJumpHelp();

    const Kinetic::RigidBody* counted = crash.crashState == 0 ? chassis.get() : crashBike.get();
    if (bodyOf(mine) != counted || !other || crash.collidedCounter < kContactQuietFrames) return;
    const bool riding = crash.crashState == 0;

    if (auto* bike = dynamic_cast<KineticBike*>(other)) {
        crash.collided = 1;
        crash.collidedCounter = 0;
        if (!riding) {
            crash.collisionObject = other;
            return;
        }
        bikeContact(bike, event);
        return;
    }
    if (isRider(other)) {
        if (riding) return;
        crash.collided = 1;
        crash.collidedCounter = 0;
        crash.collisionObject = other;
        return;
    }
    if (dynamic_cast<CWorldModel*>(other)) return;

    crash.collided = 1;
    crash.collidedCounter = 0;
    if (!riding) {
        crash.collisionObject = other;
        return;
    }
    objectContact(other);
}

// A contact drops the jump assist and the preload.
void KineticBike::dropJumpHelp() {
    air.jumpConsistencyPendingCounter = 0;
    air.jumpConsistencyPending = air.jumpConsistencyAssist = air.jumpConsistencyOverHalf = 0;
    air.jumpConsistencyExtraGravity = 0.0f;
    air.jumpConsistencyAngleCounter = 0;
    air.jumpAssist = 0;
    air.jumpSpeedRightWay = 0.0f;
    air.preLoadExtraGravity = 0.0f;
    air.preLoadWaitDelay = 0;
    air.preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    air.preLoadJump = air.preLoadJumpPending = 0;
    air.preLoadJumpCounter = air.preLoadReportState = 0;
}

// A riding bike touched another bike: whether the contact is worth a crash.
void KineticBike::bikeContact(KineticBike* bike, const Kinetic::CollisionEvent& event) {
    CModelObject* other = bike;
    crash.collisionType = 2;
    crash.collisionObjectCounter = 1;
    if (crash.collisionObject != other) {
        crash.collisionObject = other;
        crash.collisionObjectPos = other->position;
    }
    crash.collisionStartTime = globalTime;
    crash.collisionNormal = unit(toModel(event.m_normal));
    const qzVector3d dv = linearVelocity - bike->linearVelocity;
    const float df = dv * frame.forwardDir, du = dv * frame.upDir, dr = dv * frame.rightDir;
    float m = df > du ? df : du;
    if (dr > m) m = dr;
    float d = 0.0f;
    qzMath::qzMathVectorDistance(&d, &ground.bikePos, &other->position);
    float c = 1.0f;
    if (!(unit(other->position - ground.bikePos) * frame.forwardDir < 0.0f) && bikeLength != 0.0f) {
        const float q = d / bikeLength;
        c = 1.0f - (q < 1.0f ? q : 1.0f);
    }
    const float limit =
        rollTolerance() * (attributes.deltaSpeedTolerance / kToleranceUnitsPerMs + kContactSpeedMargin * c);
    const bool worthy = m > limit || other->position.y - ground.bikePos.y > kContactAboveHeight ||
                        crash.collisionNormal * frame.upDir < kContactFromAbove ||
                        x_fabs(ground.bikeRoll) > kContactRollLimit || air.framesInAir >= kContactAirFrames ||
                        crash.abruptVelocityChangeCounter < kAbruptChangeFrames;
    if (worthy && !(isCPU && bike->isCPU)) crash.willCrashFlag = 1;
    air.changeInVelCounter = kContactWindowFrames;
}

// A riding bike touched an object: pinned against the same one for five contacts, it crashes.
void KineticBike::objectContact(CModelObject* other) {
    crash.collisionType = 1;
    const qzVector3d& at = other->position;
    if (crash.collisionObject != other || at.x != crash.collisionObjectPos.x ||
        at.y != crash.collisionObjectPos.y || at.z != crash.collisionObjectPos.z) {
        crash.collisionObjectCounter = 1;
        crash.collisionObject = other;
        crash.collisionObjectPos = at;
    } else {
        ++crash.collisionObjectCounter;
    }
    crash.collisionStartTime = globalTime;
    air.changeInVelCounter = kContactWindowFrames;
    if (crash.collisionObjectCounter >= kPinnedFrames && option(kObjectCrashes)) {
        crash.collided = 0;
        startCrash(2);
    }
}

void KineticBike::collide() {
    if (crash.crashState == 1) return;
    const bool riding = crash.crashState == 0;
    if (crash.collided) {
        status.flags |= bit(BIKE_COLLIDE);
        crash.collided = 0;
        crash.collidedCounter = 0;
    }
    if (crash.collidedCounter < kContactWindowFrames && riding) {
        if (crash.willCrashFlag) {
            if (option(kBikeCrashes)) startCrash(crash.collisionType);
        } else if (crash.abruptVelocityChangeCounter < kAbruptChangeFrames) {
            crash.collided = 0;
            if (crash.collisionType == 1 && option(kObjectCrashes)) startCrash(2);
        }
    }
    if (crash.collidedCounter >= kContactWindowFrames && crash.collidedCounter < 40 &&
        frame.linearVelocityMag < kPinnedTurnSpeed && riding) {
        const float rate = checkMessage(BIKEACTION_LEFT_TURN)    ? kPinnedSpinRate
                           : checkMessage(BIKEACTION_RIGHT_TURN) ? -kPinnedSpinRate
                                                                 : 0.0f;
        if (rate != 0.0f && frame.linearVelocityMag < kPinnedSpinSpeed) {
            Kinetic::Vector3 n = toKinetic(ground.wheelNormVec[0]);
            const Kinetic::Vector3 a = n.cross(toKinetic(frame.rightDir));
            const Kinetic::Vector3 b = a.cross(n);
            const Kinetic::Vector3 w = chassis->m_angularVelocity;
            ride.filterSAV.step(rate);
            chassis->m_angularVelocity = n * ride.filterSAV.lo0 + a * w.dot(a) + b * w.dot(b);
        }
    }
    if (riding) {
        if (globalTime - crash.collisionStartTime > kContactMemory) {
            crash.collisionObjectCounter = 0;
            crash.collisionObject = nullptr;
        }
        if (crash.collisionObjectCounter != 0) {
            if (checkMessage(BIKEACTION_ACCEL) && frame.linearVelocityMag < kCrawl)
                ++crash.collideCounterNoVelocity;
            else
                crash.collideCounterNoVelocity = 0;
            if (crash.collideCounterNoVelocity >= kPinnedThrottleFrames && option(kBikeCrashes))
                startCrash(3);
        } else {
            crash.collideCounterNoVelocity = 0;
        }
    }
    ++crash.collidedCounter;
}

void KineticBike::checkForAbruptVelocityChange() {
    if (crash.crashState != 0) return;
    ++crash.abruptVelocityChangeCounter;
    const float k = rollTolerance();
    float m = 0.0f;
    for (const qzVector3d& v : frame.lastVelocity) {
        const qzVector3d d = linearVelocity - v;
        const float l = x_sqrt(d * d);
        if (l > m) m = l;
    }
    if (status.flags & (bit(BIKE_POWERSLIDE_LEFT) | bit(BIKE_POWERSLIDE_RIGHT)))
        m += kSlideDvMargin;
    else if (frame.linearVelocityMag < kCrawl)
        m += kCrawlDvMargin;
    if (m >= attributes.deltaSpeedTolerance * k / kToleranceUnitsPerMs) crash.abruptVelocityChangeCounter = 0;
}

void KineticBike::groundCrash() {
    const float L = attributes.stability * (isCPU ? crash.cpuCrashScale : 1.0f);
    const qzVector3d lv = unit(frame.lastLinearVelocity), v = unit(linearVelocity);
    const qzVector3d lvh = flatUnit(lv), fh = flatUnit(frame.forwardDir);
    const bool landed = (status.flags & bit(BIKE_LAND)) != 0;
    const bool slideBrake =
        checkMessage(BIKEACTION_LEFT_POWERSLIDE_BRAKE) || checkMessage(BIKEACTION_RIGHT_POWERSLIDE_BRAKE);
    const bool noBrakeSlide = !slideBrake && ride.bikeStateCounter[8] < kBrakeSlideGone &&
                              ride.bikeStateCounter[7] < kBrakeSlideGone;
    const bool straight = noBrakeSlide && crash.movingForward;

    float sDv = 0.0f;
    if (air.changeInVelCounter != 0)
        --air.changeInVelCounter;
    else
        sDv = attributes.stabilityChangeInVel * (1.0f - lv * v) * frame.lastLinearVelocityMag *
              frame.linearVelocityMag / kDvScale;
    const float sImp = groundImpactScore(landed);
    const float sideways = 0.5f * (1.0f - lvh * fh) * frame.lastLinearVelocityMag;
    const float sSide = straight ? sideways / kSideSlideSpeed : 0.0f;

    float sRoll = 0.0f, sPitch = 0.0f, sNeg = 0.0f, sLand = 0.0f, sOver = 0.0f;
    if (air.crashLand && !ground.drivingOnObject) {
        const float speedShare = frame.lastLinearVelocityMag / kRollLimitSpeed;
        const float rollLimit =
            kLandingRollLimit + kLandingRollGrowth * (speedShare < 1.0f ? speedShare : 1.0f);
        const float r = x_fabs(ground.lastBikeRelativeRoll[3]) / rollLimit;
        sRoll = r < 1.0f ? r : 1.0f;
        const float T = ground.terrainPitchAvg;
        const float p = T < 0.0f ? getSlopePoint(0.0f, kPitchLimit, kPitchLimit, kPitchLimit,
                                                 kDownhillPitchEnd, kPitchLimitLow, -T)
                                 : getSlopePoint(0.0f, kPitchLimit, kUphillPitchMid, kUphillPitchMidLimit,
                                                 kUphillPitchEnd, kPitchLimitLow, T);
        sPitch = p != 0.0f ? ground.lastBikeRelativePitch[3] / p : 0.0f;
        if (ground.lastBikePitch[3] < kNoseDownLimit) sPitch = L;
        sNeg = -ground.lastBikeRelativePitch[3] / kNoseUpSpan;
        if (ground.lastBikePitch[3] > kNoseUpLimit) sNeg = L;
        if (straight) sLand = sideways / kSideLandSpeed;
        if (noBrakeSlide && x_fabs(ground.bikeRelativeRoll) > kRollOverLimit) sOver = L;
    }
    float sSkew = 0.0f, sTurn = 0.0f, sStunt = 0.0f;
    if (landed && !ground.drivingOnObject) {
        if (straight) sSkew = (1.0f - lvh * fh) * frame.lastLinearVelocityMag / kSkewLandSpeed;
        sTurn =
            (x_fabs(ride.eventFromStartAngle) / kTurnLandAngle) * (frame.linearVelocityMag / kTurnLandSpeed);
        if (crash.stuntCrashFlag && air.lastFramesInAir >= kStuntAirFrames) sStunt = L;
    }
    const float sSink = sunkWheelScore(L);
    const float sHill = steepHillScore(L);

    for (float score :
         {sImp, sRoll, sPitch, sNeg, sLand, sSkew, sSide, sTurn, sDv, sStunt, sSink, sHill, sOver}) {
        if (!(score < L)) {
            startCrash(0);
            return;
        }
    }
    if (landed) bikeStats.jumpLandSuccessful(ground.bikePos, globalTime);
}

// A wheel sunk deep into the ground crashes the bike.
float KineticBike::sunkWheelScore(float limit) const {
    const float sunk = kSunkWheelRadii * m_wheels->m_wheelsRadius[1];
    return ground.distToGroundLevel[0] < sunk || ground.distToGroundLevel[1] < sunk ? limit : 0.0f;
}

// Riding along the side of a steep hill for long crashes the bike.
float KineticBike::steepHillScore(float limit) {
    const float s = frame.fRightDir * ground.wheelNormVec[0];
    if (s > kSteepHillSide || s < -kSteepHillSide) ++crash.sideOfSteepHillCounter;
    return crash.sideOfSteepHillCounter >= kSteepHillFrames ? limit : 0.0f;
}

// The impact into the ground on touching it (the landing's impact scale kept for the views), scaled
// down on the baja and freestyle tracks.
float KineticBike::groundImpactScore(bool landed) {
    const bool front = ground.wheelInfo[0].m_isInContact, back = ground.wheelInfo[1].m_isInContact;
    const float t = gameOptions.trackType == TRACKTYPE_BAJA        ? kBajaImpactScale
                    : gameOptions.trackType == TRACKTYPE_FREESTYLE ? kFreestyleImpactScale
                                                                   : 1.0f;
    const qzVector3d n = back && !front   ? ground.wheelNormVec[1]
                         : front && !back ? ground.wheelNormVec[0]
                                          : (ground.wheelNormVec[0] + ground.wheelNormVec[1]) * 0.5f;
    float sImp = 0.0f;
    air.landingImpactScale = 0.0f;
    if (!ground.drivingOnObject &&
        (ground.distToGround[1] <= 0.0f || ground.distToGround[0] <= 0.0f || landed)) {
        const float i = (n * -1.0f) * frame.lastLinearVelocity;
        sImp = t * i / kHardImpactSpeed;
        air.landingImpactScale = clampf(i / kHardImpactSpeed, 0.0f, 1.0f);
    }
    return sImp;
}
