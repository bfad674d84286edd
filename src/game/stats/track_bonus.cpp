#include "game/stats/track_bonus.h"

#include <cstring>

_TrackBonusAward CTrackBonus::trackBonusAwards[kMaxAwards] = {};
int32_t CTrackBonus::numTrackBonuses = 0;
int (*CTrackBonus::pickupIconCount)() = nullptr;

CTrackBonus::CTrackBonus() : currentBonusAwarded(-1), awardRecieved(0), allAwardsRecieved(0) {}

// The first bike destroyed at race end empties the table.
CTrackBonus::~CTrackBonus() {
    numTrackBonuses = 0;
}

int CTrackBonus::addTrackBonusAward(TRACK_BONUS_TYPE type, float value, const char* text,
                                    const char* receivedText) {
    if (type == TRACK_BONUS_NONE) return -1;
    if (numTrackBonuses < 0) numTrackBonuses = 0;
    // The table holds five awards; further ones are ignored.
    if (numTrackBonuses >= kMaxAwards) return -1;
    _TrackBonusAward& a = trackBonusAwards[numTrackBonuses];
    a.bonusType = type;
    a.bonusValue = value;
    if (type == PICKUP_ICON && pickupIconCount) a.bonusValue = static_cast<float>(pickupIconCount());
    // The texts come from the world file: at most 99 characters are kept, always terminated.
    std::memset(a.bonusFlavorText, 0, sizeof(a.bonusFlavorText));
    std::memset(a.bonusFlavorRecText, 0, sizeof(a.bonusFlavorRecText));
    if (text) std::strncpy(a.bonusFlavorText, text, sizeof(a.bonusFlavorText) - 1);
    if (receivedText) std::strncpy(a.bonusFlavorRecText, receivedText, sizeof(a.bonusFlavorRecText) - 1);
    return numTrackBonuses++;
}

void CTrackBonus::recountPickupIcons() {
    if (!pickupIconCount) return;
    const int n = numTrackBonuses < 0 ? 0 : numTrackBonuses > kMaxAwards ? kMaxAwards : numTrackBonuses;
    for (int i = 0; i < n; ++i)
        if (trackBonusAwards[i].bonusType == PICKUP_ICON)
            trackBonusAwards[i].bonusValue = static_cast<float>(pickupIconCount());
}

int CTrackBonus::getNumTrackBonusAwards() {
    return numTrackBonuses;
}

TRACK_BONUS_TYPE CTrackBonus::getTrackBonusType(int i) {
    if (i < 0 || i >= numTrackBonuses || i >= kMaxAwards) return TRACK_BONUS_NONE;
    return trackBonusAwards[i].bonusType;
}
