// Passes an event on to its child unless filter() drops it (nonzero).
#pragma once

#include "kinetic/dynamics/event_pipe.h"

namespace Kinetic {

class FilteredEventPipe : public EventPipe {
public:
    explicit FilteredEventPipe(EventPipe* child) : m_childPipe(child) {}
    void raiseEvent(Event& e) override {
        if (filter(e) == 0 && m_childPipe) m_childPipe->raiseEvent(e);
    }
    virtual int filter(Event& e) = 0;

    EventPipe* m_childPipe;  // not owned
};

}  // namespace Kinetic
