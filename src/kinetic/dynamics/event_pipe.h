// A stage events travel through.
#pragma once

namespace Kinetic {

class Event;

class EventPipe {
public:
    virtual ~EventPipe() = default;
    virtual void raiseEvent(Event& e) = 0;
};

}  // namespace Kinetic
