#include "kinetic/dynamics/toolkit.h"

#include <cmath>

#include "kinetic/collide/collision_detector.h"
#include "kinetic/dynamics/fast_subspace.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_body_monitor.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/world.h"

namespace Kinetic {

Toolkit::Toolkit(SimulationType type) {
    m_defaultWorld = new World();
    m_defaultSubspace = type == 0 ? new Subspace() : new FastSubspace();
    m_defaultWorld->addSubspace(m_defaultSubspace);
    m_defaultRigidCollection = new RigidCollection();
    m_defaultSubspace->addEntityCollection(m_defaultRigidCollection, false);
    m_defaultCollisionDetector = new CollisionDetector(0.1f);
    m_defaultSubspace->m_collisionDetector = m_defaultCollisionDetector;
    m_defaultMonitor = new RigidBodyMonitor();
    m_defaultSubspace->addStepAction(m_defaultMonitor);
    m_defaultCleanup = new KineticObjectCleanup();
    m_defaultCleanup->remember(m_defaultWorld);
    m_defaultCleanup->remember(m_defaultSubspace);
    m_defaultCleanup->remember(m_defaultRigidCollection);
    m_defaultCleanup->remember(m_defaultCollisionDetector);
    m_defaultCleanup->remember(m_defaultMonitor);
}

Toolkit::~Toolkit() {
    delete m_defaultCleanup;
}

void Toolkit::addRigidBody(RigidBody* body, const Vector3& position, const Quaternion& orientation) {
    const float l = std::sqrt(orientation.lengthSqrd());
    const Quaternion q(orientation.m_real / l, orientation.m_imag.x / l, orientation.m_imag.y / l,
                       orientation.m_imag.z / l);
    body->setDisplayToWorldTransform(position, q);
    m_defaultRigidCollection->addEntity(body);
    m_defaultCollisionDetector->addRigidBody(body);
    m_defaultCleanup->remember(body);
}

void Toolkit::removeRigidBody(RigidBody* body) {
    body->notifyDependants(ReferenceObject::MSG_DEATH);
    m_defaultCleanup->forget(body);
}

}  // namespace Kinetic
