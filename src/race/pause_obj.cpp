#include "race/pause_obj.h"

#include "game/model/pause_state.h"

CPauseObj::CPauseObj(const int32_t* hudIds, unsigned int humans) : numHumans(humans) {
    for (unsigned i = 0; i < 2 && hudIds; ++i) hudId[i] = hudIds[i];
    CPauseState::pauseSwitch = 0;
    CPauseState::pauseDraw = 0;
    // While paused the model updates this object alone: the bikes, and with them the race and lap
    // clocks, stand still until the race resumes.
    CPauseState::selfPauseObject = this;
}

CPauseObj::~CPauseObj() {
    if (CPauseState::selfPauseObject == this) CPauseState::selfPauseObject = nullptr;
}

void CPauseObj::doAction(const CPacket&, float) {}

void CPauseObj::setPauseSwitch(int32_t objectId) {
    if (objectId < 0) {
        CPauseState::pauseSwitch = 0;
        pausePlayer_ = -1;
        return;
    }
    CPauseState::pauseSwitch = 1;
}
