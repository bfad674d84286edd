// Handling values a bike derives from its tuning levels.
#pragma once

#include <cstdint>

struct Attributes {
    float maximumSpeed = 0.0f;
    float cpuMaximumSpeed = 0.0f;
    float cpuMaximumSpeedInAir = 0.0f;
    float nitroMaximumSpeed = 0.0f;
    float corneringPercent = 0.0f;
    float landingSpeedRecoveryJumps = 0.0f;
    float landingSpeedRecoveryWhoops = 0.0f;
    float jumpSpeedTolerance = 0.0f;
    int32_t jumpSpeedPercent = 0;
    int32_t traction = 0;
    float stability = 0.0f;
    float stabilityChangeInVel = 0.0f;
    float deltaSpeedTolerance = 0.0f;
    float stuntAdvantageScale = 0.0f;
};
