#include "race/end_of_race.h"

#include "bike/kinetic_bike.h"
#include "game/core/game_options.h"
#include "game/view/view_3d.h"
#include "race/end_screens.h"
#include "race/race_game.h"

void (*raceEndHudOff)(int hudId) = nullptr;
void (*raceEndAimTrackCamera)(CTrackCamera* cam, int bikeId, KineticBike* bike) = nullptr;

void CheckGameOver(const RaceEndParts& p) {
    if (!p.gameEnd || !p.options || p.gameEnd->getGameEndInited()) return;
    bool anyFinished = false;
    for (uint32_t i = 0; i < p.numHumans && i < 2; ++i) {
        const KineticBike* b = p.bike[i];
        if (b && (p.options->timeOrLap ? b->laps.curLap >= p.options->duration
                                       : b->bikeStats.raceTime >= static_cast<float>(p.options->duration)))
            anyFinished = true;
    }
    if (!anyFinished) return;
    p.gameEnd->initEndGameStats();
    // The results cover the whole screen, both halves in split screen: every human's bike goes to the
    // computer (a player still racing could not see the course) and every HUD goes off.
    for (uint32_t i = 0; i < p.numHumans && i < 2; ++i) {
        KineticBike* b = p.bike[i];
        if (!b) continue;
        // The bike's last look at its track bonuses: the lap that finished the race was counted after
        // this frame's bike updates, and a computer-driven bike's record is no longer updated, so the
        // finish-in-time bonus is judged here or never.
        if (!b->isCPU) b->trackBonus.update(b);
        p.whoControls[i] = 2;
        b->isCPU = 1;
        if (raceEndHudOff && p.hudId) raceEndHudOff(p.hudId[i]);
        if (p.trackCamID != -1) {
            if (raceEndAimTrackCamera) raceEndAimTrackCamera(p.trackCam, p.bikeId[i], b);
            if (p.view && p.view[i]) p.view[i]->_cameraID = p.trackCamID;
        }
    }
}

RaceEndParts RaceEndPartsOf(CQzGame& race) {
    RaceEndParts p;
    p.gameEnd = race.gameEnd;
    p.options = CQzGame::gameOptions;
    p.numHumans = CQzGame::numOfHumanRacers;
    p.bike = CQzGame::bike;
    p.bikeId = CQzGame::bikeId;
    p.whoControls = race.whoControls;
    p.view = CQzGame::view;
    p.hudId = race.hudId;
    p.trackCamID = race.trackCamID;
    p.trackCam = CQzGame::trackCam;
    return p;
}

void CQzGame::checkGameOver() {
    CheckGameOver(RaceEndPartsOf(*this));
}
