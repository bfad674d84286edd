// The collision detector's implementation object: the registered collidables (active, inactive, fixed),
// the tolerance, and the result lists of the last detection pass.
//
// This build keeps the registration, activity and result-list bookkeeping that the world step relies on;
// the broadphase and the pair tests that fill the result lists come with the narrowphase.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/collidable.h"
#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/kinetic_object.h"
#include "kinetic/collide/pair.h"

namespace Kinetic {

class Entity;
class EventPipe;
class RigidBody;

class InternalCollide : public KineticObject {
public:
    explicit InternalCollide(float tolerance) : m_tolerance(tolerance) {}
    ~InternalCollide() override;

    int onNotify(ReferenceObject* sender, int id, Message message) override;

    void addRigidBody(RigidBody* body);
    void activateEntity(Entity* entity);
    void deactivateEntity(Entity* entity);
    void resetCollisionLists();
    // One detection pass into the result lists (virtual so that a test can script what a pass finds).
    virtual void collide(bool flag);
    void rebuildInactivePhantomPairs() {}
    void firePhantomEvents() {}
    void handleNewInterpenetrations() {}

    float m_tolerance;
    // Contacts closer than this count as interpenetrations during a fast step; 0 outside one.
    float m_allowedPenetration = 0.0f;
    std::vector<Collidable*> m_activeList;
    std::vector<Collidable*> m_inactiveList;
    std::vector<Collidable*> m_fixedList;
    std::vector<CollisionDetails> m_RRCollisionList;
    std::vector<Pair<Collidable*>> m_interpenetrations;
    EventPipe* m_penetrationEventPipe = nullptr;

private:
    void moveEntity(Entity* entity, std::vector<Collidable*>& from, std::vector<Collidable*>& to);
};

}  // namespace Kinetic
