// One registration of interest in collision events for collidable A (optionally only against B), with its
// rate limit, speed limit and the id given to passing events. Registrations for the same A chain.
#pragma once

namespace Kinetic {

class Collidable;

class EventPair {
public:
    EventPair(Collidable* a, Collidable* b, float interval, float minSpeed, int eventId)
        : m_objectA(a), m_objectB(b), m_interval(interval), m_minSpeed(minSpeed), m_eventID(eventId) {}
    ~EventPair() { delete m_next; }
    EventPair(const EventPair&) = delete;
    EventPair& operator=(const EventPair&) = delete;

    Collidable* m_objectA;
    Collidable* m_objectB;  // null: any collidable
    float m_interval;       // least time between two passed events
    float m_lastTime = 0.0f;
    float m_minSpeed;
    int m_eventID;
    EventPair* m_next = nullptr;  // owned
};

}  // namespace Kinetic
