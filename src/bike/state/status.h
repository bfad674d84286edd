// A bike's flag words: what happened to it this step (accelerating, landing, crashing, a bonus picked
// up ...), as bits numbered by BikeFlags, with the previous step's word and the word the views read.
#pragma once

#include <cstdint>

// Bit numbers of the bike's flag words (a set bit is 1 << value).
enum BikeFlags : uint32_t {
    BIKE_ACCEL = 0,
    BIKE_DECEL = 1,
    BIKE_THROTTLE_UP = 2,
    BIKE_BRAKING = 3,
    BIKE_LAND = 4,
    BIKE_INAIR = 5,
    BIKE_TAKEOFF = 6,
    BIKE_COLLIDE = 7,
    BIKE_PASSED_GATE = 8,
    BIKE_ON_GROUND = 9,
    BIKE_OFF_GROUND = 10,
    BIKE_LEFT_TURN = 11,
    BIKE_RIGHT_TURN = 12,
    BIKE_POWERSLIDE_LEFT = 13,
    BIKE_POWERSLIDE_RIGHT = 14,
    BIKE_WHEELIE = 15,
    BIKE_STOPPIE = 16,
    BIKE_PRELOAD = 17,
    BIKE_CRASH = 18,
    BIKE_HOLESHOT = 19,
    BIKE_BONUS_PICKUP = 20,
    BIKE_RECOVER = 21,
    BIKE_NITRO_BOOST = 22,
    BIKE_NITRO_EARNED = 23,
    BIKE_TRACK_BONUS_RECIEVED = 24,
    BIKE_ALL_TRACK_BONUS_RECIEVED = 25,
};

// The flag words (BikeFlags bit sets).
struct BikeStatus {
    uint32_t flags = 0;
    uint32_t lastFlags = 0;
    uint32_t viewFlags = 0;
};
