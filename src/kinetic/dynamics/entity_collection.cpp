#include "kinetic/dynamics/entity_collection.h"

#include <algorithm>

#include "kinetic/dynamics/action.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

EntityCollection::EntityCollection(EntityType type) : m_type(type) {}

EntityCollection::~EntityCollection() {
    destroyReferences();
    EntityCollection::deallocatePreviousStates();
}

int EntityCollection::getNumReferences() const {
    return static_cast<int>(m_entities.size() + m_actionList.size());
}

ReferenceObject* EntityCollection::getReference(int i) const {
    if (i < 0) return nullptr;
    if (i < static_cast<int>(m_entities.size())) return m_entities[i];
    i -= static_cast<int>(m_entities.size());
    if (i < static_cast<int>(m_actionList.size())) return m_actionList[i].m_action;
    return nullptr;
}

int EntityCollection::onNotify(ReferenceObject* sender, int id, Message message) {
    if (message != MSG_DEATH) return 0;
    // The notice may come from a base destructor, so the sender is matched by address only.
    auto same = [sender](const ReferenceObject* p) { return p == sender; };
    if (id == REF_ENTITY) {
        auto it = std::find_if(m_entities.begin(), m_entities.end(), same);
        if (it != m_entities.end()) m_entities.erase(it);
        auto at = std::find_if(m_activeEntities.begin(), m_activeEntities.end(), same);
        if (at != m_activeEntities.end()) m_activeEntities.erase(at);
        init();
        sender->removeAllDependancy(this);
    } else if (id == REF_ACTION) {
        // An action added twice is registered twice but the first notice unregisters both entries, so
        // every item holding it goes now; none may be left pointing at a dead action.
        m_actionList.erase(
            std::remove_if(m_actionList.begin(), m_actionList.end(),
                           [sender](const ActionItem& item) { return item.m_action == sender; }),
            m_actionList.end());
        sender->removeAllDependancy(this);
    }
    return 0;
}

bool EntityCollection::rollBack() {
    m_currentState = 1 - m_currentState;
    Differentiable& d = *this;
    d.setStateFromArray(m_previousStates[m_currentState]);
    m_lastRefresh = m_previousTimestamps[m_currentState];
    return true;
}

void EntityCollection::allocatePreviousStates() {
    int total = 0;
    for (int i = 0; i < static_cast<int>(m_entities.size()); ++i) total += numVariables(i);
    for (int k = 0; k < 2; ++k) {
        m_previousStates[k].assignZero(total);
        m_previousDerivs[k].assignZero(total);
    }
}

void EntityCollection::deallocatePreviousStates() {
    for (int k = 0; k < 2; ++k) {
        m_previousStates[k].assignZero(0);
        m_previousDerivs[k].assignZero(0);
    }
}

void EntityCollection::evaluateActions(float t) {
    // Gravity and actions belong to a subspace; a collection not yet in one has nothing to evaluate.
    if (!m_parent) return;
    applyGravity(m_parent->getGravity());
    for (size_t i = 0; i < m_actionList.size(); ++i) {
        Action* a = m_actionList[i].m_action;
        a->apply(*m_parent, t);
        a->m_lastRefresh = t;
    }
}

void EntityCollection::init() {
    deallocatePreviousStates();
    allocatePreviousStates();
}

void EntityCollection::addEntity(Entity* e) {
    if (std::find(m_entities.begin(), m_entities.end(), e) != m_entities.end()) return;
    m_entities.push_back(e);
    e->m_collection = this;
    if (e->isActive()) m_activeEntities.push_back(e);
    e->addDependant(this, REF_ENTITY);
    init();
}

void EntityCollection::addAction(Action* action, int priority) {
    m_actionList.emplace_back(action, priority);
    std::stable_sort(m_actionList.begin(), m_actionList.end());
    action->addDependant(this, REF_ACTION);
}

void EntityCollection::removeAction(Action* action) {
    auto it = std::find_if(m_actionList.begin(), m_actionList.end(),
                           [action](const ActionItem& item) { return item.m_action == action; });
    if (it != m_actionList.end()) m_actionList.erase(it);
    std::stable_sort(m_actionList.begin(), m_actionList.end());
    action->removeAllDependancy(this);
}

void EntityCollection::rebuildActiveEntities() {
    m_activeEntities.clear();
    for (Entity* e : m_entities)
        if (e->isActive()) m_activeEntities.push_back(e);
}

void EntityCollection::refresh(float t) {
    m_lastRefresh = t;
    m_previousTimestamps[m_currentState] = t;
}

}  // namespace Kinetic
