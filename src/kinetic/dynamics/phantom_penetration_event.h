// A phantom began (0) or stopped (1) overlapping another collidable.
#pragma once

#include "kinetic/dynamics/interpenetration_event.h"

namespace Kinetic {

class PhantomPenetrationEvent : public InterpenetrationEvent {
public:
    static constexpr int defaultID = 5;
    static constexpr int BEGAN = 0;
    static constexpr int ENDED = 1;
    PhantomPenetrationEvent() { m_eventID = defaultID; }

    int m_state = BEGAN;
};

}  // namespace Kinetic
