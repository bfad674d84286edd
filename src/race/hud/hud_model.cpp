#include "race/hud/hud_model.h"

#include "race/hud/pause_menu.h"

CHudModel::CHudModel(unsigned int playerNum) : CModelObject(-1), _playerNum(playerNum) {}

void CHudModel::allHudOff() {
    _speedHudON = _radarHudON = _statsHudON = 0;
}

void CHudModel::setMusicHUD(int track) {
    _musicHudTrack = track;
    setMusicHudText(this);
}

void CHudModel::setSpeedHUD() {
    _speedHudON ^= 1;
    setSpeedHudText(this);
}

void CHudModel::setRadarHUD() {
    _radarHudON ^= 1;
    setRadarHudText(this);
}

void CHudModel::setStatsHUD() {
    _statsHudON ^= 1;
    setStatsHudText(this);
}
