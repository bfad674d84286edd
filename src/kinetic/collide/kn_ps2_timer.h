// Time base of the profiling timers. On this platform a monotonic clock stands in for the console's
// free-running hardware timer and its overflow interrupt: same interface, no handler.
#pragma once

#include <cstdint>

class KN_PS2Timer {
public:
    // 1 when it started the time base, 0 when it was already running.
    static int start();
    // Kept for the interface; nothing raises it here (the clock does not overflow).
    static int timerOverflowHandler(int cause);
    static int64_t currentTick();

    static int m_timer;
    static int m_timerHandler;
    static int64_t m_ticksPerSecond;
    static int64_t m_count;
    static bool m_started;
};
