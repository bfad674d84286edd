// Base of everything the engine reports during a step; raised on the stack and passed by reference.
#pragma once

namespace Kinetic {

class Event {
public:
    static constexpr int defaultID = 1;
    explicit Event(int id = defaultID) : m_eventID(id) {}
    virtual ~Event() = default;

    int m_eventID;
};

}  // namespace Kinetic
