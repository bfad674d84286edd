#include "game/model/dynamic_object.h"

CDynamicObject::CDynamicObject() = default;

CDynamicObject::CDynamicObject(int id) : CBoundingModelObject(id) {}

void CDynamicObject::collisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}

void CDynamicObject::phantomCollisionHandler(CModelObject*, const Kinetic::CollisionEvent&) {}
