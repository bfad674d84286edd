// The end of a human's race: once per race frame the race asks whether a human has finished (laps done,
// or the race time run out in a time race); the first to finish turns the results screen on, and every
// human finishing in that frame is handed to the computer, loses the HUD and watches the track camera.
#pragma once

#include <cstdint>

class CGameEnd;
class CGameOptions;
class CQzGame;
class C3DView;
class CTrackCamera;
class KineticBike;

// What the check reads and changes; the race hands over its own members and statics.
struct RaceEndParts {
    CGameEnd* gameEnd = nullptr;
    const CGameOptions* options = nullptr;
    uint32_t numHumans = 0;
    KineticBike* const* bike = nullptr;
    const int32_t* bikeId = nullptr;
    int32_t* whoControls = nullptr;
    C3DView* const* view = nullptr;
    const int32_t* hudId = nullptr;
    int32_t trackCamID = -1;
    CTrackCamera* trackCam = nullptr;
};

// How a finished player's HUD is switched off and the track camera aimed at bike `bikeId`; installed by
// the race (race/race_hooks.cpp). Without them the HUD stays and the camera is only made the view's.
extern void (*raceEndHudOff)(int hudId);
extern void (*raceEndAimTrackCamera)(CTrackCamera* cam, int bikeId, KineticBike* bike);

void CheckGameOver(const RaceEndParts& parts);
// The race's own members and statics as parts.
RaceEndParts RaceEndPartsOf(CQzGame& race);
