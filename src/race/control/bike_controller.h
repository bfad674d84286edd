// The one place where buttons and sticks become a bike's action word: filled each input step by the pad
// controller's bike state or by a computer rider, it sends at most one action packet per step to its bike,
// and only when the action word or an amount byte changed. Direction presses made in the air while a
// stunt button is held go to the stunt recogniser instead.
#pragma once

#include <cstdint>
#include <vector>

#include "game/model/packet.h"
#include "race/control/bike_actions.h"
#include "race/control/stunt_mgr.h"

class CBikeController {
public:
    // Distance to the ground from which a bike counts as in the air.
    static constexpr float kAirDistance = 75.0f;
    // Amount bytes from which a direction counts as a stunt press, and below which (all four) it re-arms.
    static constexpr uint8_t kStuntPress = 181;
    static constexpr uint8_t kStuntRearm = 120;

    CBikeController();

    // Bytes 0..7 of analogControl from controlFlags: a set flag takes its amount from `amounts` (10
    // bytes, same order) or 255 when that is 0; a clear flag gives 0.
    void DtoA(const unsigned char* amounts);
    // This step's action word; appends a packet to the bike when it or a byte changed. Nothing for a
    // bikeID below 0 or an id that names no bike.
    void fillPackets(std::vector<CPacket>& packets);
    // The stunt-button part of an air step: STUNT_INVALID until the recogniser yields a trick.
    stuntName getStuntName();

    int32_t bikeID;
    uint8_t analogControl[AMOUNT_COUNT];
    uint8_t oldAnalogControl[AMOUNT_COUNT];
    uint32_t controlFlags;
    uint32_t oldControlFlags;
    uint32_t oldBikePacket;
    uint32_t lastDir;  // stuntDir last fed to the recogniser, DIR_NEUTRAL for none
    uint32_t stuntDelay;
};
