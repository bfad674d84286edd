// What the race statistics (game/stats/stats.h) read and write of the bike they belong to: the race
// order (each bike's checkpoint and way time), the hole shot (the terrain under the bike), whether a
// scored jump is shown on a human's HUD, and the stunt advantage (the bike's advantage scale, its nitro
// flag and count). The records stay with the game's statistics; these operations are the bike's floor.
#include <algorithm>
#include <cstring>

#include "bike/kinetic_bike.h"
#include "game/stats/stats.h"

int CStats::compareRacePosition(const void* pa, const void* pb) {
    const CStats* a = *static_cast<CStats* const*>(pa);
    const CStats* b = *static_cast<CStats* const*>(pb);
    if (!a || !b) return (a ? -1 : 0) + (b ? 1 : 0);
    if (a->finishTime != b->finishTime) return a->finishTime < b->finishTime ? -1 : 1;
    if (a->currentLapCount != b->currentLapCount) return a->currentLapCount > b->currentLapCount ? -1 : 1;
    const uint32_t ca = a->bike ? a->bike->laps.currentCheckPoint : 0;
    const uint32_t cb = b->bike ? b->bike->laps.currentCheckPoint : 0;
    if (ca != cb) return ca > cb ? -1 : 1;
    const float wa = a->bike ? a->bike->laps.curWayTime : 0.0f;
    const float wb = b->bike ? b->bike->laps.curWayTime : 0.0f;
    if (wa != wb) return wa > wb ? -1 : 1;
    return 0;
}

void CStats::calculateHoleShot() {
    if (holeShot != -1 || holeShotAwarded != 0 || !terrainTypeAt || !bike) return;
    if (terrainTypeAt(bike->position.x, bike->position.z) == kHoleShotTerrain) {
        holeShot = 1;
        holeShotAwarded = 1;
    }
}

int CStats::calculateStuntScore() {
    // The rider animation fills the per-jump lists; at most eight entries exist.
    const int n = std::clamp(numStuntsThisJump, 0, kMaxStuntsPerJump);
    const bool human = !(bike && bike->isCPU);
    float total = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float base = static_cast<float>(stuntPointValue[i]);
        float points = base;
        if (i < 3) {
            _stuntsToHudStuntScores[i] = static_cast<int32_t>(points);
            std::strncpy(_stuntsToHudStuntStrings[i], stuntName[i], 29);
            _stuntsToHudStuntStrings[i][29] = '\0';
        }
        // A stunt number outside the table has never been performed and is not counted.
        const int name = stuntsPerformedThisJump[i];
        const bool known = name >= 0 && name < kStuntNames;
        const float repeat = known ? 100.0f * static_cast<float>(stuntsPerformed[name]) : 0.0f;
        if (i < 3) _stuntsToHudStuntRepeatScores[i] = static_cast<int32_t>(repeat);
        points = std::max(points - repeat, 100.0f);
        // Held for a number of frames.
        const float hold = 1.6667f * stuntsHeldThisJump[i];
        if (i < 3) _stuntsToHudStuntScores[i] = static_cast<int32_t>(base + hold);
        points += hold;
        if (known) stuntsPerformed[name] = static_cast<int8_t>(stuntsPerformed[name] + 1);
        numStuntsPerformed += 1;
        if (human) _isStuntsToHudActive = 1;
        total += points;
    }
    const int multiplier = n == 0 ? 0 : n + (stuntLanded[n - 1] ? 1 : 0);
    total *= static_cast<float>(multiplier);
    const int result = static_cast<int>(total);
    _stuntsToHudStuntMultiplier = multiplier;
    _stuntsToHudTotalScoreThisJump = result;
    stuntScore += result;
    return result;
}

float CStats::advantageScale() const {
    return bike ? bike->attributes.stuntAdvantageScale : 1.0f;
}

void CStats::updateStuntAdvantage() {
    if (stuntAdvantageLevel < 0 || stuntAdvantageLevel >= kMaxStuntAdvantageLevel) return;
    const float need =
        static_cast<float>(stuntAdvantagePointsNecessary[stuntAdvantageLevel]) * advantageScale();
    if (difficultyScale() * static_cast<float>(stuntScore) < need) return;
    if (bike) {
        bike->status.flags |= 1u << BIKE_NITRO_EARNED;
        if (bike->ride.nitrosAvailable < 5) bike->ride.nitrosAvailable += 1;
    }
    stuntAdvantageLevel += 1;
}
