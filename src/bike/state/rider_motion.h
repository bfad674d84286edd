// How the rider moves on the bike: the rest place, the last and current places, the displacement, the
// velocities, and where the rider is drawn.
#pragma once

#include "game/core/qz_math.h"

struct BikeRiderMotion {
    qzVector3d riderRestPos, riderLastPos, riderCurrentPos, riderDelta, riderLastVelocity, riderVelocity,
        riderPos;
};
