// A bike's input: the action codes of its packets, how far each action is pressed, the packet word and
// the packet held back while the bike is suspended, and the packet's throttle factor.
#pragma once

#include <cstdint>

// Action codes of a bike's packets; the packet's bit for action a is 1 << a.
enum bikeActions : int32_t {
    BIKEACTION_NOACTION = 0,
    BIKEACTION_ACCEL = 1,
    BIKEACTION_BRAKE = 2,
    BIKEACTION_FORWARD = 3,
    BIKEACTION_BACK = 4,
    BIKEACTION_LEFT_TURN = 5,
    BIKEACTION_RIGHT_TURN = 6,
    BIKEACTION_LEFT_POWERSLIDE_ACCEL = 7,
    BIKEACTION_RIGHT_POWERSLIDE_ACCEL = 8,
    BIKEACTION_LEFT_POWERSLIDE_BRAKE = 9,
    BIKEACTION_RIGHT_POWERSLIDE_BRAKE = 10,
    BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE = 11,
    BIKEACTION_RIGHT_POWERSLIDE_ACCEL_BRAKE = 12,
    BIKEACTION_WHEELIE = 13,
    BIKEACTION_STOPPIE = 14,
    BIKEACTION_PRELOAD = 15,
    BIKEACTION_WHIP = 16,
    BIKEACTION_STUNT = 17,
    BIKEACTION_NITRO = 18,
    BIKEACTION_NUM_STATES = 19,
};

struct BikeInput {
    int32_t pressed[BIKEACTION_NUM_STATES] = {};
    uint32_t bikePacket = 0, suspendedBikePacket = 0;
    uint8_t suspendBikePacket = 0;
    int32_t suspendedPressed[BIKEACTION_NUM_STATES] = {};
    // throttle factor from the packet; 1.0 for a human
    float throttleZero = 1.0f, lastThrottleZero = 1.0f;
};
