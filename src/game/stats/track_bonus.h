// Track bonuses: up to five goals per track (hole shot, a lap or race under a time, air time, a given
// trick, a number of tricks, a combo, a stunt score, all pickups, a target jump). Every human racer's
// bike carries a record that is checked against its statistics in each update.
//
// The table and the record are here; update, which reads the bike's statistics and raises its flags, is
// defined on the bike's floor, in bike/bike_track_bonus.cpp.
#pragma once

#include <cstdint>

class KineticBike;

enum TRACK_BONUS_TYPE : int32_t {
    TRACK_BONUS_NONE = -1,
    STAT_HOLE_SHOT = 0,
    STAT_FASTEST_LAP = 1,
    STAT_FASTEST_RACE = 2,
    STAT_BIGGEST_AIR = 3,
    STUNT_SPECIFIC = 4,
    STUNT_NUMBER = 5,
    STUNT_COMBO = 6,
    STUNT_SCORE = 7,
    PICKUP_ICON = 8,
    JUMP_OVER = 9,
};

struct _TrackBonusAward {
    TRACK_BONUS_TYPE bonusType;
    float bonusValue;
    char bonusFlavorText[100];
    char bonusFlavorRecText[100];
};

class CTrackBonus {
public:
    static constexpr int kMaxAwards = 5;
    static _TrackBonusAward trackBonusAwards[kMaxAwards];
    static int32_t numTrackBonuses;
    // The track's number of pickup icons, which a pickup award takes as its value; installed by the race
    // for the length of a race. Without it the award keeps the value it was given.
    static int (*pickupIconCount)();

    CTrackBonus();
    ~CTrackBonus();

    // Returns the new award's index, or -1 when nothing was added (no type, or the table is full).
    static int addTrackBonusAward(TRACK_BONUS_TYPE type, float value, const char* text,
                                  const char* receivedText);
    // Every pickup award of the table takes the track's icon count afresh (the icons are placed after
    // the awards are read); nothing without pickupIconCount.
    static void recountPickupIcons();
    static int getNumTrackBonusAwards();
    // The type of award i; TRACK_BONUS_NONE outside the table.
    static TRACK_BONUS_TYPE getTrackBonusType(int i);

    void update(KineticBike* bike);

    int32_t currentBonusAwarded;
    uint32_t awardRecieved;
    uint32_t allAwardsRecieved;
};
