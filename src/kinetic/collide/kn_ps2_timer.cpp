#include "kinetic/collide/kn_ps2_timer.h"

#include <time.h>

int KN_PS2Timer::m_timer = 1;
int KN_PS2Timer::m_timerHandler = -1;
int64_t KN_PS2Timer::m_ticksPerSecond = -1;
int64_t KN_PS2Timer::m_count = 0;
bool KN_PS2Timer::m_started = false;

int KN_PS2Timer::start() {
    if (m_started) return 0;
    m_count = 0;
    m_ticksPerSecond = 1000000000;  // the monotonic clock counts nanoseconds
    m_started = true;
    return 1;
}

int KN_PS2Timer::timerOverflowHandler(int cause) {
    (void)cause;
    m_count += 1;
    return 0;
}

int64_t KN_PS2Timer::currentTick() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
