#include "game/race/pause_obj.h"

#include "game/model/model.h"
#include "game/model/pause_state.h"

CPauseObj::CPauseObj(const int32_t* hudIds, unsigned int humans) : numHumans(humans) {
    for (unsigned i = 0; i < 2 && hudIds; ++i) hudId[i] = hudIds[i];
    CPauseState::pauseSwitch = 0;
    CPauseState::pauseDraw = 0;
    CPauseState::selfPauseObject = nullptr;
}

void CPauseObj::doAction(const CPacket&, float) {}

void CPauseObj::setPauseSwitch(int32_t objectId) {
    if (objectId < 0) {
        CPauseState::pauseSwitch = 0;
        CPauseState::selfPauseObject = nullptr;
        pausePlayer_ = -1;
        return;
    }
    CPauseState::pauseSwitch = 1;
    CModel* m = CModel::modelPtr;
    CPauseState::selfPauseObject = m && static_cast<size_t>(objectId) < m->objects.size()
                                       ? m->objects[static_cast<size_t>(objectId)]
                                       : nullptr;
}
