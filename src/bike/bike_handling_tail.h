// The handler parameter block of one run of the bike's control step: the selected handler fills it,
// the common tail (counters, friction, steering and lean; throttle, brakes, suspension, body forces and
// driver input) applies it. The control step also hands over what it derived before the dispatch.
//
// Every run starts from a fresh block. Its defaults are a coasting bike with nothing asked of it: no
// steering, no throttle or brake step, no ground hold, no lean, so a handler that leaves a value unset
// (the air handler sets only what it uses) never hands the tail a stale or undefined value.
#pragma once

#include "game/core/qz_math.h"

struct HandlingBlock {
    // Set by the handler.
    float turnAmount = 0.0f;        // 0..1
    float yawRateTarget = 0.0f;     // chassis spin about the ground normal
    float leanSign = 0.0f;          // +1 in the left-hand states, -1 in the right-hand ones
    float leanMagnitude = 0.0f;     // degrees
    float steeringGain = 0.0f;      // driver steering input per unit of turnStep
    float groundHoldForce = 0.0f;   // push onto the ground
    float throttleStep = 0.0f;      // 0 cuts the throttle
    float brakeStep = 0.0f;         // 0 releases the brake
    float frictionTarget[2] = {};   // front, rear
    float steeringPercent[2] = {};  // front, rear
    bool exitBoostAllowed = false;  // a power-slide exit boost may fire
    float pitchRateScale = 1.0f;
    // From the control step before the dispatch.
    bool onGround = false;    // lowest wheel at or below the ground
    bool nearGround = false;  // both wheels within 35 units of it
    float slowFactor = 0.0f;
    float speedFactor = 0.0f;
    float cappedSpeedFactor = 0.0f;
    float speedChange = 0.0f;
    qzVector3d normal;     // ground normal under the front wheel
    qzVector3d rollAxis;   // normal x rightDir
    qzVector3d pitchAxis;  // rollAxis x normal
    float rollRate = 0.0f;
    float pitchRate = 0.0f;  // a handler or the tail may replace it by a target
};
