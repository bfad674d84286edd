#include "kinetic/collide/timer_bank.h"

#include <cstring>

ITimerBank& ITimerBank::getInstance() {
    // Never freed: timers may be touched until the very end of the program.
    static ITimerBank* timerbank_instance = new ITimerBank();
    return *timerbank_instance;
}

int ITimerBank::newTimer(const char* name) {
    int index = static_cast<int>(m_timers.size());
    m_timers.emplace_back(name);
    return index;
}

int ITimerBank::findOrCreate(const char* name) {
    for (size_t i = 0; i < m_timers.size(); ++i)
        if (std::strcmp(m_timers[i].m_name, name) == 0) return static_cast<int>(i);
    return newTimer(name);
}
