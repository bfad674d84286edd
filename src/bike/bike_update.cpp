// The bike's frame, once per 60 Hz model step after the physics step: the pose from the physics world,
// wheel positions, track and HUD state, velocities and their history, standstill and speed limits, air
// time, the jump assist and landing hold, the pre-race hold, the crash tests, the handling step with the
// spin damping around it, the preload and the flight, the nitro and the rider's sway, the contacts, the
// checkpoints crossed, the track bonuses, the world edge and the crash state machine, the particle trail,
// the finisher put back at its start, and the flag words the views and the sound read. Also the wrong-way
// sign and the height above ground that the race and the views ask for.
#include "bike/bike_control.h"
#include "bike/bike_laps.h"
#include "bike/bike_particles.h"
#include "bike/components/bike_aerodynamics.h"
#include "bike/components/bike_driver_input.h"
#include "bike/components/bike_engine.h"
#include "bike/kinetic_bike.h"
#include "bike/particle_sink.h"
#include "engine/sys/math.h"
#include "game/core/global_options.h"
#include "game/model/global_time.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/spline_manager.h"

namespace {

constexpr float kCrawl = 0.9259259f;  // 3.333 km/h
constexpr float kFrontHub = 167.9992f;
constexpr float kOffTrack2 = 6250000.0f;  // 2500 units, squared
constexpr float kAirHeight = 36.0f;
constexpr float kCrashAirHeight = 15.0f;
constexpr uint32_t kTakeOffFrames = 5;
constexpr float kModelUnitsPerMetre = 100.0f;

// The air attitude that crashes the bike: the nose-up limit grows from 110 degrees level to 150 at 60
// degrees of roll, the nose-down limit from 100 to 130 between 60 and 100 degrees of roll.
constexpr float kRollMid = 60.0f;
constexpr float kNoseUpLevel = 110.0f;
constexpr float kNoseUpRolled = 150.0f;
constexpr float kNoseUpRollEnd = 90.0f;
constexpr float kNoseDownLevel = 100.0f;
constexpr float kNoseDownRolled = 130.0f;
constexpr float kNoseDownRollEnd = 100.0f;

// The wrong-way sign (model units, squared).
constexpr float kOnTrack2 = 2250000.0f;      // 1500 units: close enough to the line to clear the sign
constexpr float kWrongWay = -0.7f;           // forward . track direction
constexpr float kFarOffTrack2 = 4000000.0f;  // 2000 units

// The start boost.
constexpr float kStartBoostRampFrames = 15.0f;
constexpr float kStartBoostImpulse = 750.0f;  // N s per step at full strength

// The camera's look-at point (model units above and ahead of the bike).
constexpr float kLookAtHeight = 15.0f;
constexpr float kLookAhead = 100.0f;

constexpr float kTurnedBack = 0.25f;  // velocity . last velocity ((m/s)^2): a sharp change inserts a stop
constexpr float kAirSpeedDecay = 0.008333f;  // m/s per step

constexpr uint32_t bit(int b) {
    return 1u << b;
}

qzVector3d toModel(const Kinetic::Vector3& v) {
    return qzVector3d(v.x, v.y, v.z);
}

}  // namespace

bool KineticBike::airAttitudeExceeded() const {
    const float r = x_fabs(ground.bikeRoll);
    const float upper =
        getSlopePoint(0.0f, kNoseUpLevel, kRollMid, kNoseUpRolled, kNoseUpRollEnd, kNoseUpRolled, r);
    const float lower =
        getSlopePoint(0.0f, kNoseDownLevel, kRollMid, kNoseDownRolled, kNoseDownRollEnd, kNoseDownRolled, r);
    return ground.bikePitch > upper || ground.bikePitch < -lower;
}

float KineticBike::getDistToGround() const {
    if (ground.wheelInfo[0].m_isInContact || ground.wheelInfo[1].m_isInContact) return 0.0f;
    return ground.distToGroundLevel[1];
}

void KineticBike::maybeFlashWrongWay(const qzVector3d& trackDir, const qzVector3d& trackPoint) {
    const float d = frame.forwardDir * trackDir;
    float d2 = 0.0f;
    qzMath::qzMathVectorDistanceSquared(&d2, &position, &trackPoint);
    if (d > 0.0f && d2 < kOnTrack2) {
        laps.flashWrong = 0;
        laps.trackToHudWrongWay = 4;
        return;
    }
    if (crash.crashing || crash.recovering) return;
    if ((d < kWrongWay || laps.flashWrong || d2 > kFarOffTrack2) && !isCPU) {
        laps.flashWrong = 1;
        laps.trackToHudWrongWay = 1;
    }
}

void KineticBike::update(float) {
    if (!vehicle) return;
    ++laps.frameCountForMessage;
    updateModelObjectFromKinetic();
    ground.wheelPos[0] =
        position + frame.forwardDir * kFrontHub + frame.upDir * getFrontWheelSuspensionCompression();
    ground.wheelPos[1] = position + frame.upDir * getBackWheelSuspensionCompression();
    ground.bikePos = position;
    updateOffTrack();
    if (wheelBase == 0.0f) measureBikeOnce();
    if (isCPU) {
        const bool assisted = air.jumpAssist || air.jumpConsistencyPending || air.jumpConsistencyAssist ||
                              ride.nitroState != NO_NITRO;
        input.throttleZero = assisted ? 1.0f : input.lastThrottleZero;
    }
    applyStartBoost();

    status.lastFlags = status.flags;
    status.flags = 0;

    // The race clock in the bike's statistics.
    bikeStats.raceTime = globalTime - CStats::startTime;
    bikeStats._currentLapTime = globalTime - bikeStats._currentLapTimeStamp;
    bikeStats.calculateHoleShot();

    readBikeState();
    updateVelocityHistory();
    zeroVelocity();
    limitMaximumSpeed();
    if (crash.crashState == 0) {
        jumpSpeed();
        jumpAngle();
        landSpeed();
        drivingOnObjects();
    }
    limitMaximumSpeed();
    updateGroundAndAir();

    if (!laps.startRace) {
        holdBeforeStart();
        return;
    }
    if (wheelBase == 0.0f) return;
    if (crash.crashState == 0) rideStep();
    finishUpdate();
}

void KineticBike::updateOffTrack() {
    // Back on the track: within 2500 units of the racing line at the bike's way time. A freestyle arena's
    // way time does not follow the bike, so there the bike is back as soon as it leaves the off-track
    // surface: the whole floor is the track.
    if (laps.isOffTrack && !isCPU) {
        laps.trackToHudOffTrack = 2;
    } else if (gameOptions.trackType == TRACKTYPE_FREESTYLE) {
        laps.trackToHudOffTrack = bikelaps::kHudOnTrack;
    } else {
        qzVector3d point, dir;
        float d2 = 0.0f;
        const bool found = CSplineManager::getSplineManager()->getPoint(laps.curWayTime,
                                                                        CSplineManager::WayPoint, point, dir);
        if (found) qzMath::qzMathVectorDistanceSquared(&d2, &point, &ground.bikePos);
        if (!found || d2 < kOffTrack2) {
            laps.isOffTrack = 0;
            laps.trackToHudOffTrack = 8;
        }
    }
    if (crash.crashing) {
        laps.isOffTrack = 0;
        laps.trackToHudOffTrack = 8;
    }
}

// The wheel base and length, the reset history and the tuning, at the first update.
void KineticBike::measureBikeOnce() {
    float wb = 0.0f;
    qzMath::qzMathVectorDistance(&wb, &ground.wheelPos[1], &ground.wheelPos[0]);
    wheelBase = wb;
    bikeLength = wheelBase + 2.0f * kModelUnitsPerMetre * m_wheels->m_wheelsRadius[1];
    for (int i = 0; i < 30; ++i) {
        reset.safePos[i] = ground.bikePos;
        reset.safeDir[i] = frame.forwardDir;
    }
    setAttributes();
}

void KineticBike::applyStartBoost() {
    // Start boost: a push up the lap that grows over its first quarter second.
    if (laps.canBoost == 2) ride.startBoostCounter = 60;
    if (ride.startBoostCounter != 0) {
        const float s = static_cast<float>(60 - ride.startBoostCounter) / kStartBoostRampFrames;
        applyChassisImpulse(frame.fForwardDir * (kStartBoostImpulse * (s < 1.0f ? s : 1.0f)));
        --ride.startBoostCounter;
    }
}

// The frame, wheels, terrain and crash-box readings of this step.
void KineticBike::readBikeState() {
    getBaseVectors();
    ground.lastWheelInfo[0] = ground.wheelInfo[0];
    ground.lastWheelInfo[1] = ground.wheelInfo[1];
    ground.wheelInfo[0] = m_wheels->m_wheelsInfo[0];
    ground.wheelInfo[1] = m_wheels->m_wheelsInfo[1];
    bikeTerrainInfo();
    getTerrainType();
    getWheelieCondition();
    crash.movingForward = !(frame.forwardVelocityMag < 0.0f);
    crashFindDistancesToGround();
    crashResetPoints();
    cameraLookAtPos = ground.bikePos + frame.upDir * kLookAtHeight + frame.forwardDir * kLookAhead;
    bikeCenterOfMassPos = toModel(chassis->m_position) * kModelUnitsPerMetre;
    zeroVelocity();
}

void KineticBike::updateVelocityHistory() {
    // Velocity and its history (newest first); a sharp change of direction inserts a stop.
    frame.lastLinearVelocity = linearVelocity;
    frame.lastLinearVelocityMag = frame.linearVelocityMag;
    for (int i = 29; i > 0; --i) {
        frame.lastVelocity[i] = frame.lastVelocity[i - 1];
        frame.lastVelocityMag[i] = frame.lastVelocityMag[i - 1];
    }
    frame.lastVelocity[0] = linearVelocity;
    frame.lastVelocityMag[0] = frame.linearVelocityMag;
    if (frame.lastVelocity[0] * frame.lastVelocity[1] < kTurnedBack) {
        for (int i = 29; i > 1; --i) {
            frame.lastVelocity[i] = frame.lastVelocity[i - 1];
            frame.lastVelocityMag[i] = frame.lastVelocityMag[i - 1];
        }
        frame.lastVelocity[1] = qzVector3d();
        frame.lastVelocityMag[1] = 0.0f;
    }
    linearVelocity = toModel(activeBody()->m_linearVelocity);
    frame.linearVelocityMag = activeBody()->m_linearVelocity.length();
    frame.forwardVelocityMag = linearVelocity * frame.forwardDir;
    if (frame.forwardVelocityMag > -kCrawl && frame.forwardVelocityMag < kCrawl)
        frame.forwardVelocityMag = 0.0f;
    if (air.framesInAir == 1) frame.inAirLinearVelocityMag = frame.linearVelocityMag;
    frame.inAirLinearVelocityMag -= kAirSpeedDecay;
}

// Ground and air: the engine boost on both wheels, the ground flags, landing, take-off and air time.
void KineticBike::updateGroundAndAir() {
    if (crash.crashState == 0) {
        const bool front = ground.wheelInfo[0].m_isInContact, back = ground.wheelInfo[1].m_isInContact;
        const bool touching = front || back;
        auto* engine = static_cast<Kinetic::CBikeEngine*>(m_engine);
        if (front && back)
            engine->enableEngineBoost();
        else
            engine->disableEngineBoost();
        if (checkMessage(BIKEACTION_BRAKE)) status.flags |= bit(BIKE_BRAKING);
        status.flags |= bit(touching ? BIKE_ON_GROUND : BIKE_OFF_GROUND);
        if (air.inAir && touching) {
            status.flags |= bit(BIKE_LAND);
            air.bikeLandCounter = 0;
            air.inAir = 0;
        }
        ++air.bikeLandCounter;
        air.crashLand = air.crashFramesInAir >= 6 && touching;
        if (!touching) {
            if (ground.minDistToGround > kCrashAirHeight) ++air.crashFramesInAir;
            if (ground.minDistToGround > kAirHeight) ++air.framesInAir;
        } else {
            air.crashFramesInAir = 0;
            air.lastFramesInAir = air.framesInAir;
            air.framesInAir = 0;
        }
        if (air.framesInAir == kTakeOffFrames) {
            status.flags |= bit(BIKE_TAKEOFF);
            bikeStats.jumpStart(ground.bikePos, globalTime);
            air.inAir = 1;
            air.takeOffPos = ground.bikePos;
        }
        if (air.inAir) status.flags |= bit(BIKE_INAIR);
    } else {
        bikeStats.jumpLandFailed(globalTime);
    }
}

// Before the start the bike holds its brake, upright, and remembers where it stands.
void KineticBike::holdBeforeStart() {
    reset.startPosition = ground.bikePos;
    reset.startOrientation = q;
    reset.startDir = frame.forwardDir;
    m_input->m_acceleratorPedalInput = 0.0f;
    m_input->m_brakePedalInput = 1.0f;
    m_input->m_steeringWheelInput = 0.0f;
    lean.leanRot = lean.leanFilter.step(0.0f);
    if (constraint) constraint->setAngle(0.0f);
}

// The riding bike's step: crash tests, handling, preload and flight, gravity, nitro and the rider.
void KineticBike::rideStep() {
    checkForAbruptVelocityChange();
    groundCrash();
    if (air.inAir && airAttitudeExceeded()) startCrash(1);
    auto* engine = static_cast<Kinetic::CBikeEngine*>(m_engine);
    engine->setEngineBoost(input.throttleZero);
    dampenAngularVelocity();
    control();
    controlTail();
    preLoad();
    inAirAdjust();
    auto* aero = static_cast<Kinetic::CBikeAerodynamics*>(m_aerodynamics);
    const float extra = air.crashExtraGravity != 0.0f             ? air.crashExtraGravity
                        : air.jumpConsistencyExtraGravity != 0.0f ? air.jumpConsistencyExtraGravity
                                                                  : air.preLoadExtraGravity;
    aero->m_extraGravity = Kinetic::Vector3(0.0f, extra, 0.0f);
    nitroBoost();
    riderDisplacement();
    engine->setVelocity(frame.linearVelocityMag);
    if (!checkMessage(BIKEACTION_ACCEL) && frame.linearVelocityMag < kCrawl) {
        frame.linearVelocityMag = 0.0f;
        linearVelocity = qzVector3d();
    }
    if (frame.linearVelocityMag > kCrawl) lean.leanTargetEnabled = 0;
}

// The end of every started step: particles, wheel turn and throttle flags, contacts, checkpoints,
// bonuses, the world edge, the crash state machine, the finisher's set-back and the view flags.
void KineticBike::finishUpdate() {
    if (particles::loadLevel() < particles::kSlow) bikeparticles::emitParticleTrail(*this);

    ride.frontWheelTurnLeft = ride.frontWheelTurnRight = 0;
    if (checkMessage(BIKEACTION_LEFT_TURN) || (status.flags & bit(BIKE_LEFT_TURN)))
        ride.frontWheelTurnLeft = 1;
    else if (checkMessage(BIKEACTION_RIGHT_TURN) || (status.flags & bit(BIKE_RIGHT_TURN)))
        ride.frontWheelTurnRight = 1;
    status.flags |= bit(checkMessage(BIKEACTION_ACCEL) ? BIKE_ACCEL : BIKE_DECEL);
    if (ride.throttleWheelie) status.flags |= bit(BIKE_THROTTLE_UP);
    collide();
    checkPoint();
    if (!isCPU) trackBonus.update(this);
    checkForWorldEdgeCrash();
    crashUpdate();
    // The first bike over the finish of the last lap goes back to where it waited for the start (a race
    // has at least one lap: a duration of 0 would move a bike at its first step).
    if (gameOptions.duration > 0 && laps.curLap == gameOptions.duration && !finishSetBack) {
        finishSetBack = 1;
        setStartPos(reset.startPosition, reset.startDir);
    }
    status.viewFlags = status.lastFlags | status.flags;
}
