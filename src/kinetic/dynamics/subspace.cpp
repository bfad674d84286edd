#include "kinetic/dynamics/subspace.h"

#include <algorithm>

#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/timer_bank.h"
#include "kinetic/dynamics/action.h"
#include "kinetic/dynamics/complex_friction_rr_resolver.h"
#include "kinetic/dynamics/entity_collection.h"
#include "kinetic/dynamics/event_delegator.h"
#include "kinetic/dynamics/naive_resolver.h"
#include "kinetic/dynamics/rr_resolver.h"
#include "kinetic/dynamics/simple_friction_rr_resolver.h"
#include "kinetic/dynamics/spatial_deactivator.h"
#include "kinetic/dynamics/step_action.h"

namespace Kinetic {

namespace {

// A collection may have been added twice; after its death no entry may be left pointing at it.
template <typename T>
void eraseAll(std::vector<T*>& list, const ReferenceObject* obj) {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [obj](T* p) { return static_cast<const ReferenceObject*>(p) == obj; }),
               list.end());
}

}  // namespace

int Subspace::dynamicsTimer() {
    static int index = ITimerBank::getInstance().newTimer("Dynamics");
    return index;
}

int Subspace::detectionTimer() {
    static int index = ITimerBank::getInstance().newTimer("Detection");
    return index;
}

Subspace::Subspace() {
    setRRResolverType(COMPLEXFRICTION);
    m_eventDelegator = new EventDelegator();
    m_deactivator = new SpatialDeactivator(5.0f, 0.1f);
    addStepAction(m_deactivator);
}

Subspace::~Subspace() {
    destroyReferences();
    notifyDependants(MSG_DEATH);
    delete m_eventDelegator;
    delete m_RRResolver;
    delete m_deactivator;
    m_eventDelegator = nullptr;
    m_RRResolver = nullptr;
    m_deactivator = nullptr;
}

int Subspace::getNumReferences() const {
    return static_cast<int>(m_entityCollections.size() + m_zOrderActions.size() + m_stepActions.size());
}

ReferenceObject* Subspace::getReference(int i) const {
    if (i < 0) return nullptr;
    if (i < static_cast<int>(m_entityCollections.size())) return m_entityCollections[i];
    i -= static_cast<int>(m_entityCollections.size());
    if (i < static_cast<int>(m_zOrderActions.size())) return m_zOrderActions[i];
    i -= static_cast<int>(m_zOrderActions.size());
    if (i < static_cast<int>(m_stepActions.size())) return m_stepActions[i];
    return nullptr;
}

int Subspace::onNotify(ReferenceObject* sender, int id, Message message) {
    if (message != MSG_DEATH) return 0;
    if (id == REF_COLLECTION)
        eraseAll(m_entityCollections, sender);
    else if (id == REF_ZORDER)
        eraseAll(m_zOrderActions, sender);
    else if (id == REF_STEP_ACTION)
        eraseAll(m_stepActions, sender);
    else
        return 0;
    sender->removeAllDependancy(this);
    return 0;
}

void Subspace::addEntityCollection(EntityCollection* c, bool atFront) {
    c->setSubspace(this);
    m_entityCollections.push_back(c);
    c->addDependant(this, REF_COLLECTION);
    if (atFront)
        std::rotate(m_entityCollections.begin(), m_entityCollections.end() - 1, m_entityCollections.end());
}

void Subspace::addStepAction(StepAction* a) {
    if (std::find(m_stepActions.begin(), m_stepActions.end(), a) != m_stepActions.end()) return;
    m_stepActions.push_back(a);
    a->addDependant(this, REF_STEP_ACTION);
}

void Subspace::addZOrderAction(Action* a) {
    m_zOrderActions.push_back(a);
    a->addDependant(this, REF_ZORDER);
}

void Subspace::registerCallbackObject(EventCallback* callback, int eventId) {
    m_eventDelegator->registerCallbackObject(callback, eventId);
}

void Subspace::setPenetrationEventPipe(EventPipe* pipe) {
    if (m_collisionDetector) m_collisionDetector->setPenetrationEventPipe(pipe);
}

void Subspace::setRRResolverType(RRResolverType type) {
    if (type < NAIVE || type > COMPLEXFRICTION) return;
    RRResolver* fresh = nullptr;
    switch (type) {
        case NAIVE:
            fresh = new NaiveResolver();
            break;
        case FRICTIONLESS:
            fresh = new FrictionlessRRResolver();
            break;
        case SIMPLEFRICTION:
            fresh = new SimpleFrictionRRResolver();
            break;
        default:
            fresh = new ComplexFrictionRRResolver();
            break;
    }
    m_RRResolverType = type;
    delete m_RRResolver;
    m_RRResolver = fresh;
}

void Subspace::setEntityActive(Entity* entity, bool active) {
    if (!m_collisionDetector) return;
    if (active)
        m_collisionDetector->getImpl()->activateEntity(entity);
    else
        m_collisionDetector->getImpl()->deactivateEntity(entity);
}

bool Subspace::detect(bool flag) {
    if (!m_collisionDetector) return false;
    m_collisionDetector->resetCollisionLists();
    m_collisionDetector->collide(flag);
    return !m_collisionDetector->getInterpenetrations().empty();
}

void Subspace::resolve() {
    if (m_RRResolver && m_collisionDetector)
        m_RRResolver->resolve(m_collisionDetector->getRRCollisionList(), m_collisionDetector->getTolerance());
}

void Subspace::applyStepActions() {
    // Index loop: a step action may die (and leave the list) while the list is walked.
    for (size_t i = 0; i < m_stepActions.size(); ++i) m_stepActions[i]->stepApply(*this, m_lastTime);
}

void Subspace::stepTo(float t, int n) {
    if (n > 0) {
        m_deltaT = (t - m_lastTime) / static_cast<float>(n);
        for (int i = 0; i < n; ++i) tryStep(m_lastTime + m_deltaT);
    }
    applyStepActions();
}

float Subspace::tryStep(float t) {
    float d = t - m_lastTime;
    int tries = 0;
    if (t <= m_lastTime) return m_lastTime;
    if (!m_active) {
        for (EntityCollection* c : m_entityCollections) c->refresh(t);
        m_lastTime = t;
        return m_lastTime;
    }
    ITimerBank& bank = ITimerBank::getInstance();
    bank.start(dynamicsTimer());
    InternalCollide* impl = m_collisionDetector ? m_collisionDetector->getImpl() : nullptr;
    if (impl) impl->rebuildInactivePhantomPairs();
    float h = m_collisionDetector ? m_collisionDetector->getTolerance() : 0.0f;
    for (;;) {
        resolve();
        bool interpenetrating;
        for (;;) {
            if (impl) {
                h *= 0.5f;
                impl->m_allowedPenetration = h;
            }
            m_midIntegration = 1;
            for (EntityCollection* c : m_entityCollections) c->update(m_lastTime + d);
            m_midIntegration = 0;
            for (Action* a : m_zOrderActions) a->apply(*this, m_lastTime + d);
            for (EntityCollection* c : m_entityCollections) c->updateBoundingVolumes();
            bank.stop(dynamicsTimer());
            bank.start(detectionTimer());
            interpenetrating = detect(false);
            bank.stop(detectionTimer());
            bank.start(dynamicsTimer());
            if (interpenetrating && d > 1e-5f && tries < 30) {
                for (EntityCollection* c : m_entityCollections) c->rollBack();
                d *= 0.5f;
                if (d < 1e-5f) d = 1e-5f;
                ++tries;
                continue;
            }
            break;
        }
        if (interpenetrating && impl) {
            m_collisionDetector->resetCollisionLists();
            m_collisionDetector->collide(false);
            (void)m_collisionDetector->getInterpenetrations();
            impl->handleNewInterpenetrations();
        }
        for (EntityCollection* c : m_entityCollections) c->evaluateActions(m_lastTime + d);
        m_lastTime += d;
        d = t - m_lastTime;
        if (d < 1e-5f) m_lastTime = t;
        if (m_lastTime < t) continue;
        break;
    }
    if (impl) impl->firePhantomEvents();
    bank.stop(dynamicsTimer());
    return m_lastTime;
}

}  // namespace Kinetic
