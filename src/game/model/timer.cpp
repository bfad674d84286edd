#include "game/model/timer.h"

CTimer* CTimer::timerPtr = nullptr;

// Zeroed rather than left indeterminate: nothing reads the fields, but copies of the record must not
// read garbage.
CTimer::CTimer()
    : timerString{},
      totalTime{},
      minTime{},
      maxTime{},
      timeLimit{},
      numLimitsExceeded{},
      startTime{},
      stopTime{},
      pauseTime{},
      time{},
      numTimings{},
      timerOn(0),
      activeTimer(0) {}

CTimer::~CTimer() {
    if (timerPtr == this) timerPtr = nullptr;
}

CTimer* GetTimer() {
    if (!CTimer::timerPtr) CTimer::timerPtr = new CTimer();
    return CTimer::timerPtr;
}
