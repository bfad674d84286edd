// The bike's handling states and the three-point curve its handling and crash code shape values with.
#pragma once

#include <cstdint>

// The handling state of `KineticBike::bikeState`; 9, 15 and 16 have counters but are never chosen.
enum bikeStates : uint32_t {
    BIKESTATE_COAST = 0,
    BIKESTATE_ACCEL = 1,
    BIKESTATE_BRAKE = 2,
    BIKESTATE_LEFT_TURN = 3,
    BIKESTATE_RIGHT_TURN = 4,
    BIKESTATE_LEFT_POWERSLIDE_ACCEL = 5,
    BIKESTATE_RIGHT_POWERSLIDE_ACCEL = 6,
    BIKESTATE_LEFT_POWERSLIDE_BRAKE = 7,
    BIKESTATE_RIGHT_POWERSLIDE_BRAKE = 8,
    BIKESTATE_IN_AIR = 10,
    BIKESTATE_WHEELIE_LEFT = 11,
    BIKESTATE_WHEELIE_RIGHT = 12,
    BIKESTATE_WHEELIE = 13,
    BIKESTATE_STOPPIE = 14,
    BIKESTATE_NUM_STATES = 17,
};

// The curve through (x0, y0), (x1, y1), (x2, y2), straight between the points and flat beyond the ends.
// A zero-width segment jumps to its far end.
float getSlopePoint(float x0, float y0, float x1, float y1, float x2, float y2, float x);
