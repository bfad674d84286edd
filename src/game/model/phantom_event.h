// What a phantom handler receives: the two collidables as in a collision event, plus whether the pair
// began (0) or stopped (1) overlapping. Its event id is the phantom penetration id, so a handler given
// a collision event can tell the two apart before it reads the state.
#pragma once

#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/phantom_penetration_event.h"

class CPhantomEvent : public Kinetic::CollisionEvent {
public:
    explicit CPhantomEvent(const Kinetic::PhantomPenetrationEvent& e) : m_state(e.m_state) {
        m_eventID = Kinetic::PhantomPenetrationEvent::defaultID;
        m_objectA = e.m_objectA;
        m_objectB = e.m_objectB;
    }

    // The phantom event's state carried by a collision event given to a phantom handler (a collision
    // event that did not come from a phantom counts as a beginning).
    static int StateOf(const Kinetic::CollisionEvent& e) {
        return e.m_eventID == Kinetic::PhantomPenetrationEvent::defaultID
                   ? static_cast<const CPhantomEvent&>(e).m_state
                   : Kinetic::PhantomPenetrationEvent::BEGAN;
    }

    int m_state;
};
