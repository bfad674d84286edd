// What the application implements to receive events from the delegator.
#pragma once

#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class Event;

class EventCallback : public KineticObject {
public:
    virtual void receiveEvent(Event& e) = 0;
};

}  // namespace Kinetic
