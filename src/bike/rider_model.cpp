#include "bike/rider_model.h"

#include <cmath>

#include "bike/bike_particles.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "game/core/random.h"
#include "game/files/collision_storage.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_event_filter.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rr_resolver.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "world/objects/kinetic_collide.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/world_model.h"

using namespace riderbody;

namespace {

constexpr float kModelUnitsPerMetre = 100.0f;
constexpr float kMetresPerModelUnit = 0.01f;
constexpr float kMaxContactRestitution = 0.25f;
constexpr float kRestingSide = 0.25f;        // |normal . up| of a corner the rider can rest on
constexpr float kOffBikeLevel = 0.75f;       // moved off the bike: three quarters world up ...
constexpr float kOffBikeUp = 0.25f;          // ... a quarter the bike's up at the crash
constexpr float kThrowSpin = 10.0f;          // random spin up to this either way, per axis
constexpr float kSpinUnitsPerRad = 2.16f;    // the game's spin figures per rad/s
constexpr float kMinThrowDistance = 200.0f;  // model units the rider flies free of the bike
constexpr float kMaxThrowDistance = 800.0f;
constexpr float kThrowLandHeight = 100.0f;  // model units above the ground: the throw has come down
constexpr float kGroundSnap = 10.0f;        // model units: closer to the ground, the pose sits on it
constexpr float kCornerDustDrop = 20.0f;    // model units below the corners

Kinetic::Vector3 ToKinetic(const qzVector3d& v) {
    return Kinetic::Vector3(v.x, v.y, v.z);
}

qzVector3d ToModel(const Kinetic::Vector3& v) {
    return qzVector3d(v.x, v.y, v.z);
}

// Scaled down to length `cap` when longer.
Kinetic::Vector3 Capped(Kinetic::Vector3 v, float cap) {
    const float len = v.length();
    if (len > cap) v *= cap / len;
    return v;
}

CWorldModel* World() {
    CModel* model = CModel::modelPtr;
    if (!model || model->worldId < 0 || static_cast<size_t>(model->worldId) >= model->objects.size())
        return nullptr;
    return dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(model->worldId)]);
}

CKineticCollide* RiderCollision(int descriptionId) {
    const CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!d || d->collisionIdList.empty()) return nullptr;
    return CResourceStorage<CKineticCollide>::instance().get(d->collisionIdList[0]);
}

}  // namespace

CRiderModel::CRiderModel(int bikeId_, int descriptionId)
    : KineticRigidObject(descriptionId), bikeId(bikeId_) {
    lastValidKineticOrient.m_imag = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    collide = RiderCollision(descriptionId);
    rider = std::make_unique<Kinetic::RigidBody>();
    if (collide)
        collide->addCollisionToRigidBody(rider.get(), kCollisionMass, kCollisionRestitution,
                                         kCollisionFriction);
    rider->setPinned(false);
    rider->setActive(true, true);
    const KineticBike* b = bike();
    const unsigned group = b ? b->riderCollisionGroup : 0;
    trackobject::SetGroups(rider.get(), group ? 1u << (group - 1) : 0u);
    setRigidBody(rider.get());
    rider->m_userInfo = static_cast<CModelObject*>(this);
    updateModelWorld();
    rider->setMass(kMass);
    rider->m_restitution = 0.0f;
    Kinetic::Matrix3 inertia = rider->m_inertia;
    for (int k = 0; k < 3; ++k) inertia(k, k) = kInertia[k];
    rider->setInertia(inertia);
    rider->m_volume = kVolume;
    riderFromBikeDist = 0.0f;
    riderCenterOfMassPos = ToModel(rider->m_position) * kModelUnitsPerMetre;
    validCrashRestPos = 0;
}

CRiderModel::~CRiderModel() {
    if (rider) {
        rider->m_userInfo = nullptr;
        if (CModel::modelPtr && CModel::modelPtr->kineticToolkit)
            CModel::modelPtr->kineticToolkit->removeRigidBody(rider.get());
        rider.reset();
    }
    rigidBody = nullptr;
}

KineticBike* CRiderModel::bike() const {
    CModel* model = CModel::modelPtr;
    if (!model || bikeId < 0 || static_cast<size_t>(bikeId) >= model->objects.size()) return nullptr;
    return dynamic_cast<KineticBike*>(model->objects[static_cast<size_t>(bikeId)]);
}

void CRiderModel::doAction(const CPacket&, float) {}

void CRiderModel::collisionHandler(CModelObject*, const Kinetic::CollisionEvent& event) {
    auto ownerOf = [](const Kinetic::Collidable* c) -> CModelObject* {
        return c && c->getEntity() ? static_cast<CModelObject*>(c->getEntity()->m_userInfo) : nullptr;
    };
    const Kinetic::Collidable* other = event.m_objectB;
    if (!dynamic_cast<CRiderModel*>(ownerOf(event.m_objectA))) {
        if (!dynamic_cast<CRiderModel*>(ownerOf(event.m_objectB))) return;
        other = event.m_objectA;
    }
    auto* body = other ? dynamic_cast<Kinetic::RigidBody*>(other->getEntity()) : nullptr;
    if (!body) return;
    if (body->m_restitution > kMaxContactRestitution) body->m_restitution = kMaxContactRestitution;
    if (body->m_restitution < 0.0f) body->m_restitution = 0.0f;
}

void CRiderModel::updateModelWorld() {
    CModel* model = GetModel();
    Kinetic::Toolkit* kit = model->kineticToolkit;
    kit->addRigidBody(rider.get(), Kinetic::Vector3(0.0f, 0.0f, 0.0f), Kinetic::Quaternion());
    updateKineticFromModelObject();
    Kinetic::RRResolver* resolver = kit->m_defaultSubspace->getRRResolver();
    auto* filter =
        resolver ? dynamic_cast<Kinetic::CollisionEventFilter*>(resolver->getEventPipe()) : nullptr;
    if (!filter) return;
    for (Kinetic::Primitive* p : rider->getPrimitives())
        filter->registerInterest(p, nullptr, 1.0f, 0.0f, Kinetic::CollisionEvent::defaultID);
}

void CRiderModel::updateKineticFromModelObject() {
    const Kinetic::Vector3 p = ToKinetic(position) * kMetresPerModelUnit;
    const Kinetic::Quaternion q = kinetic_pose::toKinetic(qOrientation);
    rider->setDisplayToWorldTransform(p, q);
    validPositionOrientationCheck(p, q);
}

void CRiderModel::updateModelObjectFromKinetic() {
    Kinetic::Vector3 p;
    Kinetic::Quaternion q;
    rider->getDisplayToWorldTransform(p, q);
    validPositionOrientationCheck(p, q);
}

void CRiderModel::validPositionOrientationCheck(Kinetic::Vector3 p, Kinetic::Quaternion q) {
    const qzQuaternion modelQ = kinetic_pose::toModel(q);
    const qzVector3d modelP = ToModel(p) * kModelUnitsPerMetre;
    float d2 = 0.0f;
    if (riderState != kWorldEdgeThrow) qzMath::qzMathVectorDistanceSquared(&d2, &modelP, &lastValidPos);
    if (d2 < kMaxJump * kMaxJump) {
        lastValidPos = modelP;
        lastValidQzOrient = modelQ;
        lastValidKineticOrient = q;
        position = modelP;
        qOrientation = modelQ;
        return;
    }
    shake();
    rider->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    rider->m_angularVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    position = lastValidPos;
    qOrientation = lastValidQzOrient;
    rider->setDisplayToWorldTransform(ToKinetic(lastValidPos) * kMetresPerModelUnit, lastValidKineticOrient);
}

void CRiderModel::shake() {
    rider->setPinned(true);
    rider->setActive(false, true);
    rider->setPinned(false);
    rider->setActive(true, true);
}

void CRiderModel::getBaseVectors() {
    Kinetic::Vector3 p;
    Kinetic::Quaternion q;
    rider->getDisplayToWorldTransform(p, q);
    _quaternion Q;
    Q_Set(&Q, q.m_imag.x, q.m_imag.y, q.m_imag.z, q.m_real);
    _matrix4 m;
    Q_SetupMatrix(&Q, &m);
    M4_ClearTranslations(&m);
    rightDir = qzVector3d(m.M[0], m.M[1], m.M[2]);
    forwardDir = qzVector3d(m.M[4], m.M[5], m.M[6]);
    upDir = qzVector3d(m.M[8], m.M[9], m.M[10]);
}

void CRiderModel::findDistancesToGround() {
    const qzVector3d& U = upDir;
    const qzVector3d& F = forwardDir;
    const qzVector3d& R = rightDir;
    const qzVector3d c = position + F * waistOffset.z + U * waistOffset.y + R * waistOffset.x;
    const float sF[8] = {1, -1, -1, 1, 1, -1, -1, 1};
    const float sR[8] = {1, 1, -1, -1, 1, 1, -1, -1};
    qzVector3d corner[8], normal[8];
    float height[8], above[8];
    CWorldModel* world = World();
    for (int i = 0; i < 8; ++i) {
        const float sU = i < 4 ? kBoxUp : -kBoxUp;
        corner[i] = c + U * sU + F * (sF[i] * kBoxSide) + R * (sR[i] * kBoxSide);
        normal[i] = qzVector3d(0.0f, -1.0f, 0.0f);
        height[i] = 0.0f;
        if (world) world->getHeightAndNormalAt(corner[i].x, corner[i].z, height[i], normal[i]);
        above[i] = height[i] - corner[i].y;
    }
    int order[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (int i = 0; i < 7; ++i)
        for (int j = i + 1; j < 8; ++j)
            if (above[order[j]] < above[order[i]]) std::swap(order[i], order[j]);

    validCrashRestPos = 0;
    for (int k = 0; k < 4; ++k) {
        const int e = order[k];
        if (e < 4 && std::fabs(normal[e] * U) < kRestingSide) {
            validCrashRestPos = 1;
            break;
        }
    }
    crashDistToGround = above[order[0]];
    crashCornerNormal = normal[order[0]];
    for (int k = 0; k < 8; ++k) {
        const int e = order[k];
        crashCorner[k] = corner[e];
        // The flag reads what the slot held from the previous call: it lags one call.
        crashCornerOnGround[k] = crashCornerDistToGround[k] <= 0.0f ? 1 : 0;
        crashCornerDistToGround[k] = above[e];
        heightAtCorner[k] = height[e];
    }
    crashOnGround = crashDistToGround <= 0.0f ? 1 : 0;
}

void CRiderModel::placeOnBike() {
    if (riderState != kOnBike) return;
    if (const KineticBike* b = bike()) position = b->position + b->getRiderDisplacement();
}

void CRiderModel::moveOffBike(const KineticBike& b) {
    const qzVector3d v(0.0f, b.frame.crashUpDir.y < 0.0f ? -1.0f : 1.0f, 0.0f);
    position = position + (v * kOffBikeLevel + b.frame.crashUpDir * kOffBikeUp) * riderFromBikeDist;
}

void CRiderModel::update(float) {
    KineticBike* b = bike();
    if (!b) return;
    if (riderState != kOnBike) position = internalRiderPos;
    drawOffset = qzVector3d();
    if (b->crash.crashState == 1 && b->crash.worldEdgeCrashState == 0) {
        riderState = kWorldEdgeThrow;
        worldEdgeCrashState = 0;
    }
    switch (riderState) {
        case kOnBike:
            lastValidPos = position;
            lastValidQzOrient = qOrientation;
            qOrientation = b->qOrientation;
            updateKineticFromModelObject();
            if (b->crash.crashing) riderState = kCrashBegun;
            break;
        case kWorldEdgeThrow:
            updateWorldEdgeThrow(*b);
            break;
        case kCrashBegun:
            qOrientation = b->qOrientation;
            updateKineticFromModelObject();
            moveOffBike(*b);
            updateKineticFromModelObject();
            if (b->crash.riderCrashing) riderState = kLaunch;
            break;
        case kLaunch:
            launch(*b);
            break;
        case kFreeCrash:
            updateFreeCrash(*b);
            break;
        default:
            break;
    }
    internalRiderPos = position;
    position = internalRiderPos + drawOffset;
    riderCenterOfMassPos = ToModel(rider->m_position) * kModelUnitsPerMetre;
}

void CRiderModel::updateWorldEdgeThrow(const KineticBike& b) {
    switch (worldEdgeCrashState) {
        case 0: {
            riderFromBikeDist = 0.0f;
            qOrientation = b.qOrientation;
            updateKineticFromModelObject();
            riderFromBikeDist += kThrowOffset;
            moveOffBike(b);
            updateKineticFromModelObject();
            rider->setPinned(false);
            rider->setActive(true, true);
            crashCount = 0;
            worldEdgeCrashStateCounter = 0;
            worldEdgeCrashState = 1;
            rider->m_linearVelocity = ToKinetic(b.crash.preCrashVelocity);
            const float r1 = GetRandomNumber(-kThrowSpin, kThrowSpin);
            const float r2 = GetRandomNumber(-kThrowSpin, kThrowSpin);
            const float r3 = GetRandomNumber(-kThrowSpin, kThrowSpin);
            rider->m_angularVelocity =
                Kinetic::Vector3(r3 / kSpinUnitsPerRad, r2 / kSpinUnitsPerRad, r1 / kSpinUnitsPerRad);
            worldEdgeThrowDistance = GetRandomNumber(kMinThrowDistance, kMaxThrowDistance);
            break;
        }
        case 1: {
            float d2 = 0.0f;
            qzMath::qzMathVectorDistanceSquared(&d2, &position, &b.position);
            if (d2 > worldEdgeThrowDistance * worldEdgeThrowDistance)
                rider->m_linearVelocity = ToKinetic(b.linearVelocity);
            if (worldEdgeCrashStateCounter >= 61 &&
                (crashDistToGround < kThrowLandHeight || b.crash.crashState == 3))
                worldEdgeCrashState = 2;
            break;
        }
        case 2:
            lastValidCrashPos = position;
            lastValidCrashOrient = qOrientation;
            crashVelocityMag = rider->m_linearVelocity.length();
            riderState = kFreeCrash;
            break;
        default:
            break;
    }
    updateModelObjectFromKinetic();
    getBaseVectors();
    findDistancesToGround();
    setRiderCrashState();
    ++worldEdgeCrashStateCounter;
}

void CRiderModel::launch(const KineticBike& b) {
    riderState = kFreeCrash;
    crashing = 1;
    riderFromBikeDist = 0.0f;
    rider->setPinned(false);
    rider->setActive(true, true);
    crashPos = position;
    Kinetic::Vector3 v = ToKinetic(b.crash.preCrashVelocity);
    crashVelocityMag = v.length();
    if (crashVelocityMag > kLaunchSpeed) {
        v *= kLaunchSpeed / crashVelocityMag;
        crashVelocityMag = kLaunchSpeed;
    }
    if (v.y > kLaunchDownSpeed) v.y = kLaunchDownSpeed;
    rider->m_linearVelocity = v;
    findDistancesToGround();
    lastValidCrashPos = position;
    if (crashDistToGround < 0.0f) {
        lastValidCrashPos = lastValidCrashPos + crashCornerNormal * -crashDistToGround;
        position = lastValidCrashPos;
        updateKineticFromModelObject();
    }
    lastValidCrashOrient = qOrientation;
    lastValidCrashLinearVel = ToModel(Capped(rider->m_linearVelocity, kLaunchSpeed));
    lastValidCrashAngularVel = ToModel(Capped(rider->m_angularVelocity, kLaunchSpeed));
    crashCount = 0;
}

void CRiderModel::updateFreeCrash(KineticBike& b) {
    updateModelObjectFromKinetic();
    getBaseVectors();
    findDistancesToGround();
    setRiderCrashState();
    dampenCrashVelocity();
    qzVector3d p = position;
    if (crashDistToGround < kGroundSnap) p = p + crashCornerNormal * -crashDistToGround;
    float d = 0.0f;
    qzMath::qzMathVectorDistance(&d, &position, &lastValidCrashPos);
    if (d < kMaxCrashJump && crashDistToGround > kMaxCrashDepth) {
        lastValidCrashPos = p;
        lastValidCrashOrient = qOrientation;
        lastValidCrashLinearVel = ToModel(Capped(rider->m_linearVelocity, kLaunchSpeed));
        lastValidCrashAngularVel = ToModel(Capped(rider->m_angularVelocity, kLaunchSpeed));
    } else {
        shake();
        position = lastValidCrashPos;
        qOrientation = lastValidCrashOrient;
        rider->m_linearVelocity = ToKinetic(lastValidCrashLinearVel);
        rider->m_angularVelocity = ToKinetic(lastValidCrashAngularVel);
        updateKineticFromModelObject();
    }
    if (b.crash.crashState == 4) {
        crashing = 0;
        rider->setPinned(true);
        rider->setActive(false, true);
        riderState = kOnBike;
    }
    if (!crashMoving) return;
    for (int k = 0; k < 4; ++k) {
        if (!crashCornerOnGround[k]) continue;
        const qzVector3d at(crashCorner[k].x, heightAtCorner[k] - kCornerDustDrop, crashCorner[k].z);
        bikeparticles::emitDust(b, at, &numBackDustParticles, bikeparticles::kRiderDustRate);
    }
}
