// A bike's laps and clocks: its place on the track's way, the lap and checkpoint it is on, the race's
// start, the wrong-way and off-track marks the HUD shows, and the model steps the bike has taken.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

struct BikeLaps {
    float curWayTime = 0.0f;
    int32_t curLap = 0;
    uint32_t currentCheckPoint = 0;
    uint32_t canBoost = 0;
    uint32_t startRace = 0;
    uint8_t flashWrong = 0, isOffTrack = 0;
    uint32_t frameCountForMessage = 0;  // model steps this bike has taken
    qzVector3d lastPos;
    uint32_t trackToHudWrongWay = 0, trackToHudOffTrack = 0, trackToHudMissedCheckPoint = 0;
};
