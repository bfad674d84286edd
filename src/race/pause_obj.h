// The race's pause object: what the pause menu and the race end screen answer in (leave, restart) and
// the pause switch the model and the clock obey. The pause menu itself draws elsewhere.
#pragma once

#include <cstdint>

#include "game/model/dynamic_object.h"
#include "race/control/controller_targets.h"

class CPauseObj : public CDynamicObject, public CPauseTarget {
public:
    CPauseObj(const int32_t* hudIds, unsigned int numHumans);
    ~CPauseObj() override;
    void doAction(const CPacket& packet, float dt) override;

    int32_t pausePlayer() const override { return pausePlayer_; }
    void setPausePlayer(int32_t pad) override { pausePlayer_ = pad; }
    // Pauses the race (`objectId`: what the pausing pad controlled until now); -1 resumes. While paused
    // only this object is updated, whichever pad paused.
    void setPauseSwitch(int32_t objectId) override;

    int32_t exitGame = 0;     // 1 quit the race, 2 the race is finished
    int32_t restartGame = 0;  // non-zero: build the race again
    int32_t hudId[2] = {-1, -1};
    uint32_t numHumans = 1;

private:
    int32_t pausePlayer_ = -1;
};
