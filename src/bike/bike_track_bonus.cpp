// What a track bonus record checks and raises on its bike: the bike's statistics against the track's
// award table (game/stats/track_bonus.h), and the bike's hole-shot and track-bonus flags when an award is
// received. The table and the records stay with the game's statistics; this update is the bike's floor.
#include <cmath>

#include "bike/kinetic_bike.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"

namespace {

constexpr float kNotFinished = 1.0e8f;  // a racer's finish time until it finishes

// count >= int(value), the value truncated toward zero (a value from the world file may be anything).
bool AtLeast(int32_t count, float value) {
    return static_cast<double>(count) >= std::trunc(static_cast<double>(value));
}

bool Achieved(const _TrackBonusAward& a, const CStats& s) {
    const float v = a.bonusValue;
    switch (a.bonusType) {
        case STAT_HOLE_SHOT:
            return s.holeShot == 1;
        case STAT_FASTEST_LAP:
            return s.fastestLapTime < v;
        case STAT_FASTEST_RACE:
            // The race's time is the time it was finished in: the clock runs on after the finish.
            return s.raceCompleted && (s.finishTime != kNotFinished ? s.finishTime : s.raceTime) < v;
        case STAT_BIGGEST_AIR:
            return s.biggestAirTime >= v;
        case STUNT_SPECIFIC: {
            // A trick number outside the stunt table can never be performed.
            if (!(v > -1.0f && v < static_cast<float>(CStats::kStuntNames))) return false;
            return s.stuntsPerformed[static_cast<int>(v)] != 0;
        }
        case STUNT_NUMBER:
            return AtLeast(s.numStuntsPerformed, v);
        case STUNT_COMBO:
            return AtLeast(s.biggestStuntCombo, v);
        case STUNT_SCORE:
            return AtLeast(s.stuntScore, v);
        case PICKUP_ICON:
            return s.pickupsCount - s.pickupsFound == 0;
        case JUMP_OVER:
            return s.targetJumpCompleted == 1;
        default:
            return false;
    }
}

}  // namespace

void CTrackBonus::update(KineticBike* bike) {
    if (allAwardsRecieved || !bike) return;
    const int n = numTrackBonuses < 0 ? 0 : numTrackBonuses > kMaxAwards ? kMaxAwards : numTrackBonuses;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const _TrackBonusAward& a = trackBonusAwards[i];
        if (a.bonusType < STAT_HOLE_SHOT || a.bonusType > JUMP_OVER) continue;
        if (awardRecieved & (1u << a.bonusType)) {
            count += 1;
            continue;
        }
        if (!Achieved(a, bike->bikeStats)) continue;
        awardRecieved |= 1u << a.bonusType;
        currentBonusAwarded = i;
        bike->status.flags |=
            1u << (a.bonusType == STAT_HOLE_SHOT ? BIKE_HOLESHOT : BIKE_TRACK_BONUS_RECIEVED);
    }
    if (count == n) {
        allAwardsRecieved = 1;
        bike->status.flags |= 1u << BIKE_ALL_TRACK_BONUS_RECIEVED;
    }
}
