#include "kinetic/dynamics/event_delegator.h"

#include <algorithm>

#include "kinetic/dynamics/event.h"
#include "kinetic/dynamics/event_callback.h"

namespace Kinetic {

void EventDelegator::registerCallbackObject(EventCallback* callback, int eventId) {
    std::vector<EventCallback*>& list = m_registeredCallbacks[eventId];
    if (std::find(list.begin(), list.end(), callback) == list.end()) list.push_back(callback);
}

void EventDelegator::raiseEvent(Event& e) {
    auto it = m_registeredCallbacks.find(e.m_eventID);
    if (it == m_registeredCallbacks.end()) return;
    // A copy: a callback may register further callbacks while being called.
    const std::vector<EventCallback*> callbacks = it->second;
    for (EventCallback* c : callbacks) c->receiveEvent(e);
}

}  // namespace Kinetic
