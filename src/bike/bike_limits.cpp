// The small steps of the bike's frame that shape its speed and spin around the handling step: the
// wheelie condition, the standstill clamp, the speed limit, the speed hold on freestyle objects, the
// spin damping and the nitro boost.
#include "bike/bike_control.h"
#include "bike/components/bike_driver_input.h"
#include "bike/kinetic_bike.h"
#include "game/core/global_options.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/terrain_type.h"

namespace {

constexpr float kCrawl = 0.9259259f;       // 3.333 km/h
constexpr float kBrakeStop = 2.314815f;    // 8.333 km/h
constexpr float kLaunchEnd = 6.944444f;    // 25 km/h
constexpr float kPopSpeed = 5.555556f;     // 20 km/h
constexpr float kSpeedUnitsPerMs = 2.16f;  // the attributes' speeds per m/s

// The throttle wheelie lasts two seconds to 100 km/h, falling to 0.4 of that from 166.67 km/h.
constexpr float kWheelieFadeSpeed = 27.77778f;  // m/s
constexpr float kWheelieShortSpeed = 46.2963f;  // m/s
constexpr float kShortWheelie = 0.4f;
constexpr float kStepsPerSecond = 60.0f;
constexpr float kWheelieLength = 2.0f;  // s
constexpr float kFrontWheelUp = 36.0f;  // model units of front wheel clearance in a wheelie

constexpr float kLongBrakeDecay = 0.98f;  // velocity kept per step after two seconds of full brake

// Spin kept per step: yaw and pitch on the ground, all in the air, pitch down at a take-off.
constexpr float kGroundSpinKept = 0.95f;
constexpr float kAirSpinKept = 0.75f;
constexpr float kTakeOffNoseDownKept = 0.125f;
constexpr float kRampNoseDownKept = 0.25f;  // entering a take-off marker on the front wheel

// Nitro.
constexpr float kNitroRampFrames = 15.0f;
constexpr float kNitroImpulse = 2000.0f;  // N s per step at full strength
constexpr float kNitroBrake = 1500.0f;    // N s per step while ramping down

Kinetic::Vector3 toKinetic(const qzVector3d& v) {
    return Kinetic::Vector3(v.x, v.y, v.z);
}
qzVector3d toModel(const Kinetic::Vector3& v) {
    return qzVector3d(v.x, v.y, v.z);
}

bool isTakeOffMarker(uint32_t t) {
    return (t >= jump_skill4 && t <= preload2) || t == aiPreLoad || t == jumpLand;
}

}  // namespace

Kinetic::RigidBody* KineticBike::activeBody() const {
    return crash.crashState == 0 ? chassis.get() : crashBike.get();
}

void KineticBike::applyChassisImpulse(const qzVector3d& impulse) {
    chassis->m_linearVelocity += toKinetic(impulse) * chassis->m_massInv;
}

void KineticBike::getWheelieCondition() {
    ride.wheelieCondition = 0;
    ride.throttleWheelie = 0;
    if (crash.crashState == 1) return;
    if (checkMessage(BIKEACTION_ACCEL) && frame.linearVelocityMag > kPopSpeed && crash.movingForward &&
        !isCPU) {
        ++ride.throttleWheelieCounter;
        const float t = getSlopePoint(0.0f, 1.0f, kWheelieFadeSpeed, kShortWheelie, kWheelieShortSpeed,
                                      kShortWheelie, frame.linearVelocityMag);
        const auto limit = static_cast<int32_t>(static_cast<uint32_t>(kStepsPerSecond * kWheelieLength * t));
        ride.throttleWheelie = ride.throttleWheelieCounter < limit && ride.throttleWheelieOffCounter >= 3 &&
                               !ride.throttleUpActive && !(status.flags & (1u << BIKE_WHEELIE));
    } else {
        if (ride.throttleWheelieCounter != 0) ride.throttleWheelieOffCounter = 0;
        ++ride.throttleWheelieOffCounter;
        ride.throttleWheelieCounter = 0;
    }
    ride.wheelieCondition = !ground.wheelInfo[0].m_isInContact && ground.distToGround[0] > kFrontWheelUp &&
                            ground.wheelInfo[1].m_isInContact && !ride.throttleWheelie;
}

void KineticBike::zeroVelocity() {
    if (!vehicle) return;
    float threshold = kCrawl;
    const bool fullBrake = m_input->m_brakePedalInput >= 1.0f;
    if (fullBrake && ride.brakeAppliedCounter >= 121) {
        threshold = kBrakeStop;
        chassis->m_linearVelocity *= kLongBrakeDecay;
    }
    const bool noThrottle = m_input->m_acceleratorPedalInput == 0.0f;
    if (noThrottle && (fullBrake || ground.levelGround) && ground.wheelInfo[0].m_isInContact &&
        ground.wheelInfo[1].m_isInContact && frame.linearVelocityMag < threshold) {
        for (Kinetic::WheelInfo& w : m_wheels->m_wheelsInfo) w.m_spinVelocity = 0.0f;
        ground.wheelInfo[0].m_spinVelocity = ground.wheelInfo[1].m_spinVelocity = 0.0f;
        if (crash.crashState == 0) {
            chassis->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
            const Kinetic::Vector3 f = toKinetic(frame.forwardDir);
            chassis->m_angularVelocity = f * chassis->m_angularVelocity.dot(f);
        } else if (crash.crashState >= 2) {
            crashBike->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
        }
    }
    if (noThrottle && frame.linearVelocityMag < kLaunchEnd) ride.throttleUp = 0.0f;
    if (noThrottle) ride.throttleUpActive = 0;
}

void KineticBike::limitMaximumSpeed() {
    if (crash.crashState == 1 || !vehicle) return;
    const bool penalised = crash.crashState == 0 && !air.inAir;
    if (ride.nitroState != NO_NITRO) {
        ride.filteredMaxSpeed =
            attributes.nitroMaximumSpeed - (penalised ? ride.terrainMaxSpeedPenalty : 0.0f);
    } else {
        float target = !isCPU ? attributes.maximumSpeed
                              : (air.inAir ? attributes.cpuMaximumSpeedInAir : attributes.cpuMaximumSpeed);
        if (penalised) target -= ride.terrainMaxSpeedPenalty;
        ride.filteredMaxSpeed = ride.maxSpeedFilter.step(target);
    }
    Kinetic::RigidBody* idle = crash.crashState == 0 ? crashBike.get() : chassis.get();
    idle->m_linearVelocity = idle->m_angularVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    const float limit = ride.filteredMaxSpeed / kSpeedUnitsPerMs;
    if (frame.linearVelocityMag <= limit) return;
    Kinetic::RigidBody* body = activeBody();
    body->m_linearVelocity = frame.linearVelocityMag == 0.0f
                                 ? Kinetic::Vector3(0, 0, 0)
                                 : body->m_linearVelocity * (limit / frame.linearVelocityMag);
    linearVelocity = toModel(body->m_linearVelocity);
    frame.linearVelocityMag = body->m_linearVelocity.length();
    frame.forwardVelocityMag = linearVelocity * frame.forwardDir;
    if (frame.forwardVelocityMag > -kCrawl && frame.forwardVelocityMag < kCrawl)
        frame.forwardVelocityMag = 0.0f;
}

void KineticBike::drivingOnObjects() {
    if (gameOptions.trackType != TRACKTYPE_FREESTYLE || crash.crashState != 0 || !ground.drivingOnObject ||
        !checkMessage(BIKEACTION_ACCEL))
        return;
    if (ground.drivingOnObjectCounter == 1) ground.drivingOnObjectVelMag = frame.lastLinearVelocityMag;
    if (frame.linearVelocityMag < ground.drivingOnObjectVelMag)
        chassis->m_linearVelocity =
            frame.linearVelocityMag == 0.0f
                ? Kinetic::Vector3(0, 0, 0)
                : chassis->m_linearVelocity * (ground.drivingOnObjectVelMag / frame.linearVelocityMag);
}

void KineticBike::dampenAngularVelocity() {
    const Kinetic::Vector3 w = chassis->m_angularVelocity;
    const Kinetic::Vector3 up = toKinetic(frame.upDir), fwd = toKinetic(frame.forwardDir),
                           right = toKinetic(frame.rightDir);
    const float y = w.dot(up), r = w.dot(fwd), p = w.dot(right);
    const bool entered = isTakeOffMarker(ground.terrainType) && ground.lastTerrainType != ground.terrainType;
    const bool front = ground.wheelInfo[0].m_isInContact, back = ground.wheelInfo[1].m_isInContact;
    float fy = kGroundSpinKept, fr = 1.0f, fp = kGroundSpinKept;
    if (!front && !back) {
        fy = fr = kAirSpinKept;
        fp = ((air.framesInAir < 5 || air.jumpAssist) && p < 0.0f) ? kTakeOffNoseDownKept : kAirSpinKept;
    } else if (entered && p < 0.0f) {
        fp = front ? kRampNoseDownKept : kTakeOffNoseDownKept;
    }
    if (gameOptions.trackType == TRACKTYPE_FREESTYLE && crash.crashState == 0 && ground.drivingOnObject)
        fy = fr = fp = 1.0f;
    if (frame.linearVelocityMag > kCrawl)
        chassis->m_angularVelocity = right * (p * fp) + up * (y * fy) + fwd * (r * fr);
}

void KineticBike::nitroBoost() {
    if (checkMessage(BIKEACTION_NITRO) && ride.nitrosAvailable != 0 &&
        (ride.nitroState == NO_NITRO || ride.nitroState == RAMP_DOWN_NITRO)) {
        --ride.nitrosAvailable;
        ride.nitroState = RAMP_UP_NITRO;
        ride.nitroCounter = 0;
        status.flags |= 1u << BIKE_NITRO_BOOST;
    }
    switch (ride.nitroState) {
        case RAMP_UP_NITRO: {
            if (ground.wheelInfo[0].m_isInContact || ground.wheelInfo[1].m_isInContact) {
                const float s = static_cast<float>(ride.nitroCounter) / kNitroRampFrames;
                applyChassisImpulse(frame.fForwardDir * (kNitroImpulse * (s < 1.0f ? s : 1.0f)));
            }
            if (ride.nitroCounter >= 60) ride.nitroState = MID_NITRO;
            break;
        }
        case MID_NITRO:
            if (ride.nitroCounter >= 150) ride.nitroState = RAMP_DOWN_NITRO;
            break;
        case RAMP_DOWN_NITRO:
            // The class's top speed is stored as m/s x 2.16, as the speed limit reads it; the ramp-down
            // brakes until the bike is back under that speed.
            applyChassisImpulse(frame.fForwardDir * -kNitroBrake);
            if (frame.linearVelocityMag < attributes.maximumSpeed / kSpeedUnitsPerMs)
                ride.nitroState = NO_NITRO;
            break;
        default:
            break;
    }
    if (ride.nitroState != NO_NITRO) ++ride.nitroCounter;
}
