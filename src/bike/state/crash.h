// A bike's crash: the crash state machine and its counters, what started it (a collision, a sudden
// change of velocity, a bad landing, the world edge), the crash body's eight corners against the
// terrain while it tumbles, and the object and contact of the last collision.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

class CModelObject;

struct BikeCrash {
    uint8_t collided = 0;
    uint32_t collidedCounter = 40;
    uint8_t crashing = 0, recovering = 0, riderCrashing = 0;
    qzVector3d crashPos, crashDir;
    float crashSpeed = 0.0f;
    uint32_t crashState = 0, crashType = 0, collisionType = 0, crashStartCounter = 0;
    uint8_t willCrashFlag = 0, lockSuspension = 0;
    uint8_t postCrashHitGround = 1;
    // timing
    uint8_t movingForward = 0, stuntCrashFlag = 0;
    uint32_t crashCounter = 0, postCrashCounter = 0;
    uint8_t crashEnabled = 0;
    int32_t invulnerabilityCounter = 0;
    // the crash body's corners
    uint8_t crashOnGround = 0, crashMoving = 0;
    uint8_t crashCornerOnGround[8] = {};
    qzVector3d cornerNormal[8];
    qzVector3d crashCorner[8];
    float crashCornerDistToGround[8] = {};
    // world edge
    uint8_t worldEdgeCrashEnable = 0, worldEdgeCrash = 0;
    uint32_t worldEdgeCrashState = 0;
    int32_t worldEdgeCrashCounter = 0;
    // what starts one
    float cpuCrashScale = 1.0f;
    float crashDistToGround = 0.0f;
    int32_t abruptVelocityChangeCounter = 0, sideOfSteepHillCounter = 0, collideCounterNoVelocity = 0;
    qzVector3d preCrashVelocity;
    // the last collision
    CModelObject* collisionObject = nullptr;
    qzVector3d collisionObjectPos;
    uint32_t collisionObjectCounter = 0;
    float collisionStartTime = 0.0f;
    qzVector3d collisionNormal;
};
