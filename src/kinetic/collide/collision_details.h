// A contact between two collidables, as the resolvers consume it.
#pragma once

#include "kinetic/collide/contact_point.h"

namespace Kinetic {

class Collidable;

struct CollisionDetails {
    Collidable* m_objectA = nullptr;
    Collidable* m_objectB = nullptr;
    ContactPoint m_contact;
    int m_group = 0;
};

}  // namespace Kinetic
