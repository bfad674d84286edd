#include "game/core/game_options.h"

// Only these fields are reset; the rest keeps what the record held (zero for the static instance).
CGameOptions::CGameOptions() {
    gameOptions = 0;
    soundVolume = 0;
    musicVolume = 0;
    demoMode = 0;
    gameEndState = GAME_END_RACE_FINISHED;
    numCPURacers = 0;
}

void setGameOptions(CGameOptions* options) {
    options->gameOptions |= kRaceOptionBits;
    for (int32_t& award : options->trackBonusAwardsFinished) award = 0;
}
