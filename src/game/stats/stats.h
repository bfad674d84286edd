// One racer's race statistics: laps and lap times, the hole shot, jumps and air time, the stunts of the
// current jump and their score, and the stunt advantage that earns nitro. The class statics hold the
// race-position table, re-sorted by the race and read by the HUD and the results.
//
// The record and what works on it alone are here; the operations that read or write the bike it belongs
// to (the race order, the hole shot, the stunt score and the stunt advantage) are defined on the bike's
// floor, in bike/bike_stats.cpp.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

class KineticBike;

class CStats {
public:
    static constexpr int kMaxRacers = 8;
    static constexpr int kMaxLapSlot = 49;
    static constexpr int kMaxStuntsPerJump = 8;
    static constexpr int kStuntNames = 26;
    static constexpr int kMaxStuntAdvantageLevel = 10;

    static CStats* racePositions[kMaxRacers];
    static int32_t racerCount;
    static int32_t numLaps;
    static float startTime;
    static int32_t holeShotAwarded;
    static const int32_t stuntAdvantagePointsNecessary[kMaxStuntAdvantageLevel];
    // The terrain code under a point (x, z) of the track; installed by the race for the length of a race.
    // Without it no hole shot can be found.
    static int (*terrainTypeAt)(float x, float z);
    static constexpr int kHoleShotTerrain = 124;

    CStats();
    ~CStats();
    CStats(const CStats&) = delete;
    CStats& operator=(const CStats&) = delete;

    static void updateRacePosition();
    static int compareRacePosition(const void* a, const void* b);
    int getRacePosition() const;
    void setLapTime(float globalTime);
    void calculateHoleShot();
    void jumpStart(qzVector3d& pos, float time);
    void jumpLandSuccessful(qzVector3d& pos, float time);
    void jumpLandFailed(float time);
    int calculateStuntScore();
    void updateStuntAdvantage();
    int getPercentOfNextStuntAdvantage() const;

    char _stuntsToHudStuntStrings[3][30];
    int32_t _stuntsToHudStuntScores[3];
    int32_t _stuntsToHudStuntRepeatScores[3];
    int32_t _stuntsToHudStuntMultiplier;
    int32_t _stuntsToHudTotalScoreThisJump;
    int32_t _isStuntsToHudActive;
    int32_t currentLapCount;
    float lapTimes[50];
    int32_t bikeId;
    int32_t index;
    int32_t currentCheckpoint;
    float _currentLapTimeStamp;
    float raceTime;
    float _currentLapTime;
    float _elapseTime;
    float fastestLapTime;
    int32_t numStuntsThisJump;
    int32_t stuntsPerformedThisJump[kMaxStuntsPerJump];
    float stuntsHeldThisJump[kMaxStuntsPerJump];  // frames
    int32_t stuntPointValue[kMaxStuntsPerJump];
    char stuntName[kMaxStuntsPerJump][80];
    uint8_t stuntLanded[kMaxStuntsPerJump];
    int32_t stuntScore;
    int32_t currentStuntScore;
    int8_t stuntsPerformed[kStuntNames];
    int32_t numStuntsPerformed;
    int32_t biggestStuntCombo;
    float biggestAirTime;
    int32_t holeShot;
    uint8_t inTargetJumpArea, inTargetLandArea;
    uint8_t targetJumpCompleted;
    int32_t pickupsCount, pickupsFound;
    int32_t crashCount;
    uint8_t raceCompleted;
    float jumpStartTime;
    uint8_t jumpInProgress;
    float longestJump;
    qzVector3d jumpStartPos;
    float jumpDistance;
    float jumpAirTime;
    float finishTime;
    int32_t stuntAdvantageLevel;
    // Gap to the race leader as the HUD shows it; nothing computes it, so it stays 0.
    float timeOffLeader;

    // The bike this record belongs to (its checkpoint, way time, computer flag, flags, nitro and stunt
    // advantage scale); set by the bike. Without one the record uses neutral values.
    KineticBike* bike;

private:
    float difficultyScale() const;
    float advantageScale() const;
};
