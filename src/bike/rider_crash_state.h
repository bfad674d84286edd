// The poses of a tumbling rider that the rider's crash animation is chosen from, and the classification
// and crash damping that CRiderModel runs on its body (the members are declared in rider_model.h).
//
// A pose value is a rolling state (0 to 5) or a block of four from 6 on: ground contact and pose, then
// _FORWARD, _BACKWARD, _SIDEWAYS or bare for the direction of travel.
#pragma once

#include <cstdint>

enum RiderCrashState : uint32_t {
    ONGROUND_ROLLING_LOG = 0,
    ONGROUND_ROLLING_SOMMERSAULT = 1,
    ONGROUND_ROLLING_CARTWHEEL = 2,
    INAIR_ROLLING_LOG = 3,
    INAIR_ROLLING_SOMMERSAULT = 4,
    INAIR_ROLLING_CARTWHEEL = 5,
    ONGROUND_STANDING_FORWARD = 6,
    ONGROUND_STANDING_BACKWARD = 7,
    ONGROUND_STANDING_SIDEWAYS = 8,
    ONGROUND_STANDING = 9,
    INAIR_STANDING_FORWARD = 10,
    INAIR_STANDING_BACKWARD = 11,
    INAIR_STANDING_SIDEWAYS = 12,
    INAIR_STANDING = 13,
    ONGROUND_UPSIDEDOWN_FORWARD = 14,
    ONGROUND_UPSIDEDOWN_BACKWARD = 15,
    ONGROUND_UPSIDEDOWN_SIDEWAYS = 16,
    ONGROUND_UPSIDEDOWN = 17,
    INAIR_UPSIDEDOWN_FORWARD = 18,
    INAIR_UPSIDEDOWN_BACKWARD = 19,
    INAIR_UPSIDEDOWN_SIDEWAYS = 20,
    INAIR_UPSIDEDOWN = 21,
    ONGROUND_ONBACK_HEADDOWN_FORWARD = 22,
    ONGROUND_ONBACK_HEADDOWN_BACKWARD = 23,
    ONGROUND_ONBACK_HEADDOWN_SIDEWAYS = 24,
    ONGROUND_ONBACK_HEADDOWN = 25,
    ONGROUND_ONBACK_HEADUP_FORWARD = 26,
    ONGROUND_ONBACK_HEADUP_BACKWARD = 27,
    ONGROUND_ONBACK_HEADUP_SIDEWAYS = 28,
    ONGROUND_ONBACK_HEADUP = 29,
    INAIR_ONBACK_HEADDOWN_FORWARD = 30,
    INAIR_ONBACK_HEADDOWN_BACKWARD = 31,
    INAIR_ONBACK_HEADDOWN_SIDEWAYS = 32,
    INAIR_ONBACK_HEADDOWN = 33,
    INAIR_ONBACK_HEADUP_FORWARD = 34,
    INAIR_ONBACK_HEADUP_BACKWARD = 35,
    INAIR_ONBACK_HEADUP_SIDEWAYS = 36,
    INAIR_ONBACK_HEADUP = 37,
    ONGROUND_ONFRONT_HEADUP_FORWARD = 38,
    ONGROUND_ONFRONT_HEADUP_BACKWARD = 39,
    ONGROUND_ONFRONT_HEADUP_SIDEWAYS = 40,
    ONGROUND_ONFRONT_HEADUP = 41,
    ONGROUND_ONFRONT_HEADDOWN_FORWARD = 42,
    ONGROUND_ONFRONT_HEADDOWN_BACKWARD = 43,
    ONGROUND_ONFRONT_HEADDOWN_SIDEWAYS = 44,
    ONGROUND_ONFRONT_HEADDOWN = 45,
    INAIR_ONFRONT_HEADUP_FORWARD = 46,
    INAIR_ONFRONT_HEADUP_BACKWARD = 47,
    INAIR_ONFRONT_HEADUP_SIDEWAYS = 48,
    INAIR_ONFRONT_HEADUP = 49,
    INAIR_ONFRONT_HEADDOWN_FORWARD = 50,
    INAIR_ONFRONT_HEADDOWN_BACKWARD = 51,
    INAIR_ONFRONT_HEADDOWN_SIDEWAYS = 52,
    INAIR_ONFRONT_HEADDOWN = 53,
    ONGROUND_ONSIDE_HEADDOWN_FORWARD = 54,
    ONGROUND_ONSIDE_HEADDOWN_BACKWARD = 55,
    ONGROUND_ONSIDE_HEADDOWN_SIDEWAYS = 56,
    ONGROUND_ONSIDE_HEADDOWN = 57,
    ONGROUND_ONSIDE_HEADUP_FORWARD = 58,
    ONGROUND_ONSIDE_HEADUP_BACKWARD = 59,
    ONGROUND_ONSIDE_HEADUP_SIDEWAYS = 60,
    ONGROUND_ONSIDE_HEADUP = 61,
    INAIR_ONSIDE_HEADDOWN_FORWARD = 62,
    INAIR_ONSIDE_HEADDOWN_BACKWARD = 63,
    INAIR_ONSIDE_HEADDOWN_SIDEWAYS = 64,
    INAIR_ONSIDE_HEADDOWN = 65,
    INAIR_ONSIDE_HEADUP_FORWARD = 66,
    INAIR_ONSIDE_HEADUP_BACKWARD = 67,
    INAIR_ONSIDE_HEADUP_SIDEWAYS = 68,
    INAIR_ONSIDE_HEADUP = 69,
    NUM_RIDER_CRASH_STATES = 70,
};

namespace ridercrash {

// Poses without ground contact or direction of travel.
enum Pose : uint32_t {
    kStanding = 0,
    kUpsideDown,
    kOnBackHeadDown,
    kOnBackHeadUp,
    kOnFrontHeadUp,
    kOnFrontHeadDown,
    kOnSideHeadDown,
    kOnSideHeadUp,
};
enum Travel : uint32_t { kForward = 0, kBackward = 1, kSideways = 2, kNoTravel = 3 };
enum Roll : uint32_t { kLog = 0, kSommersault = 1, kCartwheel = 2 };

// The state of a pose with its ground contact and direction of travel.
RiderCrashState StateOf(Pose pose, bool onGround, Travel travel);
RiderCrashState RollingStateOf(Roll roll, bool onGround);
inline bool IsRolling(RiderCrashState s) {
    return s <= INAIR_ROLLING_CARTWHEEL;
}

// Speeds (m/s) and spins (rad/s) of the classification and the damping.
inline constexpr float kTravelSpeed = 2.31481f;
inline constexpr float kMovingSpeed = 0.462963f;
inline constexpr float kRollEnterSpin = 15.0f / 2.16f;
inline constexpr float kRollKeepSpin = 5.0f / 2.16f;
inline constexpr uint32_t kAdoptAfter = 7;
inline constexpr float kMaxSpin = 37.037f;
inline constexpr float kMaxUpSpeed = 4.62963f;
inline constexpr float kMaxDownSpeed = 9.25926f;
inline constexpr float kStopSpeed = 0.925926f;
inline constexpr float kMinTumbleSpin = 2.31481f;

}  // namespace ridercrash
