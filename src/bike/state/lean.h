// A bike's lean: the lean constraint's angle, the target it eases to over a number of steps, how far
// the bike leans, and the filter that smooths it.
#pragma once

#include <cstdint>

#include "bike/attributes.h"

struct BikeLean {
    float leanRot = 0.0f;
    uint8_t leanTargetEnabled = 0;
    float leanTarget = 0.0f;
    int32_t leanTargetSteps = 0;
    float leanPercent = 0.0f;
    CFilter leanFilter;
};
