#include "game/stats/stats.h"

#include <algorithm>

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
