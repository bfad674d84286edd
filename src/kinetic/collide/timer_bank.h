// The one bank of named profiling timers ("Total", "Dynamics", "Detection").
#pragma once

#include <vector>

#include "kinetic/collide/performance_timer.h"

class ITimerBank {
public:
    static ITimerBank& getInstance();
    int newTimer(const char* name);
    void start(int index) { m_timers[index].m_timer.start(); }
    void stop(int index) { m_timers[index].m_timer.stop(); }
    int size() const { return static_cast<int>(m_timers.size()); }
    const NamedTimer& get(int index) const { return m_timers[index]; }
    // Index of the timer with this name, created on first use.
    int findOrCreate(const char* name);

private:
    ITimerBank() { m_timers.reserve(10); }
    std::vector<NamedTimer> m_timers;
};
