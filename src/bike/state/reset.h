// Where a bike is put back: after a crash, the reset place and direction, the last valid poses of the
// crash body and of the riding bike, the safe places of the last steps, and the start pose.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"
#include "kinetic/math/quaternion.h"

struct BikeReset {
    qzVector3d crashResetPos, crashResetDir;
    qzVector3d lastValidCrashPos;
    qzQuaternion lastValidCrashQzOrient;
    Kinetic::Quaternion lastValidCrashKineticOrient;
    qzVector3d lastValidCrashDir, lastValidCrashLinearVel, lastValidCrashAngularVel;
    qzVector3d lastValidPos;
    qzQuaternion lastValidQzOrient;
    Kinetic::Quaternion lastValidKineticOrient;
    uint8_t validCrashRestPos = 0;
    // reset history
    qzVector3d safeDir[30];
    qzVector3d safePos[30];
    // start pose
    qzVector3d startPosition;
    qzQuaternion startOrientation;
    qzVector3d startDir;
};
