// The kinds of turn the turning handler tells apart (values of leftTurnType and rightTurnType).
#pragma once

#include <cstdint>

enum bikeTurnTypes : uint32_t {
    TURN_LAUNCH = 0,              // from a near standstill on the throttle
    TURN_LAUNCH_BRAKE_ACCEL = 1,  // from a near standstill, brake and accelerator together
    TURN_LAUNCH_SLIDE = 2,        // the power-slide-accelerate action held from a near standstill
    TURN_LAUNCH_SLIDE_BRAKE = 3,  // the power-slide accelerate-and-brake action held
    TURN_SHARP = 4,
    TURN_NORMAL = 5,
};
