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
    const double kmin = isCPU ? 0.75 : 0.4;
    const double r = static_cast<double>(x_fabs(bikeRoll)) / 55.0;
    const double k = 1.0 - (r < 1.0 ? r : 1.0);
    return static_cast<float>(k > kmin ? k : kmin);
}

void KineticBike::phantomCollisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}

void KineticBike::collisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) {
    if (crashState == 1) return;
    crashSpeed = event.m_nrv;
    const bool aIsBike = ownerOf(event.m_objectA) &&
                         dynamic_cast<KineticBike*>(static_cast<CModelObject*>(ownerOf(event.m_objectA)));
    const Kinetic::Collidable* mine = aIsBike ? event.m_objectA : event.m_objectB;
    const Kinetic::Collidable* theirs = aIsBike ? event.m_objectB : event.m_objectA;
    if (Kinetic::RigidBody* ob = bodyOf(theirs)) ob->m_restitution = clampf(ob->m_restitution, 0.0f, 0.25f);

    jumpConsistencyPendingCounter = 0;
    jumpConsistencyPending = jumpConsistencyAssist = jumpConsistencyOverHalf = 0;
    jumpConsistencyExtraGravity = 0.0f;
    jumpConsistencyAngleCounter = 0;
    jumpAssist = 0;
    jumpSpeedRightWay = 0.0f;
    preLoadExtraGravity = 0.0f;
    preLoadWaitDelay = 0;
    preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    preLoadJump = preLoadJumpPending = 0;
    preLoadJumpCounter = preLoadReportState = 0;

    const Kinetic::RigidBody* counted = crashState == 0 ? chassis : crashBike;
    if (bodyOf(mine) != counted || !other || collidedCounter < 21) return;
    const bool riding = crashState == 0;

    if (auto* bike = dynamic_cast<KineticBike*>(other)) {
        collided = 1;
        collidedCounter = 0;
        if (!riding) {
            collisionObject = other;
            return;
        }
        collisionType = 2;
        collisionObjectCounter = 1;
        if (collisionObject != other) {
            collisionObject = other;
            collisionObjectPos = other->position;
        }
        collisionStartTime = globalTime;
        collisionNormal = unit(toModel(event.m_normal));
        const qzVector3d dv = linearVelocity - bike->linearVelocity;
        const float df = dv * forwardDir, du = dv * upDir, dr = dv * rightDir;
        float m = df > du ? df : du;
        if (dr > m) m = dr;
        float d = 0.0f;
        qzMath::qzMathVectorDistance(&d, &bikePos, &other->position);
        float c = 1.0f;
        if (!(unit(other->position - bikePos) * forwardDir < 0.0f) && bikeLength != 0.0f) {
            const float q = d / bikeLength;
            c = 1.0f - (q < 1.0f ? q : 1.0f);
        }
        const float limit = rollTolerance() * (attributes.deltaSpeedTolerance / 2.16f + 9.25926f * c);
        const bool worthy = m > limit || other->position.y - bikePos.y > 75.0f ||
                            collisionNormal * upDir < -0.75f || x_fabs(bikeRoll) > 30.0f ||
                            framesInAir >= 4 || abruptVelocityChangeCounter < 15;
        if (worthy && !(isCPU && bike->isCPU)) willCrashFlag = 1;
        changeInVelCounter = 10;
        return;
    }
    if (isRider(other)) {
        if (riding) return;
        collided = 1;
        collidedCounter = 0;
        collisionObject = other;
        return;
    }
    if (dynamic_cast<CWorldModel*>(other)) return;

    collided = 1;
    collidedCounter = 0;
    if (!riding) {
        collisionObject = other;
        return;
    }
    collisionType = 1;
    const qzVector3d& at = other->position;
    if (collisionObject != other || at.x != collisionObjectPos.x || at.y != collisionObjectPos.y ||
        at.z != collisionObjectPos.z) {
        collisionObjectCounter = 1;
        collisionObject = other;
        collisionObjectPos = at;
    } else {
        ++collisionObjectCounter;
    }
    collisionStartTime = globalTime;
    changeInVelCounter = 10;
    if (collisionObjectCounter >= 5 && option(kObjectCrashes)) {
        collided = 0;
        startCrash(2);
    }
}

void KineticBike::collide() {
    if (crashState == 1) return;
    const bool riding = crashState == 0;
    if (collided) {
        flags |= bit(BIKE_COLLIDE);
        collided = 0;
        collidedCounter = 0;
    }
    if (collidedCounter < 10 && riding) {
        if (willCrashFlag) {
            if (option(kBikeCrashes)) startCrash(collisionType);
        } else if (abruptVelocityChangeCounter < 15) {
            collided = 0;
            if (collisionType == 1 && option(kObjectCrashes)) startCrash(2);
        }
    }
    if (collidedCounter >= 10 && collidedCounter < 40 && linearVelocityMag < 1.38889f && riding) {
        const float rate = checkMessage(BIKEACTION_LEFT_TURN)    ? 3.5f
                           : checkMessage(BIKEACTION_RIGHT_TURN) ? -3.5f
                                                                 : 0.0f;
        if (rate != 0.0f && linearVelocityMag < 0.462963f) {
            Kinetic::Vector3 n = toKinetic(wheelNormVec[0]);
            const Kinetic::Vector3 a = n.cross(toKinetic(rightDir));
            const Kinetic::Vector3 b = a.cross(n);
            const Kinetic::Vector3 w = chassis->m_angularVelocity;
            filterSAV.step(rate);
            chassis->m_angularVelocity = n * filterSAV.lo0 + a * w.dot(a) + b * w.dot(b);
        }
    }
    if (riding) {
        if (globalTime - collisionStartTime > 3.0f) {
            collisionObjectCounter = 0;
            collisionObject = nullptr;
        }
        if (collisionObjectCounter != 0) {
            if (checkMessage(BIKEACTION_ACCEL) && linearVelocityMag < 0.925926f)
                ++collideCounterNoVelocity;
            else
                collideCounterNoVelocity = 0;
            if (collideCounterNoVelocity >= 61 && option(kBikeCrashes)) startCrash(3);
        } else {
            collideCounterNoVelocity = 0;
        }
    }
    ++collidedCounter;
}

void KineticBike::checkForAbruptVelocityChange() {
    if (crashState != 0) return;
    ++abruptVelocityChangeCounter;
    const float k = rollTolerance();
    float m = 0.0f;
    for (const qzVector3d& v : lastVelocity) {
        const qzVector3d d = linearVelocity - v;
        const float l = x_sqrt(d * d);
        if (l > m) m = l;
    }
    if (flags & (bit(BIKE_POWERSLIDE_LEFT) | bit(BIKE_POWERSLIDE_RIGHT)))
        m += 16.2037f;
    else if (linearVelocityMag < 0.925926f)
        m += 2.31481f;
    if (m >= attributes.deltaSpeedTolerance * k / 2.16f) abruptVelocityChangeCounter = 0;
}

void KineticBike::groundCrash() {
    const float L = attributes.stability * (isCPU ? cpuCrashScale : 1.0f);
    const qzVector3d lv = unit(lastLinearVelocity), v = unit(linearVelocity);
    const qzVector3d lvh = flatUnit(lv), fh = flatUnit(forwardDir);
    const bool front = wheelInfo[0].m_isInContact, back = wheelInfo[1].m_isInContact;
    const bool landed = (flags & bit(BIKE_LAND)) != 0;
    const bool slideBrake =
        checkMessage(BIKEACTION_LEFT_POWERSLIDE_BRAKE) || checkMessage(BIKEACTION_RIGHT_POWERSLIDE_BRAKE);
    const bool noBrakeSlide = !slideBrake && bikeStateCounter[8] < -30 && bikeStateCounter[7] < -30;
    const bool straight = noBrakeSlide && movingForward;

    float sDv = 0.0f;
    if (changeInVelCounter != 0)
        --changeInVelCounter;
    else
        sDv = attributes.stabilityChangeInVel * (1.0f - lv * v) * lastLinearVelocityMag * linearVelocityMag /
              1157.407f;
    const float t = gameOptions.trackType == TRACKTYPE_BAJA        ? 0.8f
                    : gameOptions.trackType == TRACKTYPE_FREESTYLE ? 0.725f
                                                                   : 1.0f;
    const qzVector3d n = back && !front   ? wheelNormVec[1]
                         : front && !back ? wheelNormVec[0]
                                          : (wheelNormVec[0] + wheelNormVec[1]) * 0.5f;
    float sImp = 0.0f;
    landingImpactScale = 0.0f;
    if (!drivingOnObject && (distToGround[1] <= 0.0f || distToGround[0] <= 0.0f || landed)) {
        const float i = (n * -1.0f) * lastLinearVelocity;
        sImp = t * i / 32.4074f;
        landingImpactScale = clampf(i / 32.4074f, 0.0f, 1.0f);
    }
    const float sideways = 0.5f * (1.0f - lvh * fh) * lastLinearVelocityMag;
    const float sSide = straight ? sideways / 23.1481f : 0.0f;

    float sRoll = 0.0f, sPitch = 0.0f, sNeg = 0.0f, sLand = 0.0f, sOver = 0.0f;
    if (crashLand && !drivingOnObject) {
        const float speedShare = lastLinearVelocityMag / 20.8333f;
        const float rollLimit = 60.0f + 15.0f * (speedShare < 1.0f ? speedShare : 1.0f);
        const float r = x_fabs(lastBikeRelativeRoll[3]) / rollLimit;
        sRoll = r < 1.0f ? r : 1.0f;
        const float T = terrainPitchAvg;
        const float p = T < 0.0f ? getSlopePoint(0.0f, 45.0f, 45.0f, 45.0f, 90.0f, 20.0f, -T)
                                 : getSlopePoint(0.0f, 45.0f, 20.0f, 40.0f, 45.0f, 20.0f, T);
        sPitch = p != 0.0f ? lastBikeRelativePitch[3] / p : 0.0f;
        if (lastBikePitch[3] < -75.0f) sPitch = L;
        sNeg = -lastBikeRelativePitch[3] / 60.0f;
        if (lastBikePitch[3] > 80.0f) sNeg = L;
        if (straight) sLand = sideways / 18.5185f;
        if (noBrakeSlide && x_fabs(bikeRelativeRoll) > 50.0f) sOver = L;
    }
    float sSkew = 0.0f, sTurn = 0.0f, sStunt = 0.0f;
    if (landed && !drivingOnObject) {
        if (straight) sSkew = (1.0f - lvh * fh) * lastLinearVelocityMag / 13.8889f;
        sTurn = (x_fabs(eventFromStartAngle) / 45.0f) * (linearVelocityMag / 27.7778f);
        if (stuntCrashFlag && lastFramesInAir >= 31) sStunt = L;
    }
    const float sunk = -150.0f * m_wheels->m_wheelsRadius[1];
    const float sSink = distToGroundLevel[0] < sunk || distToGroundLevel[1] < sunk ? L : 0.0f;
    const float s = fRightDir * wheelNormVec[0];
    if (s > 0.9f || s < -0.9f) ++sideOfSteepHillCounter;
    const float sHill = sideOfSteepHillCounter >= 11 ? L : 0.0f;

    for (float score :
         {sImp, sRoll, sPitch, sNeg, sLand, sSkew, sSide, sTurn, sDv, sStunt, sSink, sHill, sOver}) {
        if (!(score < L)) {
            startCrash(0);
            return;
        }
    }
    if (landed) bikeStats.jumpLandSuccessful(bikePos, globalTime);
}
