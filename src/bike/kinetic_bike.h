// One racer's motorbike: the fields the game core's statistics, track bonuses, race start and AI read
// and write. The bike's handling (construction from its description, input, physics, crashes) is not
// built yet, so the class stays abstract: it declares no doAction.
#pragma once

#include <cstdint>

#include "bike/attributes.h"
#include "game/model/dynamic_object.h"
#include "game/race/bike_attributes.h"
#include "game/race/rider_attributes.h"
#include "game/race/stats.h"
#include "game/race/track_bonus.h"

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

class KineticBike : public CDynamicObject {
public:
    explicit KineticBike(int descriptionId = -1) : CDynamicObject(descriptionId) { bikeStats.bike = this; }

    char playerName[20] = {};
    float curWayTime = 0.0f;
    int32_t curLap = 0;
    uint32_t currentCheckPoint = 0;
    uint32_t canBoost = 0;
    uint32_t startRace = 0;
    uint8_t isCPU = 0;
    CTrackBonus trackBonus;
    int32_t nitrosAvailable = 0;
    CStats bikeStats;
    CBikeAttributes bikeAttributes;
    CRiderAttributes riderAttributes;
    Attributes attributes;
    uint32_t flags = 0;
    uint32_t lastFlags = 0;
    uint32_t viewFlags = 0;
};
