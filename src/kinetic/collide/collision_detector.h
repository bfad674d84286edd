// Facade of the collision detector a subspace owns; the work is done by its InternalCollide.
#pragma once

#include <vector>

#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/internal_collide.h"
#include "kinetic/collide/kinetic_object.h"
#include "kinetic/collide/pair.h"

namespace Kinetic {

class EventPipe;
class RigidBody;

class CollisionDetector : public KineticObject {
public:
    explicit CollisionDetector(float tolerance) : m_impl(new InternalCollide(tolerance)) {}
    // Takes ownership of a given implementation.
    explicit CollisionDetector(InternalCollide* impl) : m_impl(impl) {}
    ~CollisionDetector() override { delete m_impl; }

    float getTolerance() const { return m_impl->m_tolerance; }
    void addRigidBody(RigidBody* body) { m_impl->addRigidBody(body); }
    void resetCollisionLists() { m_impl->resetCollisionLists(); }
    void collide(bool flag) { m_impl->collide(flag); }
    const std::vector<Pair<Collidable*>>& getInterpenetrations() const { return m_impl->m_interpenetrations; }
    std::vector<CollisionDetails>& getRRCollisionList() { return m_impl->m_RRCollisionList; }
    void setPenetrationEventPipe(EventPipe* pipe) { m_impl->m_penetrationEventPipe = pipe; }
    InternalCollide* getImpl() const { return m_impl; }

private:
    InternalCollide* m_impl;
};

}  // namespace Kinetic
