// The bike's tuning types: the handling values it derives from its tuning levels, the terrain friction
// set of the ground under it, and the small low-pass filter its handling uses.
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

struct TurnFriction {
    float normal = 0.0f;
    float ang = 0.0f;
    float force = 0.0f;
};

struct DriveFriction {
    float accel = 0.0f;
    float coast = 0.0f;
    float brake = 0.0f;
    float torque = 0.0f;
};

struct TerrainFriction {
    TurnFriction turn;
    TurnFriction fromStop;
    TurnFriction slide;
    TurnFriction ps;   // power slide
    TurnFriction psb;  // power slide with brake
    TurnFriction pse;  // power slide end
    DriveFriction drive;
};

// Low-pass filter. Its users write the step inline: lo0 += loCoefficient * lo1; lo1 = x - lo0; the
// output is lo0, which trails the input by one step.
struct CFilter {
    static constexpr float kDefaultCoefficient = 0.156434f;  // sin(pi / 20)
    float loCoefficient = kDefaultCoefficient;
    float fs = 0.0f;  // not used by the step
    float lo0 = 0.0f;
    float lo1 = 0.0f;

    float step(float x) {
        lo0 += loCoefficient * lo1;
        lo1 = x - lo0;
        return lo0;
    }
};
