#include "game/race/pause_obj.h"

#include "game/model/pause_state.h"

CPauseObj::CPauseObj(const int32_t* hudIds, unsigned int humans) : numHumans(humans) {
    for (unsigned i = 0; i < 2 && hudIds; ++i) hudId[i] = hudIds[i];
    CPauseState::pauseSwitch = 0;
    CPauseState::pauseDraw = 0;
    CPauseState::selfPauseObject = nullptr;
}

void CPauseObj::doAction(const CPacket&, float) {}
