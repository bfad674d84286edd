#include "game/model/global_time.h"

#include "game/model/pause_state.h"

float globalTime = 0.0f;

void CGlobalTime::updateGlobalTime() {
    if (CPauseState::pauseSwitch != 1) globalTime += 0.01667f;
}
