// Base of the collision resolvers: the tolerance of the last resolve and the pipe collision events go to.
#pragma once

#include <cfloat>

#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class EventPipe;

class Resolver : public KineticObject {
public:
    ~Resolver() override { notifyDependants(MSG_DEATH); }
    void setEventPipe(EventPipe* pipe) { m_eventPipe = pipe; }
    EventPipe* getEventPipe() const { return m_eventPipe; }

    float m_tolerance = FLT_MAX;
    EventPipe* m_eventPipe = nullptr;  // not owned
};

}  // namespace Kinetic
