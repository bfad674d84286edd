// A bike's handling state: the throttle, the handling state with its run counters, the turns, power
// slides, wheelies and nitro, the start boost, the speed limit, and the filters the handling smooths
// its steering, friction, speedometer and top speed through.
#pragma once

#include <cstdint>

#include "bike/attributes.h"
#include "game/core/qz_math.h"

enum NitroState : uint32_t {
    NO_NITRO = 0,
    RAMP_UP_NITRO = 1,
    MID_NITRO = 2,
    RAMP_DOWN_NITRO = 3,
    NUM_NITRO_STATES = 4,
};

struct BikeRide {
    // handling
    float throttle = 0.0f;
    float turnStep = 0.0f;
    int32_t turnCounter = 0;
    uint8_t powerSlideEnd = 0;
    int32_t powerSlideBrakeTurnCounter = 0, powerSlideAccelTurnCounter = 0;
    float turnPressedPercent = 0.0f;
    uint32_t lastFrameBikeState = 0, bikeState = 0, lastBikeState = 0;
    int32_t bikeStateCounter[17] = {};
    uint8_t bikeStateSuspended[17] = {};
    int32_t bikeStateCounter2 = 0, bikeStateCounter3 = 0, lastBikeStateCounter = 0;
    float brakingScale = 0.0f;
    // centre of mass
    uint32_t comShiftState = 0, lastComShiftState = 0;
    // events
    qzVector3d eventStartVelocity;
    float eventStartVelocityMag = 0.0f;
    qzVector3d eventStartFRightDir;
    // power slides
    uint8_t powerSlideLeftGround = 0, powerSlideAccelBoostEligible = 0, powerSlideBrakeBoostEligible = 0;
    float powerSlideAccelBoostVelocityMag = 0.0f, powerSlideBrakeBoostVelocityMag = 0.0f;
    float eventStartAngle = 0.0f, eventDeltaAngle = 0.0f, eventFromStartAngle = 0.0f;
    uint8_t powerSlideBreakAway = 0;
    // wheelie, turns
    int32_t wheelieCounter = 0;
    uint8_t throttleWheelie = 0;
    int32_t throttleWheelieCounter = 0, throttleWheelieOffCounter = 0;
    float throttleUp = 0.0f;
    uint8_t throttleUpActive = 0;
    uint32_t leftTurnType = 0, rightTurnType = 0;
    int32_t sharpTurnCounter = 0, lastLeftTurnPressed = 0, lastRightTurnPressed = 0;
    int32_t sharpRightTurnPressedCounter = 0, sharpLeftTurnPressedCounter = 0;
    int32_t leftTurnBrakeCounter = 0, rightTurnBrakeCounter = 0;
    uint8_t wheelieCondition = 0, wheelieRequested = 0;
    uint8_t frontWheelTurnLeft = 0, frontWheelTurnRight = 0;
    // nitro
    NitroState nitroState = NO_NITRO;
    int32_t nitrosAvailable = 0;
    int32_t nitroCounter = 0;
    // start
    int32_t startBoostCounter = 0;
    // speed limit
    float terrainMaxSpeedPenalty = 0.0f, terrainMaxSpeedPenaltyTarget = 0.0f;
    int32_t brakeAppliedCounter = 0;
    float filteredMaxSpeed = 0.0f;
    // filters
    CFilter filterSAV;
    CFilter frictionFilter[2];
    CFilter speedometerFilter, maxSpeedFilter;
};
