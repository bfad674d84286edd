// Interval timers of the engine's profiling: they only accumulate; nothing in the game reads them back.
#pragma once

#include <cstdint>

class IPerformanceTimer {
public:
    struct Count {
        int64_t start = 0;
        int64_t stop = 0;
        int64_t other = 0;  // only reset touches it
        int64_t total = 0;
    };

    IPerformanceTimer();
    void start();
    void stop();
    void reset();

    const Count& getCount() const { return m_count; }
    bool isRunning() const { return m_running; }
    int getIntervals() const { return m_intervals; }
    int getTicksPerMs() const { return m_ticksPerMs; }

private:
    Count m_count;
    bool m_running = false;
    int m_intervals = 0;
    int m_intervals2 = 0;
    int m_ticksPerMs = 0;
};

class NamedTimer {
public:
    NamedTimer(const char* name) : m_name(name) {}
    IPerformanceTimer m_timer;
    const char* m_name;  // not copied
};
