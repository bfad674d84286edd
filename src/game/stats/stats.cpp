#include "game/stats/stats.h"

#include <algorithm>
#include <cstring>

#include "bike/kinetic_bike.h"
#include "engine/sys/strings.h"
#include "game/core/global_options.h"

CStats* CStats::racePositions[kMaxRacers] = {};
int32_t CStats::racerCount = 0;
int32_t CStats::numLaps = 0;
float CStats::startTime = 0.0f;
int32_t CStats::holeShotAwarded = 0;
int (*CStats::terrainTypeAt)(float, float) = nullptr;

const int32_t CStats::stuntAdvantagePointsNecessary[kMaxStuntAdvantageLevel] = {
    3000, 6000, 9000, 12000, 15000, 18000, 21000, 24000, 27000, 30000};

CStats::CStats()
    : _stuntsToHudStuntStrings{},
      _stuntsToHudStuntScores{},
      _stuntsToHudStuntRepeatScores{},
      _stuntsToHudStuntMultiplier(0),
      _stuntsToHudTotalScoreThisJump(0),
      _isStuntsToHudActive(0),
      currentLapCount(0),
      lapTimes{},
      bikeId(0),
      index(racerCount),
      currentCheckpoint(0),
      _currentLapTimeStamp(0),
      raceTime(0),
      _currentLapTime(0),
      _elapseTime(0),
      fastestLapTime(1.0e8f),
      numStuntsThisJump(0),
      stuntsPerformedThisJump{},
      stuntsHeldThisJump{},
      stuntPointValue{},
      stuntName{},
      stuntLanded{},
      stuntScore(0),
      currentStuntScore(0),
      stuntsPerformed{},
      numStuntsPerformed(0),
      biggestStuntCombo(0),
      biggestAirTime(0),
      holeShot(-1),
      inTargetJumpArea(0),
      inTargetLandArea(0),
      targetJumpCompleted(0),
      pickupsCount(-1),
      pickupsFound(0),
      crashCount(0),
      raceCompleted(0),
      jumpStartTime(0),
      jumpInProgress(0),
      longestJump(0),
      jumpDistance(0),
      jumpAirTime(0),
      finishTime(1.0e8f),
      stuntAdvantageLevel(0),
      timeOffLeader(0),
      bike(nullptr) {
    racerCount += 1;
    // A race holds at most eight racers; a ninth record gets no place in the table.
    if (index >= 0 && index < kMaxRacers) racePositions[index] = this;
}

CStats::~CStats() {
    // The first record destroyed at race end clears the race's statics for the next race.
    for (CStats*& p : racePositions) p = nullptr;
    numLaps = 0;
    startTime = 0.0f;
    racerCount = 0;
    holeShotAwarded = 0;
}

void CStats::updateRacePosition() {
    const int n = std::clamp(racerCount, 0, kMaxRacers);
    x_qsort(racePositions, n, sizeof(CStats*), compareRacePosition);
}

int CStats::compareRacePosition(const void* pa, const void* pb) {
    const CStats* a = *static_cast<CStats* const*>(pa);
    const CStats* b = *static_cast<CStats* const*>(pb);
    if (!a || !b) return (a ? -1 : 0) + (b ? 1 : 0);
    if (a->finishTime != b->finishTime) return a->finishTime < b->finishTime ? -1 : 1;
    if (a->currentLapCount != b->currentLapCount) return a->currentLapCount > b->currentLapCount ? -1 : 1;
    const uint32_t ca = a->bike ? a->bike->currentCheckPoint : 0;
    const uint32_t cb = b->bike ? b->bike->currentCheckPoint : 0;
    if (ca != cb) return ca > cb ? -1 : 1;
    const float wa = a->bike ? a->bike->curWayTime : 0.0f;
    const float wb = b->bike ? b->bike->curWayTime : 0.0f;
    if (wa != wb) return wa > wb ? -1 : 1;
    return 0;
}

int CStats::getRacePosition() const {
    const int n = std::clamp(racerCount, 0, kMaxRacers);
    for (int i = 0; i < n; ++i)
        if (racePositions[i] == this) return i + 1;
    return 1;
}

void CStats::setLapTime(float) {
    const int lap = currentLapCount;
    currentLapCount = std::min(lap + 1, kMaxLapSlot);
    // Laps past the last slot keep overwriting it.
    const int slot = std::min(lap, kMaxLapSlot);
    lapTimes[slot] = _currentLapTime;
    fastestLapTime = std::min(fastestLapTime, _currentLapTime);
    _elapseTime = lap > 0 ? lapTimes[std::min(lap - 1, kMaxLapSlot)] - _currentLapTime : _currentLapTime;
    // The race is complete once its last lap is: with the count before this lap (numLaps < lap) a
    // race of numLaps laps would only count as complete a lap after its finish.
    if (numLaps > 0 && lap + 1 >= numLaps) raceCompleted = 1;
}

void CStats::calculateHoleShot() {
    if (holeShot != -1 || holeShotAwarded != 0 || !terrainTypeAt || !bike) return;
    if (terrainTypeAt(bike->position.x, bike->position.z) == kHoleShotTerrain) {
        holeShot = 1;
        holeShotAwarded = 1;
    }
}

void CStats::jumpStart(qzVector3d& pos, float time) {
    jumpStartTime = time;
    jumpInProgress = 1;
    jumpStartPos = pos;
    numStuntsThisJump = 0;
}

void CStats::jumpLandFailed(float) {
    jumpStartTime = 0;
    jumpInProgress = 0;
    jumpDistance = 0;
    jumpAirTime = 0;
    numStuntsThisJump = 0;
}

void CStats::jumpLandSuccessful(qzVector3d& pos, float time) {
    const float air = time - jumpStartTime;
    if (air < 0.5f) return;
    calculateStuntScore();
    biggestStuntCombo = std::max(biggestStuntCombo, std::clamp(numStuntsThisJump, 0, kMaxStuntsPerJump));
    updateStuntAdvantage();
    currentStuntScore = 0;
    jumpAirTime = air;
    biggestAirTime = std::max(biggestAirTime, air);
    if (inTargetLandArea == 1) targetJumpCompleted = 1;
    jumpStartTime = 0;
    jumpInProgress = 0;
    qzMath::qzMathVectorDistance(&jumpDistance, &jumpStartPos, &pos);
    longestJump = std::max(longestJump, jumpDistance);
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

float CStats::difficultyScale() const {
    switch (gameOptions.difficulty) {
        case 0:
            return 2.0f;
        case 1:
            return 1.5f;
        default:
            return 1.0f;
    }
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
        bike->flags |= 1u << BIKE_NITRO_EARNED;
        if (bike->nitrosAvailable < 5) bike->nitrosAvailable += 1;
    }
    stuntAdvantageLevel += 1;
}

int CStats::getPercentOfNextStuntAdvantage() const {
    // Past the last level there is no next threshold: the bar is full.
    if (stuntAdvantageLevel < 0 || stuntAdvantageLevel >= kMaxStuntAdvantageLevel) return 100;
    const float s = advantageScale();
    const int prev =
        stuntAdvantageLevel == 0
            ? 0
            : static_cast<int>(static_cast<float>(stuntAdvantagePointsNecessary[stuntAdvantageLevel - 1]) *
                               s);
    const int next =
        static_cast<int>(static_cast<float>(stuntAdvantagePointsNecessary[stuntAdvantageLevel]) * s);
    // A zero (or negative) span is reached by any score.
    if (next - prev <= 0) return 100;
    const int have =
        static_cast<int>(difficultyScale() * static_cast<float>(stuntScore) - static_cast<float>(prev));
    return 100 * have / (next - prev);
}
