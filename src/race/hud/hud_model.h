// What one human's HUD shows and which of its parts are on: read by the HUD every frame, edited by the
// pause menu, switched off by the race in attract mode and when the player has finished.
#pragma once

#include <cstdint>

#include "game/model/model_object.h"

class CHudModel : public CModelObject {
public:
    explicit CHudModel(unsigned int playerNum);

    // Speedometer, radar and stat box off (the other switches and the menu lines stay).
    void allHudOff();
    // Stores the music track and rewrites the menu's music line.
    void setMusicHUD(int track);
    // Each toggles its part and rewrites its menu line.
    void setSpeedHUD();
    void setRadarHUD();
    void setStatsHUD();

    int32_t _musicHudTrack = 1;
    char _freeStyleRankNames[10][20] = {};
    int32_t _freeStyleRankScores[10] = {};
    int32_t _freeStylePlayerPos = 7;
    uint32_t _playerNum;
    uint32_t _totalRaceTime[3] = {};
    uint32_t _currentLapTime[3] = {};
    uint32_t _currentLap = 1, _currentPosition = 1, _totalRiders = 1;
    uint32_t _bikeHeight = 0, _bikeMaxHeight = 0, _bikeLength = 0, _bikeMaxLength = 0;
    int32_t _speedHudON = 1;
    int32_t _radarHudON = 1;
    int32_t _statsHudON = 1;
    int32_t _collisionsHudON = 1;
    int32_t _instObjectsHudON = 0;
    int32_t _objectsHudON = 1;
    int32_t _crashesHudON = 0;
    uint32_t _hudState = 1;
};
