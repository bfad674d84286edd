#include "kinetic/collide/internal_collide.h"

#include <algorithm>

#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

bool eraseFrom(std::vector<Collidable*>& list, const Collidable* c) {
    auto it = std::find(list.begin(), list.end(), c);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

}  // namespace

InternalCollide::~InternalCollide() {
    // Let go of every collidable still registered.
    for (auto* list : {&m_activeList, &m_inactiveList, &m_fixedList})
        for (Collidable* c : *list) c->removeAllDependancy(this);
}

int InternalCollide::onNotify(ReferenceObject* sender, int id, Message message) {
    (void)id;
    if (message != MSG_DEATH) return 0;
    auto* c = static_cast<Collidable*>(sender);
    if (!eraseFrom(m_activeList, c) && !eraseFrom(m_inactiveList, c)) eraseFrom(m_fixedList, c);
    return 0;
}

void InternalCollide::addRigidBody(RigidBody* body) {
    std::vector<Collidable*> list;
    body->getCollidableList(list);
    for (Collidable* c : list) {
        c->precomputeCDinfo(m_tolerance);
        c->addDependant(this, 0);
        if (body->isFixed())
            m_fixedList.push_back(c);
        else if (body->isActive())
            m_activeList.push_back(c);
        else
            m_inactiveList.push_back(c);
    }
}

void InternalCollide::moveEntity(Entity* entity, std::vector<Collidable*>& from,
                                 std::vector<Collidable*>& to) {
    std::vector<Collidable*> list;
    entity->getCollidableList(list);
    for (Collidable* c : list)
        if (eraseFrom(from, c)) to.push_back(c);
}

void InternalCollide::activateEntity(Entity* entity) {
    moveEntity(entity, m_inactiveList, m_activeList);
}

void InternalCollide::deactivateEntity(Entity* entity) {
    moveEntity(entity, m_activeList, m_inactiveList);
}

void InternalCollide::resetCollisionLists() {
    m_RRCollisionList.clear();
    m_interpenetrations.clear();
}

void InternalCollide::collide(bool flag) {
    (void)flag;
    // No pair tests are registered yet, so a pass finds no contacts and no interpenetrations.
}

}  // namespace Kinetic
