// Rigid-rigid collision resolver: works on the contacts of the last detection pass and raises one
// collision event per contact on its event pipe.
//
// This build only keeps the resolver's kind and its pipe: the contacts are found, but the impulse solvers
// of the four kinds come with the collision response.
#pragma once

#include <vector>

#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class EventPipe;

class RRResolver : public KineticObject {
public:
    // Same numbering as Subspace::RRResolverType.
    explicit RRResolver(int kind) : m_kind(kind) {}
    virtual void resolve(std::vector<CollisionDetails>& contacts, float tolerance) {
        (void)contacts;
        (void)tolerance;
    }
    void setEventPipe(EventPipe* pipe) { m_eventPipe = pipe; }
    EventPipe* getEventPipe() const { return m_eventPipe; }
    int getKind() const { return m_kind; }

protected:
    int m_kind;
    EventPipe* m_eventPipe = nullptr;
};

}  // namespace Kinetic
