#include "kinetic/dynamics/world.h"

#include "kinetic/collide/timer_bank.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

void World::stepTo(float t, int n) {
    static int total = ITimerBank::getInstance().newTimer("Total");
    ITimerBank::getInstance().start(total);
    m_currentTime = t;
    for (Subspace* s : m_subspaces) s->stepTo(t, n);
    ITimerBank::getInstance().stop(total);
}

}  // namespace Kinetic
