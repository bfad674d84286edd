// The world edge and the tumbling crash body. Near the edge of a baja course the bike is thrown in a
// ballistic arc back toward the world centre and becomes an ordinary crash once it has come down; on
// the other tracks it is put straight back on the track. While a crash tumbles, its spin and speed are
// held within limits that shrink as the crash goes on, so it looks violent at first and then settles.
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

CWorldModel* worldModel() {
    CModel* m = GetModel();
    if (m->worldId < 0 || static_cast<size_t>(m->worldId) >= m->objects.size()) return nullptr;
    return dynamic_cast<CWorldModel*>(m->objects[static_cast<size_t>(m->worldId)]);
}

}  // namespace

void KineticBike::checkForWorldEdgeCrash() {
    CWorldModel* world = worldModel();
    if (crashState != 1) {
        if (crashState == 0 && world && world->checkNearEdgeOfWorld(bikePos)) worldEdgeCrash = 1;
        if (crashState != 0 || !worldEdgeCrash) return;
        worldEdgeCrash = 0;
        if (gameOptions.trackType == TRACKTYPE_BAJA) {
            crashState = 1;
            worldEdgeCrashState = 0;
        } else {
            findSplineCrashResetPos();
            const uint8_t hitGround = postCrashHitGround;
            setStartPos(crashResetPos, crashResetDir);
            postCrashHitGround = hitGround;
        }
        return;
    }
    switch (worldEdgeCrashState) {
        case 0: {
            crashUpDir = upDir;
            crashForwardDir = forwardDir;
            crashRightDir = rightDir;
            worldEdgeCrashCounter = 0;
            worldEdgeCrashState = 1;
            BeginHandOver(*this);
            const qzVector3d d = (world ? world->getWorldCenter() : bikePos) - bikePos;
            const float D = 0.01f * x_sqrt(d * d);
            crashResetDir = flatUnit(d);
            const float s = x_sqrt(kGravity * D / x_sin(1.39626f));
            qzVector3d up, dir;
            const qzVector3d ahead(0.0f, 0.0f, 1.0f);
            V3_RotateX(&up, &ahead, 0.785398f);
            up = unit(up);
            V3_RotateY(&dir, &up, x_atan2(crashResetDir.x, crashResetDir.z));
            preCrashVelocity = dir * s;
            crashBike->m_linearVelocity = toKinetic(preCrashVelocity);
            const float r1 = GetRandomNumber(-10.0f, 10.0f);
            const float r2 = GetRandomNumber(-10.0f, 10.0f);
            const float r3 = GetRandomNumber(-10.0f, 10.0f);
            crashBike->m_angularVelocity = Kinetic::Vector3(r3, r2, r1) / 2.16f;
            chassis->setPinned(true);
            chassis->setActive(false, true);
            updateModelObjectFromKinetic();
            lastForwardDir = crashResetDir;
            crashType = 4;
            MoveCamera(*this, kCameraCrash);
            Kinetic::Vector3 p;
            Kinetic::Quaternion r;
            crashBike->getDisplayToWorldTransform(p, r);
            StopWheels(*this);
            if (rc && csolver) rc->removeAction(csolver);
            crashExtraGravity = 0.0f;
            break;
        }
        case 1:
            if (worldEdgeCrashCounter == 10)
                GetModel()->kineticToolkit->m_defaultCollisionDetector->enableCollisionGroups(
                    bikeCollisionGroup, riderCollisionGroup);
            if (worldEdgeCrashCounter >= 61 && minDistToGround < 100.0f) worldEdgeCrashState = 2;
            break;
        case 2: {
            crashState = 3;
            crashResetPos = bikePos;
            Kinetic::Vector3 p;
            Kinetic::Quaternion r;
            crashBike->getDisplayToWorldTransform(p, r);
            lastValidCrashPos = bikePos;
            lastValidCrashQzOrient = qOrientation;
            lastValidCrashKineticOrient = r;
            lastValidCrashDir = forwardDir;
            crashCounter = 10;
            riderCrashing = 1;
            crashing = 1;
            break;
        }
        default:
            break;
    }
    ++worldEdgeCrashCounter;
}

void KineticBike::dampenCrashVelocity(Kinetic::RigidBody* body) {
    const float c = static_cast<float>(crashCounter);
    const Kinetic::Vector3 w = body->m_angularVelocity;
    float wu = w.dot(toKinetic(upDir)), wf = w.dot(toKinetic(forwardDir)), wr = w.dot(toKinetic(rightDir));
    if (crashCounter < 10 && x_fabs(wf) < kMinRoll) wf = wf < 0.0f ? -kMinRoll : kMinRoll;
    const float m = getSlopePoint(0.0f, 20.0f, 60.0f, 10.0f, 180.0f, 5.0f, c) / 2.16f;
    wu = clampf(wu, -m, m);
    wf = clampf(wf, -m, m);
    wr = clampf(wr, -m, m);
    body->m_angularVelocity = toKinetic(rightDir * wr + upDir * wu + forwardDir * wf);
    body->m_friction = getSlopePoint(0.0f, 1.0f, 120.0f, 1.0f, 300.0f, 0.25f, c);

    Kinetic::Vector3 v = body->m_linearVelocity;
    v.y = clampf(v.y, -6.94444f, kMaxFlat);
    float h = kMaxFlat;
    float d2 = 0.0f;
    qzMath::qzMathVectorDistanceSquared(&d2, &bikePos, &crashPos);
    if (crashState != 1 && d2 > 3240000.0f && flatUnit(linearVelocity) * flatUnit(preCrashVelocity) < -0.5f)
        h = 4.62963f;
    const float flat = x_sqrt(v.x * v.x + v.z * v.z);
    if (flat > kMaxFlat) {
        v.x *= h / flat;
        v.z *= h / flat;
    }
    body->m_linearVelocity = v;

    if (!validCrashRestPos) {
        const float len = crashBike->m_angularVelocity.length();
        if (len == 0.0f)
            crashBike->m_angularVelocity = Kinetic::Vector3(2.31481f, 0.0f, 0.0f);
        else if (len < 2.31481f)
            crashBike->m_angularVelocity = crashBike->m_angularVelocity * (2.31481f / len);
    }
    if (crashDistToGround < 100.0f && crashMoving)
        crashBike->m_linearVelocity +=
            Kinetic::Vector3(0.0f, -5.0f * crashBike->m_mass, 0.0f) * (1.0f / 60.0f) * crashBike->m_massInv;
}
