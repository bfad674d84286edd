// One contact resolved between two collidables; m_nrv (normal relative speed) is filled by the filter.
#pragma once

#include "kinetic/dynamics/event.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Collidable;

class CollisionEvent : public Event {
public:
    static constexpr int defaultID = 2;
    CollisionEvent() : Event(defaultID) {}

    Collidable* m_objectA = nullptr;
    Collidable* m_objectB = nullptr;
    Vector3 m_point;
    Vector3 m_normal;
    float m_nrv = 0.0f;
};

}  // namespace Kinetic
