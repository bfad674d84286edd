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
    ~CollisionDetector() override {
        delete m_impl;
        m_impl = nullptr;
        notifyDependants(MSG_DEATH);
    }

    float getTolerance() const { return m_impl->m_tolerance; }
    void addRigidBody(RigidBody* body) { m_impl->addRigidBody(body); }
    void resetCollisionLists() { m_impl->resetCollisionLists(); }
    void collide(bool stopAtNewPenetration) { m_impl->collide(stopAtNewPenetration); }
    void collideSet(const std::vector<RigidBody*>& bodies, PairList& interpenetrations,
                    std::vector<CollisionDetails>& details, PairList& phantoms) {
        m_impl->collideSet(bodies, interpenetrations, details, phantoms);
    }
    void collidePair(const RigidBody* a, const RigidBody* b, bool& interpenetrating,
                     std::vector<CollisionDetails>& details) {
        m_impl->collidePair(a, b, interpenetrating, details);
    }
    void enableCollisionGroups(unsigned g1, unsigned g2) { m_impl->enableCollisionGroups(g1, g2); }
    void disableCollisionGroups(unsigned g1, unsigned g2) { m_impl->disableCollisionGroups(g1, g2); }
    const PairList& getInterpenetrations() const { return m_impl->m_interpenetrations; }
    std::vector<CollisionDetails>& getRRCollisionList() { return m_impl->m_RRCollisionList; }
    PairList& getPhantomPenetrations() { return m_impl->m_phantomPenetrations; }
    void setPenetrationEventPipe(EventPipe* pipe) { m_impl->setPenetrationEventPipe(pipe); }
    InternalCollide* getImpl() const { return m_impl; }

private:
    InternalCollide* m_impl;
};

}  // namespace Kinetic
