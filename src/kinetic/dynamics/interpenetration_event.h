// Two collidables found interpenetrating.
#pragma once

#include "kinetic/dynamics/event.h"

namespace Kinetic {

class Collidable;

class InterpenetrationEvent : public Event {
public:
    static constexpr int defaultID = 3;
    InterpenetrationEvent() : Event(defaultID) {}

    Collidable* m_objectA = nullptr;
    Collidable* m_objectB = nullptr;
};

}  // namespace Kinetic
