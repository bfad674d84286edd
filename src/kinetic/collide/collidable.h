// Everything that takes part in collision detection. Ids come from a counter and are never reused, so
// pair keys and orders built from them do not depend on where objects sit in memory.
#pragma once

#include <cstdint>

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/reference_object.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class Entity;
class SegmentTest;

// Powers of four, so that the sum of the two codes of a pair names the pair.
enum CDType : uint32_t {
    CD_UNKNOWN = 0,
    CD_GEOMETRIC = 4,
    CD_IMPLICIT = 16,
    CD_DEFORMABLE = 64,
    CD_HEIGHTFIELD = 256,
    CD_CXGEOMETRIC = 1024,
    CD_CXIMPLICIT = 4096,
};

class Collidable : public ReferenceObject {
public:
    ~Collidable() override = default;

    virtual bool intersectionTest(SegmentTest& test) const {
        (void)test;
        return false;
    }
    // Sets the world box and its centre for a detector of this tolerance, and acquires what the pair
    // tests need.
    virtual void precomputeCDinfo(float tolerance) = 0;

    CDType getType() const { return m_type; }
    Entity* getEntity() const { return m_entity; }
    uint32_t getID() const { return m_ID; }

    CDType m_type = CD_UNKNOWN;
    Entity* m_entity = nullptr;
    AABB m_AABB;
    Vector3 m_centre;
    uint32_t m_ID = 0;
    uint32_t m_collisionGroups = 0;
    uint8_t m_isPhantom = 0;

    static uint32_t m_nextFreeID;

protected:
    Collidable(CDType type, Entity* entity) : m_type(type), m_entity(entity), m_ID(m_nextFreeID++) {}
};

}  // namespace Kinetic
