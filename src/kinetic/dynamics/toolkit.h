// Builds and owns one simulation: world, subspace, default rigid collection, collision detector and
// monitor, plus every body added. The game builds one per race.
#pragma once

#include "kinetic/collide/kinetic_object_cleanup.h"
#include "kinetic/math/quaternion.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class CollisionDetector;
class RigidBody;
class RigidBodyMonitor;
class RigidCollection;
class Subspace;
class World;

class Toolkit {
public:
    // 0: a plain subspace with roll-back; anything else: a FastSubspace (the game passes 1).
    using SimulationType = int;

    explicit Toolkit(SimulationType type);
    virtual ~Toolkit();
    Toolkit(const Toolkit&) = delete;
    Toolkit& operator=(const Toolkit&) = delete;

    // Places the body at a pose (orientation normalised) and hands it to the simulation, which owns it.
    void addRigidBody(RigidBody* body, const Vector3& position, const Quaternion& orientation);
    // Takes the body out and hands ownership back to the caller. Its shapes stay registered with the
    // detector until the body is deleted, because a body may remove itself from inside an event.
    void removeRigidBody(RigidBody* body);

    World* m_defaultWorld;
    Subspace* m_defaultSubspace;
    RigidCollection* m_defaultRigidCollection;
    CollisionDetector* m_defaultCollisionDetector;
    RigidBodyMonitor* m_defaultMonitor;
    KineticObjectCleanup* m_defaultCleanup;
};

}  // namespace Kinetic
