// A debug timing record the model makes on its first unpaused step. Nothing in the game reads or
// writes its fields; it exists so that the singleton's lifetime matches the race's.
#pragma once

#include <cstdint>

class CTimer {
public:
    static CTimer* timerPtr;

    CTimer();
    ~CTimer();

    char timerString[200];
    uint32_t totalTime[1];
    uint32_t minTime[1];
    uint32_t maxTime[1];
    uint32_t timeLimit[1];
    uint32_t numLimitsExceeded[1];
    uint32_t startTime[1];
    uint32_t stopTime[1];
    uint32_t pauseTime[1];
    uint32_t time[1];
    uint32_t numTimings[1];
    uint8_t timerOn;
    uint8_t activeTimer;
};

// The singleton, made on first use.
CTimer* GetTimer();
