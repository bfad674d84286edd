#include "kinetic/dynamics/fast_subspace.h"

#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/timer_bank.h"
#include "kinetic/dynamics/action.h"
#include "kinetic/dynamics/rigid_collection.h"

namespace Kinetic {

void FastSubspace::addEntityCollection(EntityCollection* c, bool atFront) {
    if (c->m_type != RIGIDBODY) return;
    Subspace::addEntityCollection(c, atFront);
    static_cast<RigidCollection*>(c)->setUsingFastSubspace(true);
}

float FastSubspace::tryStep(float t) {
    if (!m_collisionDetector) return Subspace::tryStep(t);
    if (t <= m_lastTime) return m_lastTime;
    InternalCollide* impl = m_collisionDetector->getImpl();
    const float d = t - m_lastTime;
    if (!m_active) {
        for (EntityCollection* c : m_entityCollections) c->refresh(t);
        m_lastTime = t;
        impl->m_allowedPenetration = 0.0f;
        return m_lastTime;
    }
    ITimerBank& bank = ITimerBank::getInstance();
    bank.start(dynamicsTimer());
    // Any contact closer than half the tolerance counts as an interpenetration in this step.
    impl->m_allowedPenetration = 0.5f * m_collisionDetector->getTolerance();
    resolve();
    m_midIntegration = 1;
    for (EntityCollection* c : m_entityCollections) c->update(m_lastTime + d);
    m_midIntegration = 0;
    for (Action* a : m_zOrderActions) a->apply(*this, m_lastTime + d);
    for (EntityCollection* c : m_entityCollections) c->updateBoundingVolumes();
    impl->rebuildInactivePhantomPairs();
    bank.stop(dynamicsTimer());
    bank.start(detectionTimer());
    if (detect(false)) resolveInterpenetrations();
    bank.stop(detectionTimer());
    bank.start(dynamicsTimer());
    // Gravity and actions accumulate the forces of the next integration.
    for (EntityCollection* c : m_entityCollections) c->evaluateActions(m_lastTime + d);
    impl->firePhantomEvents();
    m_lastTime += d;
    bank.stop(dynamicsTimer());
    impl->m_allowedPenetration = 0.0f;
    return m_lastTime;
}

}  // namespace Kinetic
