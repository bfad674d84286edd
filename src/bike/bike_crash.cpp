// The bike's crash. A request hands the motion from the ridden chassis to the separate crash body,
// which tumbles under physics for 180 steps (kept near its last accepted pose); then the bike is put
// back at its reset position and control goes back to the rider. Also the riding state cleared at every
// placing, the post-crash window, the trail of safe positions and the choice of the reset position.
#include "bike/bike_crash.h"
#include "bike/components/bike_aerodynamics.h"
#include "bike/components/bike_brake.h"
#include "bike/components/bike_driver_input.h"
#include "bike/components/bike_engine.h"
#include "bike/components/bike_steering.h"
#include "bike/components/bike_suspension.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "game/core/global_options.h"
#include "game/model/model.h"
#include "kinetic/collide/collidable.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/entity.h"
#include "kinetic/dynamics/fast_constraint_solver.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/ramps.h"
#include "world/spline_manager.h"

using namespace bikecrash;

namespace {

constexpr float kHandOverSpeed = 18.5185f;
constexpr float kValidSpeed = 13.8889f;
constexpr float kFrontHub = 167.9992f;
constexpr float kSafeGap2 = 1000000.0f;    // 1000 units, squared
constexpr float kObjectGap2 = 4000000.0f;  // 2000 units, squared
constexpr float kMetresPerModelUnit = 0.01f;
constexpr float kCrashBodyLift = 36.0f;       // model units: the crash body starts this far above the bike
constexpr float kCrashBodyClearance = 10.0f;  // model units: and at least this far above the ground
constexpr float kCrashDriftLimit = 1000.0f;   // model units from the last accepted pose
constexpr float kCrashSinkLimit = 36.0f;      // model units below the ground level

Kinetic::CollisionDetector* detector() {
    return GetModel()->kineticToolkit->m_defaultCollisionDetector;
}

void resetBody(Kinetic::RigidBody* b) {
    b->setPinned(true);
    b->setActive(false, true);
    b->setPinned(false);
    b->setActive(true, true);
}

void freeze(Kinetic::RigidBody* b) {
    b->setPinned(true);
    b->setActive(false, true);
}

unsigned racerCount() {
    return KineticBike::numOfTotalRacers < KineticBike::kMaxRacers ? KineticBike::numOfTotalRacers
                                                                   : KineticBike::kMaxRacers;
}

}  // namespace

namespace bikecrash {

unsigned ResetSearchTries(float length) {
    if (!(length > 0.0f)) return 1;
    return static_cast<unsigned>(length / kResetStep) + 1;
}

}  // namespace bikecrash

void KineticBike::startCrash(unsigned int type) {
    if (crash.crashState == 1) return;
    if ((type == 0 || type == 1) && isCPU) {
        unsigned others = 0;
        for (unsigned i = 0; i < racerCount(); ++i)
            if (racers[i] && racers[i] != this && racers[i]->crash.crashState != 0) ++others;
        if (others >= 2) return;
    }
    if (crash.crashState != 0 || crash.postCrashCounter < kPostCrashSteps) return;
    float fastest = 0.0f;
    for (int i = 1; i < 30; ++i)
        if (frame.lastVelocityMag[i] > fastest) fastest = frame.lastVelocityMag[i];
    crash.preCrashVelocity = unit(frame.lastVelocity[5]) * fastest;
    frame.crashUpDir = frame.upDir;
    frame.crashForwardDir = frame.forwardDir;
    frame.crashRightDir = frame.rightDir;
    crash.crashState = 2;
    crash.crashType = type;
    if (crash.crashType != 2 && crash.collisionObjectCounter != 0) crash.crashType = 2;
    crash.collisionObjectCounter = 0;
    crash.willCrashFlag = 0;
    inStunt = 0;
    crash.lockSuspension = 1;
}

// The steps a crash set-up and the world-edge throw share: input held back, the rider's weight shift
// undone, and the crashing bike and rider made to collide with every other racer.
namespace {

void pairWithOthers(KineticBike& b, bool enable) {
    Kinetic::CollisionDetector* cd = detector();
    const unsigned bg = b.bikeCollisionGroup, rg = b.riderCollisionGroup;
    for (unsigned i = 0; i < racerCount(); ++i) {
        if (i == b.bikeIndex) continue;
        const unsigned ob = KineticBike::bikeCollisionGroups[i], orr = KineticBike::riderCollisionGroups[i];
        const unsigned pairs[4][2] = {{bg, ob}, {rg, orr}, {bg, orr}, {rg, ob}};
        for (const auto& p : pairs) {
            if (enable)
                cd->enableCollisionGroups(p[0], p[1]);
            else
                cd->disableCollisionGroups(p[0], p[1]);
        }
    }
}

void undoWeightShift(KineticBike& b) {
    const qzVector3d s = b.centerOfMass * -1.0f;
    b.chassis->shiftCentreOfMass(toKinetic(s));
    for (Kinetic::Vector3& h : b.m_suspension->m_wheelsHardpointCS) h -= toKinetic(s);
    b.centerOfMass = b.centerOfMass + s;
    b.ride.comShiftState = b.ride.lastComShiftState = 0;
}

}  // namespace

namespace bikecrash {

void BeginHandOver(KineticBike& b) {
    b.m_input->m_acceleratorPedalInput = 0.0f;
    b.m_input->m_brakePedalInput = 0.0f;
    b.m_input->m_steeringWheelInput = 0.0f;
    b.input.suspendBikePacket = 1;
    b.input.suspendedBikePacket = b.input.bikePacket;
    for (int k = 0; k < BIKEACTION_NUM_STATES; ++k) b.input.suspendedPressed[k] = b.input.pressed[k];
    b.input.bikePacket = 0;
    undoWeightShift(b);
    pairWithOthers(b, true);
    b.crashBike->setPinned(false);
    b.crashBike->setActive(true, true);
}

void StopWheels(KineticBike& b) {
    for (Kinetic::WheelInfo& w : b.m_wheels->m_wheelsInfo) w.m_spinVelocity = 0.0f;
    b.ground.wheelInfo[0].m_spinVelocity = b.ground.wheelInfo[1].m_spinVelocity = 0.0f;
}

}  // namespace bikecrash

namespace {

// The crash body's pose and velocities as the last accepted crash record.
void takeValidRecord(KineticBike& b, const Kinetic::Quaternion& bodyOrient) {
    b.reset.lastValidCrashPos = b.ground.bikePos;
    if (b.ground.minDistToGroundLevel < 0.0f) b.reset.lastValidCrashPos.y += b.ground.minDistToGroundLevel;
    b.reset.lastValidCrashQzOrient = b.qOrientation;
    b.reset.lastValidCrashKineticOrient = bodyOrient;
    b.reset.lastValidCrashDir = b.frame.forwardDir;
    b.reset.lastValidCrashLinearVel = toModel(capLength(b.crashBike->m_linearVelocity, kValidSpeed));
    b.reset.lastValidCrashAngularVel = toModel(capLength(b.crashBike->m_angularVelocity, kValidSpeed));
}

}  // namespace

namespace bikecrash {

void MoveCamera(const KineticBike& b, int mode) {
    if (!b.isCPU && KineticBike::cameraModeHook) KineticBike::cameraModeHook(b.cameraId, mode);
}

}  // namespace bikecrash

void KineticBike::crashUpdate() {
    switch (crash.crashState) {
        case 0:
            crashWatchRiding();
            return;
        case 2:
            crashHandOver();
            return;
        case 3:
            crashTumble();
            return;
        case 4:
            crashPutBack();
            return;
        case 5:
            crashResume();
            return;
        default:
            return;
    }
}

// State 0, riding: the packet held back by a crash comes back at the first wheel contact, the
// post-crash window runs out, and the trail of safe positions grows.
void KineticBike::crashWatchRiding() {
    if (!crash.postCrashHitGround &&
        (ground.wheelInfo[0].m_isInContact || ground.wheelInfo[1].m_isInContact)) {
        crash.postCrashHitGround = 1;
        if (input.suspendBikePacket) {
            input.bikePacket = input.suspendedBikePacket;
            for (int k = 0; k < BIKEACTION_NUM_STATES; ++k) input.pressed[k] = input.suspendedPressed[k];
            input.suspendBikePacket = 0;
        }
    }
    ++crash.postCrashCounter;
    if (crash.invulnerabilityCounter != 0) --crash.invulnerabilityCounter;
    if (crash.postCrashCounter == kPostCrashSteps)
        for (unsigned i = 0; i < racerCount(); ++i)
            if (i != bikeIndex) detector()->enableCollisionGroups(bikeCollisionGroup, bikeCollisionGroups[i]);
    float d2 = 0.0f;
    qzMath::qzMathVectorDistanceSquared(&d2, &ground.bikePos, &reset.safePos[0]);
    if ((ground.wheelInfo[0].m_isInContact || ground.wheelInfo[1].m_isInContact) && ground.levelGround &&
        d2 > kSafeGap2) {
        for (int k = 28; k >= 0; --k) {
            reset.safePos[k + 1] = reset.safePos[k];
            reset.safeDir[k + 1] = reset.safeDir[k];
        }
        reset.safePos[0] = ground.bikePos;
        reset.safeDir[0] = frame.forwardDir;
    }
}

// State 2, the request: the motion goes from the chassis to the crash body, placed just above the
// ground, and the first reset position is chosen.
void KineticBike::crashHandOver() {
    Kinetic::Vector3 p;
    Kinetic::Quaternion r;
    BeginHandOver(*this);
    crashBike->m_linearVelocity = capLength(chassis->m_linearVelocity, kHandOverSpeed);
    crashBike->m_angularVelocity = chassis->m_angularVelocity;
    freeze(chassis.get());
    Kinetic::Vector3 at =
        toKinetic((ground.bikePos + qzVector3d(0.0f, -kCrashBodyLift, 0.0f)) * kMetresPerModelUnit);
    if (ground.minDistToGroundLevel < kCrashBodyClearance)
        at.y += kMetresPerModelUnit * (kCrashBodyClearance + ground.minDistToGroundLevel);
    crashBike->m_position = at;
    crashBike->m_startPosition = at;
    crashBike->recomputeTransform();
    crashBike->recomputeBoundingVolumes();
    updateModelObjectFromKinetic();
    MoveCamera(*this, kCameraCrash);
    crash.crashing = 1;
    crash.recovering = 0;
    crashBike->getDisplayToWorldTransform(p, r);
    crash.crashState = 3;
    StopWheels(*this);
    if (rc && csolver) rc->removeAction(csolver.get());
    air.crashExtraGravity = 0.0f;
    findDistancesToGround();
    takeValidRecord(*this, r);
    crash.crashPos = reset.lastValidCrashPos;
    crash.crashDir = reset.lastValidCrashDir;
    crash.crashCounter = 0;
    if (gameOptions.trackType == TRACKTYPE_INDOOR || gameOptions.trackType == TRACKTYPE_OUTDOOR)
        findSplineCrashResetPos();
    ++crash.crashCounter;
}

namespace {

// Whether the rider is clear of every bike, and whether this crash body is stuck in one.
void findCrashOverlaps(const KineticBike& bike, const Kinetic::PairList& pairs, bool& riderClear,
                       bool& bikeStuck) {
    for (const Kinetic::CollidablePair& pr : pairs) {
        auto owner = [](const Kinetic::Collidable* c) -> void* {
            return c && c->m_entity ? c->m_entity->m_userInfo : nullptr;
        };
        void* a = owner(pr.m_first);
        void* b = owner(pr.m_second);
        auto isBike = [](void* o) {
            return o && dynamic_cast<KineticBike*>(static_cast<CModelObject*>(o)) != nullptr;
        };
        const bool bikeA = isBike(a), bikeB = isBike(b);
        void* mine = static_cast<void*>(bike.rider);
        if (mine && ((bikeA && b == mine) || (bikeB && a == mine))) riderClear = false;
        if ((bikeA || bikeB) && riderClear) bikeStuck = true;
    }
}

}  // namespace

// State 3, tumbling: the rider is let collide with the bike once clear of it, the crash body is kept
// near its last accepted pose, and after the tumble the bike recovers.
void KineticBike::crashTumble() {
    bool riderClear = true, bikeStuck = false;
    const Kinetic::PairList pairs = detector()->getInterpenetrations();
    findCrashOverlaps(*this, pairs, riderClear, bikeStuck);
    Kinetic::Vector3 p;
    Kinetic::Quaternion r;
    if (crash.crashCounter == 2) {
        bikeRiderCollisionOn = 0;
        crash.riderCrashing = 1;
    }
    if (crash.crashCounter >= 10 && !bikeRiderCollisionOn && riderClear) {
        detector()->enableCollisionGroups(bikeCollisionGroup, riderCollisionGroup);
        bikeRiderCollisionOn = 1;
    }
    float d = 0.0f;
    qzMath::qzMathVectorDistance(&d, &ground.bikePos, &reset.lastValidCrashPos);
    if (ground.minDistToGroundLevel < 0.0f) ground.bikePos.y += ground.minDistToGroundLevel;
    if (d < kCrashDriftLimit && ground.minDistToGroundLevel > -kCrashSinkLimit && !bikeStuck) {
        crashBike->getDisplayToWorldTransform(p, r);
        takeValidRecord(*this, r);
    } else {
        restoreLastValidCrashPose();
    }
    if (crash.crashCounter >= kTumbleSteps) {
        crash.crashState = 4;
        crash.invulnerabilityCounter = 180;
        status.flags |= bit(BIKE_RECOVER);
    } else {
        dampenCrashVelocity(crashBike.get());
        status.flags |= bit(BIKE_CRASH);
    }
    ++crash.crashCounter;
}

// The crash body went too far or too deep: it goes back to its last accepted pose and velocities.
void KineticBike::restoreLastValidCrashPose() {
    resetBody(crashBike.get());
    position = reset.lastValidCrashPos;
    qOrientation = reset.lastValidCrashQzOrient;
    crashBike->m_linearVelocity = toKinetic(reset.lastValidCrashLinearVel);
    crashBike->m_angularVelocity = toKinetic(reset.lastValidCrashAngularVel);
    const Kinetic::Vector3 at = toKinetic(reset.lastValidCrashPos * kMetresPerModelUnit);
    chassis->setDisplayToWorldTransform(at, reset.lastValidCrashKineticOrient);
    crashBike->setDisplayToWorldTransform(at, reset.lastValidCrashKineticOrient);
    validPositionOrientationCheck(at, reset.lastValidCrashKineticOrient);
    ground.wheelPos[0] =
        position + frame.forwardDir * kFrontHub + frame.upDir * getFrontWheelSuspensionCompression();
    ground.wheelPos[1] = position + frame.upDir * getBackWheelSuspensionCompression();
    ground.bikePos = position;
    findDistancesToGround();
    reset.lastValidCrashPos = ground.bikePos;
    if (ground.minDistToGroundLevel < 0.0f) reset.lastValidCrashPos.y += ground.minDistToGroundLevel;
}

// State 4, the tumble is over: control back to the rider, the bike placed at its reset position.
void KineticBike::crashPutBack() {
    if (gameOptions.trackType == TRACKTYPE_BAJA || gameOptions.trackType == TRACKTYPE_FREESTYLE)
        findNonSplineCrashResetPos();
    // A crash that came to rest at the edge must not put the bike back there.
    KeepResetOffEdge(*this);
    crash.crashing = 0;
    crash.recovering = 1;
    crash.riderCrashing = 0;
    freeze(chassis.get());
    recover();
    freeze(crashBike.get());
    setStartPos(reset.crashResetPos, reset.crashResetDir);
    MoveCamera(*this, kCameraFollow);
    status.flags |= bit(BIKE_RECOVER);
    crash.postCrashHitGround = 0;
    crash.crashState = 5;
    ++crash.crashCounter;
}

// State 5: the chassis rides again.
void KineticBike::crashResume() {
    status.flags = 0;
    if (constraint) constraint->setAngle(0.0f);
    chassis->setPinned(false);
    chassis->setActive(true, true);
    resetBody(chassis.get());
    crash.crashState = 0;
    crash.recovering = 0;
    ++crash.crashCounter;
}

void KineticBike::recover() {
    lean.leanPercent = 0.0f;
    detector()->disableCollisionGroups(bikeCollisionGroup, riderCollisionGroup);
    pairWithOthers(*this, false);
    if (rc && csolver) {
        rc->removeAction(csolver.get());
        rc->addAction(csolver.get(), 0);
    }
    if (constraint) constraint->setAngle(0.0f);
    crash.lockSuspension = 0;
    air.crashExtraGravity = 0.0f;
}

void KineticBike::resetVars() {
    resetRidingInput();
    resetRidingCounters();
    resetRidingHistory();
    if (!vehicle) return;
    resetComponents();
}

// The chassis's motion, the wheels' spin, the input and the handling state.
void KineticBike::resetRidingInput() {
    if (chassis) {
        resetBody(chassis.get());
        const Kinetic::Vector3 f = toKinetic(frame.forwardDir), u = toKinetic(frame.upDir);
        chassis->m_angularVelocity = f * chassis->m_angularVelocity.dot(f);
        chassis->m_linearVelocity = u * chassis->m_linearVelocity.dot(u);
    }
    if (m_wheels) StopWheels(*this);
    ride.throttle = ride.throttleUp = 0.0f;
    ride.throttleUpActive = 0;
    ride.turnStep = ride.brakingScale = 0.0f;
    air.framesInAir = air.lastFramesInAir = air.crashFramesInAir = 0;
    ride.turnCounter = ride.powerSlideBrakeTurnCounter = ride.powerSlideAccelTurnCounter = 0;
    for (int32_t& p : input.pressed) p = 0;
    particles.numExhaustParticles = particles.numTrailParticles = particles.numMudParticles = 0.0f;
    particles.numFrontDustParticles = particles.numBackDustParticles = 0.0f;
    air.preLoadPressedCounter = air.preLoadWaitDelay = 0;
    air.preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    air.preLoadJump = air.preLoadJumpPending = 0;
    air.preLoadJumpCounter = air.preLoadReportState = 0;
    ride.lastBikeStateCounter = 0;
    input.throttleZero = input.lastThrottleZero = 1.0f;
    for (int i = 0; i < 17; ++i) {
        ride.bikeStateCounter[i] = -1000;
        ride.bikeStateSuspended[i] = 0;
    }
    ride.bikeState = ride.lastBikeState = ride.lastFrameBikeState = 10;
    if (chassis && m_suspension) undoWeightShift(*this);
    if (constraint) constraint->setAngle(0.0f);
}

// Jumps, turns, wheelies, crashes and their counters.
void KineticBike::resetRidingCounters() {
    air.jumpConsistencyPendingCounter = 0;
    air.jumpConsistencyPending = air.jumpConsistencyAssist = air.jumpConsistencyOverHalf = 0;
    air.jumpConsistencyExtraGravity = 0.0f;
    air.jumpConsistencyAngleCounter = 0;
    air.crashExtraGravity = air.preLoadExtraGravity = 0.0f;
    air.jumpAssist = 0;
    ride.nitroState = NO_NITRO;
    ride.leftTurnType = ride.rightTurnType = 0;
    ride.sharpTurnCounter = ride.lastLeftTurnPressed = ride.lastRightTurnPressed = 0;
    ride.sharpRightTurnPressedCounter = ride.sharpLeftTurnPressedCounter = 0;
    ride.leftTurnBrakeCounter = ride.rightTurnBrakeCounter = 0;
    air.jumpSpeedCounter = 0;
    air.jumpSpeedTarget = 0.0f;
    ride.wheelieCondition = ride.wheelieRequested = 0;
    ride.wheelieCounter = 0;
    ride.turnPressedPercent = 0.0f;
    air.preLoadForceCounter = 0;
    ride.powerSlideAccelBoostEligible = ride.powerSlideBrakeBoostEligible = 0;
    crash.postCrashCounter = 0;
    crash.stuntCrashFlag = crash.lockSuspension = crash.willCrashFlag = 0;
    air.changeInVelCounter = 0;
    ground.lastBikePitchRollIndex = frame.lastVelocityMagIndex = 0;
    air.landingImpactScale = 0.0f;
    ride.throttleWheelieCounter = 0;
    ride.throttleWheelie = 0;
    crash.crashSpeed = 0.0f;
    ride.frontWheelTurnLeft = ride.frontWheelTurnRight = 0;
    air.jumpSpeedRightWay = 0.0f;
    ride.powerSlideBreakAway = 0;
    ride.brakeAppliedCounter = 0;
    ground.drivingOnObject = 0;
    ground.drivingOnObjectCounter = 0;
    reset.validCrashRestPos = 0;
    frame.linearVelocityMag = frame.forwardVelocityMag = 0.0f;
    crash.sideOfSteepHillCounter = crash.collideCounterNoVelocity = 0;
    air.crashRampPair = nullptr;
    air.landingSpeedScale = 1.0f;
    air.landingSpeedCounter = 5;
    crash.collidedCounter = 40;
    ride.throttleWheelieOffCounter = 10;
    air.bikeLandCounter = 60;
    crash.abruptVelocityChangeCounter = 300;
}

// The rider's displacement, the velocity and attitude histories and the filters.
void KineticBike::resetRidingHistory() {
    riderMotion.riderRestPos = riderMotion.riderCurrentPos = riderMotion.riderLastPos =
        riderMotion.riderVelocity = riderMotion.riderLastVelocity = riderMotion.riderDelta = qzVector3d();
    linearVelocity = qzVector3d();
    for (int i = 0; i < 30; ++i) {
        frame.lastVelocity[i] = qzVector3d();
        frame.lastVelocityMag[i] = 0.0f;
    }
    for (int i = 0; i < 5; ++i) {
        ground.lastBikePitch[i] = ground.bikePitch;
        ground.lastBikeRoll[i] = ground.bikeRoll;
        ground.lastBikeRelativePitch[i] = ground.bikeRelativePitch;
        ground.lastBikeRelativeRoll[i] = ground.bikeRelativeRoll;
    }
    ride.filterSAV.lo0 = ride.filterSAV.lo1 = 0.0f;
    lean.leanFilter.lo0 = lean.leanFilter.lo1 = 0.0f;
    for (CFilter& f : ride.frictionFilter) {
        f.lo0 = 2.0f;
        f.lo1 = 0.0f;
    }
    ride.filteredMaxSpeed = isCPU ? attributes.cpuMaximumSpeed : attributes.maximumSpeed;
    ride.maxSpeedFilter.lo0 = ride.filteredMaxSpeed;
    ride.maxSpeedFilter.lo1 = 0.0f;
}

// The components as the riding code found them at the bike's construction.
void KineticBike::resetComponents() {
    auto* engine = static_cast<Kinetic::CBikeEngine*>(m_engine);
    engine->m_resistanceFactorAtMinRPM = engine->m_resistanceFactorAtOptRPM =
        engine->m_resistanceFactorAtMaxRPM = 0.0f;
    auto* steering = static_cast<Kinetic::CBikeSteering*>(m_steering);
    for (size_t i = 0; i < steering->m_wheelsDoesSteer.size(); ++i) steering->m_wheelsDoesSteer[i] = false;
    steering->setSteeringAnglePercent(0, 0.0f);
    steering->setSteeringAnglePercent(1, 0.0f);
    auto* brakes = static_cast<Kinetic::CBikeBrake*>(m_brakes);
    for (size_t i = 0; i < brakes->m_wheelsMaxBrakingTorque.size() && i < 2; ++i)
        brakes->m_wheelsMaxBrakingTorque[i] = physicsSetup.maxBrakingTorque[i];
    for (size_t i = 0; i < brakes->m_wheelsIsConnectedToHandbrake.size(); ++i)
        brakes->m_wheelsIsConnectedToHandbrake[i] = false;
    m_input->m_handbrakeOn = false;
    m_input->m_steeringWheelInput = m_input->m_brakePedalInput = m_input->m_acceleratorPedalInput = 0.0f;
    auto* susp = static_cast<Kinetic::CBikeSuspension*>(m_suspension);
    for (size_t i = 0; i < susp->m_wheelsStrength.size() && i < 2; ++i)
        susp->m_wheelsStrength[i] = physicsSetup.suspensionStrength[i];
    for (size_t i = 0; i < susp->m_wheelsDampingRelaxation.size() && i < 2; ++i)
        susp->m_wheelsDampingRelaxation[i] = physicsSetup.dampingRelaxation[i];
    for (size_t i = 0; i < susp->m_wheelsDampingCompression.size() && i < 2; ++i)
        susp->m_wheelsDampingCompression[i] = physicsSetup.dampingCompression[i];
    static_cast<Kinetic::CBikeAerodynamics*>(m_aerodynamics)->m_extraGravity =
        Kinetic::Vector3(0.0f, 0.0f, 0.0f);
}

void KineticBike::findSplineCrashResetPos() {
    if (gameOptions.trackType != TRACKTYPE_INDOOR && gameOptions.trackType != TRACKTYPE_OUTDOOR) return;
    if (air.crashRampPair) {
        reset.crashResetPos = air.crashRampPair->landing;
        reset.crashResetDir = air.crashRampPair->dir;
        air.crashRampPair = nullptr;
        return;
    }
    CSplineManager* sm = CSplineManager::getSplineManager();
    const CQZSpline& way = sm->spline(CSplineManager::WayPoint);
    const unsigned tries = ResetSearchTries(way.count() > 0 ? way.GetPointTime(way.count() - 1) : 0.0f);
    float t = laps.curWayTime;
    for (unsigned k = 0; k < tries; ++k, t -= kResetStep) {
        qzVector3d at, dir;
        if (!sm->getPoint(t, CSplineManager::WayPoint, at, dir)) break;
        bool clear = true;
        for (unsigned i = 0; i < racerCount() && clear; ++i) {
            if (!racers[i] || racers[i] == this) continue;
            float d2 = 0.0f;
            qzMath::qzMathVectorDistanceSquared(&d2, &racers[i]->position, &at);
            if (d2 < kResetClear * kResetClear) clear = false;
        }
        if (clear) {
            reset.crashResetPos = at;
            reset.crashResetDir = dir;
            return;
        }
    }
    reset.crashResetPos = reset.safePos[0];
    reset.crashResetDir = reset.safeDir[0];
}

void KineticBike::findNonSplineCrashResetPos() {
    switch (crash.crashType) {
        case 0:
        case 1:
            if (ground.levelGround) {
                reset.crashResetPos = ground.bikePos;
                reset.crashResetDir = reset.safeDir[0];
            } else {
                reset.crashResetPos = reset.safePos[1];
                reset.crashResetDir = reset.safeDir[1];
            }
            return;
        case 2:
            for (int k = 0; k < 30; ++k) {
                reset.crashResetPos = reset.safePos[k];
                reset.crashResetDir = reset.safeDir[k];
                float d2 = 0.0f;
                qzMath::qzMathVectorDistanceSquared(&d2, &reset.safePos[k], &crash.crashPos);
                if (d2 > kObjectGap2) return;
            }
            return;
        default:
            return;
    }
}
