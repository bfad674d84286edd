// The race's pause object: what the pause menu and the race end screen answer in (leave, restart) and
// the pause switch the model and the clock obey. The pause menu itself draws elsewhere.
#pragma once

#include <cstdint>

#include "game/model/dynamic_object.h"

class CPauseObj : public CDynamicObject {
public:
    CPauseObj(const int32_t* hudIds, unsigned int numHumans);
    void doAction(const CPacket& packet, float dt) override;

    int32_t exitGame = 0;     // 1 quit the race, 2 the race is finished
    int32_t restartGame = 0;  // non-zero: build the race again
    int32_t hudId[2] = {-1, -1};
    uint32_t numHumans = 1;
};
