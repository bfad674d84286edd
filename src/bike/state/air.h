// A bike's jumps and time in the air: the preload, the air counters, the ramp it took off from, the
// jump assist's consistency (take-off speed, climb angle, extra gravity), and the landing.
#pragma once

#include <cstdint>

#include "bike/attributes.h"
#include "game/core/qz_math.h"

struct RampPair;

enum PreLoadState : uint32_t {
    PRELOAD_NO_ATTEMPT_PENDING = 0,
    PRELOAD_PRE_WINDOW = 1,
    PRELOAD_DURING_WINDOW = 2,
    PRELOAD_POST_WINDOW = 3,
};

struct BikeAir {
    // preload
    uint32_t preLoadPressedCounter = 0, preLoadWaitDelay = 0;
    PreLoadState preLoadJumpState = PRELOAD_NO_ATTEMPT_PENDING;
    uint8_t preLoadJump = 0;
    uint32_t preLoadJumpCounter = 0;
    uint8_t preLoadJumpPending = 0;
    uint32_t preLoadReportState = 0;
    int32_t preLoadForceCounter = 0;
    qzVector3d preLoadSplineTangent;
    // air
    uint32_t framesInAir = 0, lastFramesInAir = 0, crashFramesInAir = 0;
    uint8_t inAir = 0, crashLand = 0;
    uint32_t changeInVelCounter = 0;
    qzVector3d takeOffPos;
    RampPair* rampPair = nullptr;
    RampPair* crashRampPair = nullptr;
    float inAirWhipPercent = 0.0f;
    // jump consistency
    int32_t jumpConsistencyPendingCounter = 0;
    uint8_t jumpConsistencyPending = 0, jumpConsistencyAssist = 0;
    float jumpConsistencyExtraGravity = 0.0f;
    uint8_t jumpConsistencyOverHalf = 0;
    int32_t jumpConsistencyAngleCounter = 0;
    float jumpConsistencyAngleDelta = 0.0f, jumpConsistencyTargetAngle = 0.0f;
    int32_t jumpConsistencyAngleDeltaCounter = 0;
    qzVector3d jumpConsistencyDir;
    float crashExtraGravity = 0.0f, preLoadExtraGravity = 0.0f, timeToLand = 0.0f, landingImpactScale = 0.0f;
    // jump assist
    uint8_t jumpAssist = 0;
    int32_t jumpAssistType = 0;
    float jumpRange = 0.0f;
    uint8_t jumpRangePassed = 0;
    uint8_t jumpAssistFailed = 0;
    float jumpSpeedRightWay = 0.0f;
    // landing
    int32_t landingSpeedCounter = 0;
    float landingSpeedMag = 0.0f, landingSpeedScale = 0.0f, jumpSpeedTarget = 0.0f;
    int32_t jumpSpeedCounter = 0;
    int32_t bikeLandCounter = 0;
    CFilter jumpConsistencyExtraGravityFilter;
};
