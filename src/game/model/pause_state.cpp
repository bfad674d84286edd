#include "game/model/pause_state.h"

int32_t CPauseState::pauseSwitch = 0;
int32_t CPauseState::pauseDraw = 0;
CModelObject* CPauseState::selfPauseObject = nullptr;
