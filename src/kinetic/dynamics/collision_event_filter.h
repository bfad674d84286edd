// Lets collision events through only for registered collidables, at a limited rate and above a minimum
// normal speed; the registered collidable is always reported as A. Registrations are keyed by the
// collidable's id, so a new collidable at a reused address does not inherit an old one's interest.
#pragma once

#include <cstdint>
#include <map>

#include "kinetic/dynamics/event_pair.h"
#include "kinetic/dynamics/filtered_event_pipe.h"

namespace Kinetic {

class Collidable;
class Subspace;

class CollisionEventFilter : public FilteredEventPipe {
public:
    CollisionEventFilter(EventPipe* child, const Subspace& subspace);
    ~CollisionEventFilter() override;

    void registerInterest(Collidable* a, Collidable* b, float frequency, float minSpeed, int eventId);
    int filter(Event& e) override;

private:
    struct Impl {
        const Subspace* m_subspace;
        std::map<uint32_t, EventPair*> m_pairs;  // by the registered collidable's id
    };
    Impl* m_impl;
};

}  // namespace Kinetic
