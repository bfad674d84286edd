// The rider of one bike as a model object of its own: one rigid body that rides along with the bike
// while the race runs normally, is thrown off when the bike crashes or leaves the world, tumbles under
// physics and is taken back onto the bike when the bike is reset.
//
// The race builds it right after its bike, so its update runs after the bike's in every step. The bike's
// crash drives it through the bike's crashState, worldEdgeCrashState, crashing, riderCrashing, crashUpDir,
// preCrashVelocity, linearVelocity and crashCounter. While it tumbles it keeps itself inside the world
// (back to its last valid crash state when its body jumps or sinks into the ground), measures its height
// with a box of eight corners around the waist, classifies its pose for the crash animation and damps
// its motion. Positions are world units (100 per physics unit); speeds m/s.
#pragma once

#include <cstdint>

#include "bike/rider_crash_state.h"
#include "kinetic/math/quaternion.h"
#include "kinetic/math/vector3.h"
#include "world/objects/kinetic_rigid_object.h"

class CKineticCollide;
class KineticBike;

namespace riderbody {
// Body set-up.
inline constexpr float kCollisionMass = 100.0f;
inline constexpr float kCollisionRestitution = 0.25f;
inline constexpr float kCollisionFriction = 1.0f;
inline constexpr float kMass = 3000.0f;
inline constexpr float kInertia[3] = {150.0f, 150.0f, 100.0f};
inline constexpr float kVolume = 20000.0f;
// A body position this far (world units) from the last accepted one is refused.
inline constexpr float kMaxJump = 5000.0f;
// Free crash: a jump this far from the last valid crash position, or a corner this deep in the ground,
// restores the last valid crash state.
inline constexpr float kMaxCrashJump = 500.0f;
inline constexpr float kMaxCrashDepth = -75.0f;
// Launch speed cap (50 km/h) and the cap of its downward part.
inline constexpr float kLaunchSpeed = 13.8889f;
inline constexpr float kLaunchDownSpeed = 9.25926f;
// Distance moved off the bike per throw.
inline constexpr float kThrowOffset = 75.0f;
// Ground box half sizes around the waist.
inline constexpr float kBoxUp = 70.0f, kBoxSide = 35.0f;
// Drawn this much below the body while the crash is classified.
inline constexpr float kDrawDrop = 15.0f;
}  // namespace riderbody

class CRiderModel : public KineticRigidObject {
public:
    enum State : uint32_t {
        kOnBike = 0,
        kWorldEdgeThrow = 1,
        kCrashBegun = 2,
        kLaunch = 3,
        kFreeCrash = 4,
    };

    CRiderModel(int bikeId, int descriptionId);
    ~CRiderModel() override;
    CRiderModel(const CRiderModel&) = delete;
    CRiderModel& operator=(const CRiderModel&) = delete;

    void update(float time) override;
    void doAction(const CPacket& packet, float dt) override;
    // Keeps the other body of a contact from bouncing off the rider: its restitution is clamped to 0..0.25.
    void collisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
    void updateKineticFromModelObject() override;
    void updateModelObjectFromKinetic() override;
    void validPositionOrientationCheck(Kinetic::Vector3 position, Kinetic::Quaternion orientation);
    // Adds the body to the physics world and registers its collision events.
    void updateModelWorld();
    void getBaseVectors();
    // The ground box: eight corners around the waist against the terrain, sorted lowest first.
    void findDistancesToGround();
    // Pose classification and crash damping (rider_crash_state.cpp).
    void setRiderCrashState();
    ridercrash::Pose crashPose(qzVector3d* heading) const;
    void dampenCrashVelocity();

    // The bike at bikeId, or null.
    KineticBike* bike() const;
    // On the bike: the bike's position plus the rider's displacement on it. The rider view does this every
    // drawn frame; a race run without drawing calls it once per step before the model update.
    void placeOnBike();

    int32_t bikeId;
    uint8_t crashing = 0;
    CKineticCollide* collide = nullptr;  // not owned
    std::unique_ptr<Kinetic::RigidBody> rider;
    float crashVelocityMag = 0.0f;
    qzVector3d forwardDir, rightDir, upDir;
    RiderCrashState riderCrashState = ONGROUND_ROLLING_LOG;
    uint32_t riderCrashStateCounter = 0;
    uint32_t crashCount = 0;
    uint8_t lastRiderCrashOnGround = 0, lastRiderCrashRolling = 0;
    qzVector3d crashPos;
    qzVector3d lastValidCrashPos;
    qzQuaternion lastValidCrashOrient;
    qzVector3d lastValidCrashLinearVel, lastValidCrashAngularVel;
    // Skeleton offsets the rider view writes: the waist, and the head and left foot from the waist.
    qzVector3d waistOffset, headOffset, LFootOffset;
    float riderFromBikeDist = 0.0f;
    qzVector3d lastValidPos;
    qzQuaternion lastValidQzOrient;
    Kinetic::Quaternion lastValidKineticOrient;
    uint32_t riderState = kOnBike;
    uint32_t worldEdgeCrashState = 0;
    int32_t worldEdgeCrashStateCounter = 0;
    float crashDistToGround = 0.0f;
    qzVector3d crashCornerNormal;
    qzVector3d crashCorner[8];
    float crashCornerDistToGround[8] = {};
    float numBackDustParticles = 0.0f;
    qzVector3d drawPosition;
    qzVector3d drawOffset;
    qzVector3d internalRiderPos;
    float worldEdgeThrowDistance = 0.0f;
    float heightAtCorner[8] = {};
    uint8_t crashOnGround = 0, crashMoving = 0;
    uint8_t crashCornerOnGround[8] = {};
    uint8_t validCrashRestPos = 0;
    qzVector3d riderCenterOfMassPos;

private:
    // Pinned and inactive, then free again: clears the body's velocities, forces and rest state.
    void shake();
    // Moved off the bike by riderFromBikeDist, mostly up, along the bike's crash up direction.
    void moveOffBike(const KineticBike& b);
    void updateWorldEdgeThrow(const KineticBike& b);
    void launch(const KineticBike& b);
    void updateFreeCrash(KineticBike& b);
};
