// A bike's frame history: its axes (the body's, the filtered ones and the crash body's) with the
// previous step's, its speeds, and the velocities of the last 30 steps.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

struct BikeFrame {
    // axes
    qzVector3d forwardDir, upDir, rightDir, lastForwardDir, lastUpDir, lastRightDir;
    qzVector3d fForwardDir, fUpDir, fRightDir, lastFForwardDir, lastFUpDir, lastFRightDir;
    qzVector3d crashUpDir, crashForwardDir, crashRightDir;
    // speeds
    float linearVelocityMag = 0.0f, forwardVelocityMag = 0.0f;
    qzVector3d lastLinearVelocity;
    float lastLinearVelocityMag = 0.0f, inAirLinearVelocityMag = 0.0f;
    // velocity history
    qzVector3d lastVelocity[30];
    float lastVelocityMag[30] = {};
    int32_t lastVelocityMagIndex = 0;
};
