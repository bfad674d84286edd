// Forwards events to a member function of an application object (the game's model registers two).
#pragma once

#include "kinetic/dynamics/event_callback.h"

namespace Kinetic {

template <typename T>
class EventCallbackProxy : public EventCallback {
public:
    using Handler = void (T::*)(Event&);
    EventCallbackProxy(T* object, Handler handler) : m_object(object), m_handler(handler) {}
    void receiveEvent(Event& e) override { (m_object->*m_handler)(e); }

private:
    T* m_object;
    Handler m_handler;
};

}  // namespace Kinetic
