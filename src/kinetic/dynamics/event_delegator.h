// End of an event chain: hands each event to the callbacks registered for its id. Callbacks are called
// in the order they registered (not by address), so runs repeat exactly.
#pragma once

#include <map>
#include <vector>

#include "kinetic/dynamics/event_pipe.h"

namespace Kinetic {

class EventCallback;

class EventDelegator : public EventPipe {
public:
    // A second registration of the same callback for the same id has no effect.
    void registerCallbackObject(EventCallback* callback, int eventId);
    void raiseEvent(Event& e) override;

    std::map<int, std::vector<EventCallback*>> m_registeredCallbacks;  // not owned
};

}  // namespace Kinetic
