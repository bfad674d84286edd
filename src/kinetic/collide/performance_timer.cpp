#include "kinetic/collide/performance_timer.h"

#include "kinetic/collide/kn_ps2_timer.h"

IPerformanceTimer::IPerformanceTimer() {
    KN_PS2Timer::start();
    m_ticksPerMs = static_cast<int>(KN_PS2Timer::m_ticksPerSecond / 1000);
    reset();
}

void IPerformanceTimer::start() {
    m_running = true;
    m_count.start = KN_PS2Timer::currentTick();
}

void IPerformanceTimer::stop() {
    m_running = false;
    m_count.stop = KN_PS2Timer::currentTick();
    m_count.total += m_count.stop - m_count.start;
    m_intervals += 1;
    m_intervals2 += 1;
}

void IPerformanceTimer::reset() {
    m_running = false;
    m_intervals = 0;
    m_intervals2 = 0;
    m_count = Count{};
}
