// The world edge and the tumbling crash body. Near the edge of a baja course the bike is thrown in a
// ballistic arc back toward the world centre and becomes an ordinary crash once it has come down; on
// the other tracks it is put straight back on the track, or in a freestyle arena at its newest safe
// place away from the edge. While a crash tumbles, its spin and speed are held within limits that
// shrink as the crash goes on, so it looks violent at first and then settles.
#include "bike/bike_control.h"
#include "bike/bike_crash.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "game/core/global_options.h"
#include "game/core/random.h"
#include "game/model/model.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/dynamics/fast_constraint_solver.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "world/world_model.h"

using namespace bikecrash;

namespace {

constexpr float kGravity = 15.1074f;
constexpr float kMinRoll = 9.25926f;
constexpr float kMaxFlat = 13.8889f;
constexpr float kMetresPerModelUnit = 0.01f;
constexpr float kToleranceUnitsPerMs = 2.16f;  // the game's spin and speed figures per m/s (rad/s)

// The throw back from the world edge: an arc launched at 45 degrees, sized as for 80 degrees.
constexpr float kThrowRangeAngle = 1.39626f;  // rad (80 degrees)
constexpr float kThrowAngle = 0.785398f;      // rad (45 degrees)
constexpr float kThrowSpin = 10.0f;           // random spin up to this either way, per axis
constexpr int32_t kThrowRiderFrames = 10;     // the rider collides with the bike from this step
constexpr int32_t kThrowMinFrames = 61;
constexpr float kThrowLandHeight = 100.0f;  // model units above the ground: the throw has come down

// The tumbling crash body's limits by crash step: spin 20 down to 10 at step 60, 5 at step 180; grip
// 1 down to a quarter between steps 120 and 300.
constexpr float kSpinLimitStart = 20.0f;
constexpr float kSpinLimitMidStep = 60.0f;
constexpr float kSpinLimitMid = 10.0f;
constexpr float kSpinLimitEndStep = 180.0f;
constexpr float kSpinLimitEnd = 5.0f;
constexpr float kGripFadeStart = 120.0f;
constexpr float kGripFadeEnd = 300.0f;
constexpr float kGripFaded = 0.25f;
constexpr float kMaxRise = -6.94444f;          // m/s (25 km/h) upwards (physics y points down)
constexpr float kFarFromCrash2 = 3240000.0f;   // 1800 model units, squared
constexpr float kTurnedBack = -0.5f;           // flat direction against the pre-crash one
constexpr float kTurnedBackFlat = 4.62963f;    // m/s (16.67 km/h) flat for a crash body rolling back
constexpr float kMinSpin = 2.31481f;           // rad/s before the crash body has come to rest
constexpr float kCrashBodyLowHeight = 100.0f;  // model units above the ground
constexpr float kCrashBodyPull = -5.0f;        // extra gravity (m/s^2, downwards) near the ground
constexpr float kStepTime = 1.0f / 60.0f;      // s

CWorldModel* worldModel() {
    CModel* m = GetModel();
    if (m->worldId < 0 || static_cast<size_t>(m->worldId) >= m->objects.size()) return nullptr;
    return dynamic_cast<CWorldModel*>(m->objects[static_cast<size_t>(m->worldId)]);
}

}  // namespace

bool bikecrash::NearWorldEdge(const qzVector3d& p) {
    CWorldModel* world = worldModel();
    return world && world->checkNearEdgeOfWorld(p);
}

// The newest safe position of the trail that lies away from the edge, else where the bike started if
// that does, else the world centre; facing the world centre, as a bike thrown back from the edge of a
// baja course comes down.
void bikecrash::PlaceAwayFromEdge(KineticBike& b) {
    CWorldModel* world = worldModel();
    if (!world) return;
    BikeReset& reset = b.reset;
    const qzVector3d centre = world->getWorldCenter();
    const bool startClear = !world->checkNearEdgeOfWorld(reset.startPosition);
    const qzVector3d* pos = startClear ? &reset.startPosition : &centre;
    const qzVector3d* dir = &reset.startDir;
    for (int k = 0; k < 30; ++k)
        if (!world->checkNearEdgeOfWorld(reset.safePos[k])) {
            pos = &reset.safePos[k];
            dir = &reset.safeDir[k];
            break;
        }
    reset.crashResetPos = *pos;
    const qzVector3d toCentre = flatUnit(centre - *pos);
    reset.crashResetDir = toCentre * toCentre > 0.0f ? toCentre : *dir;
}

void bikecrash::KeepResetOffEdge(KineticBike& b) {
    if (gameOptions.trackType != TRACKTYPE_BAJA && NearWorldEdge(b.reset.crashResetPos)) PlaceAwayFromEdge(b);
}

void KineticBike::checkForWorldEdgeCrash() {
    CWorldModel* world = worldModel();
    if (crash.crashState != 1) {
        if (crash.crashState == 0 && world && world->checkNearEdgeOfWorld(ground.bikePos))
            crash.worldEdgeCrash = 1;
        if (crash.crashState != 0 || !crash.worldEdgeCrash) return;
        crash.worldEdgeCrash = 0;
        if (gameOptions.trackType == TRACKTYPE_BAJA) {
            crash.crashState = 1;
            crash.worldEdgeCrashState = 0;
        } else {
            // A freestyle arena has no racing line to search: the trail is its only reset place. On a
            // track the place found can lie at the edge itself.
            if (gameOptions.trackType == TRACKTYPE_FREESTYLE) {
                PlaceAwayFromEdge(*this);
            } else {
                findSplineCrashResetPos();
                KeepResetOffEdge(*this);
            }
            const uint8_t hitGround = crash.postCrashHitGround;
            setStartPos(reset.crashResetPos, reset.crashResetDir);
            crash.postCrashHitGround = hitGround;
        }
        return;
    }
    switch (crash.worldEdgeCrashState) {
        case 0:
            throwFromWorldEdge(world);
            break;
        case 1:
            if (crash.worldEdgeCrashCounter == kThrowRiderFrames)
                GetModel()->kineticToolkit->m_defaultCollisionDetector->enableCollisionGroups(
                    bikeCollisionGroup, riderCollisionGroup);
            if (crash.worldEdgeCrashCounter >= kThrowMinFrames && ground.minDistToGround < kThrowLandHeight)
                crash.worldEdgeCrashState = 2;
            break;
        case 2: {
            crash.crashState = 3;
            reset.crashResetPos = ground.bikePos;
            Kinetic::Vector3 p;
            Kinetic::Quaternion r;
            crashBike->getDisplayToWorldTransform(p, r);
            reset.lastValidCrashPos = ground.bikePos;
            reset.lastValidCrashQzOrient = qOrientation;
            reset.lastValidCrashKineticOrient = r;
            reset.lastValidCrashDir = frame.forwardDir;
            crash.crashCounter = 10;
            crash.riderCrashing = 1;
            crash.crashing = 1;
            break;
        }
        default:
            break;
    }
    ++crash.worldEdgeCrashCounter;
}

// The bike thrown in a ballistic arc toward the world centre, tumbling.
void KineticBike::throwFromWorldEdge(CWorldModel* world) {
    frame.crashUpDir = frame.upDir;
    frame.crashForwardDir = frame.forwardDir;
    frame.crashRightDir = frame.rightDir;
    crash.worldEdgeCrashCounter = 0;
    crash.worldEdgeCrashState = 1;
    BeginHandOver(*this);
    const qzVector3d d = (world ? world->getWorldCenter() : ground.bikePos) - ground.bikePos;
    const float D = kMetresPerModelUnit * x_sqrt(d * d);
    reset.crashResetDir = flatUnit(d);
    const float s = x_sqrt(kGravity * D / x_sin(kThrowRangeAngle));
    qzVector3d up, dir;
    const qzVector3d ahead(0.0f, 0.0f, 1.0f);
    V3_RotateX(&up, &ahead, kThrowAngle);
    up = unit(up);
    V3_RotateY(&dir, &up, x_atan2(reset.crashResetDir.x, reset.crashResetDir.z));
    crash.preCrashVelocity = dir * s;
    crashBike->m_linearVelocity = toKinetic(crash.preCrashVelocity);
    const float r1 = GetRandomNumber(-kThrowSpin, kThrowSpin);
    const float r2 = GetRandomNumber(-kThrowSpin, kThrowSpin);
    const float r3 = GetRandomNumber(-kThrowSpin, kThrowSpin);
    crashBike->m_angularVelocity = Kinetic::Vector3(r3, r2, r1) / kToleranceUnitsPerMs;
    chassis->setPinned(true);
    chassis->setActive(false, true);
    updateModelObjectFromKinetic();
    frame.lastForwardDir = reset.crashResetDir;
    crash.crashType = 4;
    MoveCamera(*this, kCameraCrash);
    Kinetic::Vector3 p;
    Kinetic::Quaternion r;
    crashBike->getDisplayToWorldTransform(p, r);
    StopWheels(*this);
    if (rc && csolver) rc->removeAction(csolver.get());
    air.crashExtraGravity = 0.0f;
}

void KineticBike::dampenCrashVelocity(Kinetic::RigidBody* body) {
    const float c = static_cast<float>(crash.crashCounter);
    const Kinetic::Vector3 w = body->m_angularVelocity;
    float wu = w.dot(toKinetic(frame.upDir)), wf = w.dot(toKinetic(frame.forwardDir)),
          wr = w.dot(toKinetic(frame.rightDir));
    if (crash.crashCounter < 10 && x_fabs(wf) < kMinRoll) wf = wf < 0.0f ? -kMinRoll : kMinRoll;
    const float m = getSlopePoint(0.0f, kSpinLimitStart, kSpinLimitMidStep, kSpinLimitMid, kSpinLimitEndStep,
                                  kSpinLimitEnd, c) /
                    kToleranceUnitsPerMs;
    wu = clampf(wu, -m, m);
    wf = clampf(wf, -m, m);
    wr = clampf(wr, -m, m);
    body->m_angularVelocity = toKinetic(frame.rightDir * wr + frame.upDir * wu + frame.forwardDir * wf);
    body->m_friction = getSlopePoint(0.0f, 1.0f, kGripFadeStart, 1.0f, kGripFadeEnd, kGripFaded, c);

    Kinetic::Vector3 v = body->m_linearVelocity;
    v.y = clampf(v.y, kMaxRise, kMaxFlat);
    float h = kMaxFlat;
    float d2 = 0.0f;
    qzMath::qzMathVectorDistanceSquared(&d2, &ground.bikePos, &crash.crashPos);
    if (crash.crashState != 1 && d2 > kFarFromCrash2 &&
        flatUnit(linearVelocity) * flatUnit(crash.preCrashVelocity) < kTurnedBack)
        h = kTurnedBackFlat;
    const float flat = x_sqrt(v.x * v.x + v.z * v.z);
    if (flat > kMaxFlat) {
        v.x *= h / flat;
        v.z *= h / flat;
    }
    body->m_linearVelocity = v;

    if (!reset.validCrashRestPos) {
        const float len = crashBike->m_angularVelocity.length();
        if (len == 0.0f)
            crashBike->m_angularVelocity = Kinetic::Vector3(kMinSpin, 0.0f, 0.0f);
        else if (len < kMinSpin)
            crashBike->m_angularVelocity = crashBike->m_angularVelocity * (kMinSpin / len);
    }
    if (crash.crashDistToGround < kCrashBodyLowHeight && crash.crashMoving)
        crashBike->m_linearVelocity += Kinetic::Vector3(0.0f, kCrashBodyPull * crashBike->m_mass, 0.0f) *
                                       kStepTime * crashBike->m_massInv;
}
