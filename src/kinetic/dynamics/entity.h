// Base of every simulated object (the rigid body is the only kind): activity, fixed and pinned flags, the
// never-deactivate counter and the owning collection.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/kinetic_object.h"

namespace Kinetic {

class Collidable;
class EntityCollection;

enum EntityType { UNKNOWN = 0, RIGIDBODY = 1, HEIGHTFIELD = 2, OVERRUN = 3 };

class Entity : public KineticObject {
public:
    enum Flags : uint32_t { FIXED = 1u << 0, ACTIVE = 1u << 1, PINNED = 1u << 2 };

    Entity() = default;
    ~Entity() override = default;

    // Asking a fixed entity to become active does nothing; with notify the subspace (and so the collision
    // detector) learns of the change.
    virtual void setActive(bool active, bool notify);
    virtual void setFixed();
    virtual void setPinned(bool pinned);
    virtual void getCollidableList(std::vector<Collidable*>& out) { (void)out; }
    virtual void setStepPosition(float s) { (void)s; }

    // Counts requests to keep the entity awake; ignored for fixed or pinned entities.
    void setNeverDeactivate(bool b);

    bool isFixed() const { return (m_flags & FIXED) != 0; }
    bool isActive() const { return (m_flags & ACTIVE) != 0; }
    bool isPinned() const { return (m_flags & PINNED) != 0; }
    EntityCollection* getCollection() const { return m_collection; }

    float m_stepPosition = 1.0f;
    uint32_t m_flags = ACTIVE;
    int m_neverDeactivate = 0;
    float m_timeStamp = 0.0f;
    EntityCollection* m_collection = nullptr;
    void* m_userInfo = nullptr;
};

}  // namespace Kinetic
