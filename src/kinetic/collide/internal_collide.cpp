#include "kinetic/collide/internal_collide.h"

#include <algorithm>

#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/dynamics/entity.h"
#include "kinetic/dynamics/event_pipe.h"
#include "kinetic/dynamics/interpenetration_event.h"
#include "kinetic/dynamics/phantom_penetration_event.h"
#include "kinetic/dynamics/rigid_body.h"

namespace Kinetic {

namespace {

bool holds(const CollidablePair& p, const Collidable* c) {
    return p.m_first == c || p.m_second == c;
}

bool samePair(const CollidablePair& p, const CollidablePair& q) {
    return (p.m_first == q.m_first && p.m_second == q.m_second) ||
           (p.m_first == q.m_second && p.m_second == q.m_first);
}

void erasePairsHolding(PairList& list, const Collidable* c) {
    list.erase(std::remove_if(list.begin(), list.end(), [c](const CollidablePair& p) { return holds(p, c); }),
               list.end());
}

template <typename T>
void eraseAll(std::vector<T*>& list, const T* x) {
    list.erase(std::remove(list.begin(), list.end(), x), list.end());
}

template <typename T>
void appendOnce(std::vector<T*>& list, T* x) {
    if (std::find(list.begin(), list.end(), x) == list.end()) list.push_back(x);
}

bool listed(const std::vector<Collidable*>& list, const Collidable* c) {
    return std::find(list.begin(), list.end(), c) != list.end();
}

}  // namespace

bool containsPair(const PairList& list, const CollidablePair& p) {
    for (const CollidablePair& q : list)
        if (samePair(p, q)) return true;
    return false;
}

InternalCollide::InternalCollide(float tolerance) : m_tolerance(tolerance) {}

InternalCollide::~InternalCollide() {
    for (auto* list : {&m_activeList, &m_inactiveList, &m_fixedList})
        for (Collidable* c : *list) c->removeAllDependancy(this);
    notifyDependants(MSG_DEATH);
}

int InternalCollide::onNotify(ReferenceObject* sender, int id, Message message) {
    (void)id;
    if (message == MSG_DEATH) remove(static_cast<Collidable*>(sender));
    return 0;
}

void InternalCollide::addRigidBody(RigidBody* body) {
    std::vector<Collidable*> list;
    body->getCollidableList(list);
    for (Collidable* c : list) add(c);
}

void InternalCollide::add(Collidable* c) {
    const Entity* e = c->m_entity;
    const bool fixed = e && e->isFixed();
    if (fixed ? listed(m_fixedList, c) : (listed(m_inactiveList, c) || listed(m_activeList, c))) return;
    c->precomputeCDinfo(m_tolerance);
    m_fixedExtentsValid = false;
    if (fixed)
        m_fixedList.push_back(c);
    else if (e && e->isActive())
        m_activeList.push_back(c);
    else {
        m_inactiveList.push_back(c);
        m_inactiveExtentsDirty = true;
    }
    if (!c->checkCycle(this)) c->addDependant(this, 0);
}

void InternalCollide::remove(Collidable* c) {
    m_fixedExtentsValid = false;
    eraseAll(m_fixedList, c);
    eraseAll(m_inactiveList, c);
    eraseAll(m_activeList, c);
    for (PairList* l : {&m_sleepingPairs, &m_deactivationPairs, &m_badList, &m_badThisPass, &m_pairList})
        erasePairsHolding(*l, c);
    if (c->m_entity) {
        // Another collidable of the same entity may still be registered; the entity lists only steer
        // which lists are brought up to date, so dropping it is harmless.
        eraseAll(m_activatedEntities, c->m_entity);
        eraseAll(m_deactivatedEntities, c->m_entity);
    }
    for (auto* ext : {&m_fixedExtents, &m_activeExtents, &m_inactiveExtents})
        ext->erase(
            std::remove_if(ext->begin(), ext->end(), [c](const Extent& x) { return x.m_collidable == c; }),
            ext->end());
    m_RRCollisionList.erase(
        std::remove_if(m_RRCollisionList.begin(), m_RRCollisionList.end(),
                       [c](const CollisionDetails& d) { return d.m_objectA == c || d.m_objectB == c; }),
        m_RRCollisionList.end());
    for (PairList* l :
         {&m_interpenetrations, &m_phantomPenetrations, &m_previousPhantoms, &m_inactivePhantoms})
        erasePairsHolding(*l, c);
    c->removeAllDependancy(this);
}

// ---- lists and broadphase ----

void InternalCollide::moveCollidables(std::vector<Collidable*>& from, std::vector<Collidable*>& to,
                                      bool toActive) {
    size_t i = 0;
    while (i < from.size()) {
        Collidable* c = from[i];
        const bool active = c->m_entity && c->m_entity->isActive();
        if (active == toActive) {
            to.push_back(c);
            from[i] = from.back();  // the moved-in element is examined next
            from.pop_back();
            m_inactiveExtentsDirty = true;
        } else {
            ++i;
        }
    }
}

void InternalCollide::updateLists(bool wake, bool sleep) {
    if (wake) moveCollidables(m_inactiveList, m_activeList, true);
    if (sleep) moveCollidables(m_activeList, m_inactiveList, false);
}

void InternalCollide::buildExt(const std::vector<Collidable*>& list, std::vector<Extent>& out) {
    out.clear();
    out.reserve(list.size());
    // The sweep axis is x.
    for (Collidable* c : list) out.push_back({c->m_AABB.m_min.x, c->m_AABB.m_max.x, c});
}

void InternalCollide::sort(std::vector<Extent>& ext) {
    // By the interval's minimum; equal minima by id, so the order never depends on list history.
    std::sort(ext.begin(), ext.end(), [](const Extent& a, const Extent& b) {
        if (a.m_min != b.m_min) return a.m_min < b.m_min;
        return a.m_collidable->m_ID < b.m_collidable->m_ID;
    });
}

void InternalCollide::initAABB() {
    buildExt(m_fixedList, m_fixedExtents);
    sort(m_fixedExtents);
    m_fixedExtentsValid = true;
    m_inactiveExtentsDirty = true;
}

void InternalCollide::aabbSweep() {
    if (!m_fixedExtentsValid) initAABB();
    sweep();
}

void InternalCollide::sweep() {
    buildExt(m_activeList, m_activeExtents);
    sort(m_activeExtents);
    if (m_inactiveExtentsDirty) {
        buildExt(m_inactiveList, m_inactiveExtents);
        sort(m_inactiveExtents);
        m_inactiveExtentsDirty = false;
    }
    const size_t na = m_activeExtents.size(), ni = m_inactiveExtents.size(), nf = m_fixedExtents.size();
    size_t ic = 0, fc = 0;
    for (size_t i = 0; i < na; ++i) {
        const Extent& a = m_activeExtents[i];
        for (size_t j = i + 1; j < na && m_activeExtents[j].m_min <= a.m_max; ++j)
            possible(a.m_collidable, m_activeExtents[j].m_collidable);
        while (ic < ni && m_inactiveExtents[ic].m_max < a.m_min) ++ic;
        for (size_t j = ic; j < ni && m_inactiveExtents[j].m_min < a.m_max; ++j)
            possible(a.m_collidable, m_inactiveExtents[j].m_collidable);
        while (fc < nf && m_fixedExtents[fc].m_max < a.m_min) ++fc;
        for (size_t j = fc; j < nf && m_fixedExtents[j].m_min < a.m_max; ++j)
            possible(a.m_collidable, m_fixedExtents[j].m_collidable);
    }
}

void InternalCollide::sweep(const std::vector<Collidable*>& set) {
    std::vector<Extent> local;
    buildExt(set, local);
    sort(local);
    if (!m_fixedExtentsValid) initAABB();
    if (m_inactiveExtentsDirty) {
        buildExt(m_inactiveList, m_inactiveExtents);
        sort(m_inactiveExtents);
        m_inactiveExtentsDirty = false;
    }
    const size_t ns = local.size(), na = m_activeExtents.size(), ni = m_inactiveExtents.size(),
                 nf = m_fixedExtents.size();
    size_t ac = 0, ic = 0, fc = 0;
    for (size_t i = 0; i < ns; ++i) {
        const Extent& a = local[i];
        for (size_t j = i + 1; j < ns && local[j].m_min <= a.m_max; ++j)
            possible(a.m_collidable, local[j].m_collidable);
        while (ac < na && m_activeExtents[ac].m_max < a.m_min) ++ac;
        for (size_t j = ac; j < na && m_activeExtents[j].m_min <= a.m_max; ++j)
            if (!listed(set, m_activeExtents[j].m_collidable))
                possible(a.m_collidable, m_activeExtents[j].m_collidable);
        // Members of the set are paired by the first scan already; meeting a resting member again here
        // would test the pair twice and report its contacts twice.
        while (ic < ni && m_inactiveExtents[ic].m_max < a.m_min) ++ic;
        for (size_t j = ic; j < ni && m_inactiveExtents[j].m_min < a.m_max; ++j)
            if (!listed(set, m_inactiveExtents[j].m_collidable))
                possible(a.m_collidable, m_inactiveExtents[j].m_collidable);
        while (fc < nf && m_fixedExtents[fc].m_max < a.m_min) ++fc;
        for (size_t j = fc; j < nf && m_fixedExtents[j].m_min < a.m_max; ++j)
            if (!listed(set, m_fixedExtents[j].m_collidable))
                possible(a.m_collidable, m_fixedExtents[j].m_collidable);
    }
}

CollidablePair InternalCollide::canonical(Collidable* a, Collidable* b) {
    if (a->m_type != b->m_type) return a->m_type > b->m_type ? CollidablePair(a, b) : CollidablePair(b, a);
    return a->m_ID > b->m_ID ? CollidablePair(a, b) : CollidablePair(b, a);
}

void InternalCollide::possible(Collidable* a, Collidable* b) {
    if (isPossibleCollision(a, b)) m_pairList.push_back(canonical(a, b));
}

bool InternalCollide::isPossibleCollision(Collidable* a, Collidable* b) const {
    if (a->m_entity == b->m_entity) return false;
    const bool activeA = a->m_entity && a->m_entity->isActive();
    const bool activeB = b->m_entity && b->m_entity->isActive();
    if (!activeA && !activeB) return false;
    if (!a->m_AABB.overlaps(b->m_AABB)) return false;
    if (a->m_type == CD_CXGEOMETRIC && b->m_type == CD_CXGEOMETRIC) {
        const auto* ga = static_cast<const GeometricPrimitive*>(a);
        const auto* gb = static_cast<const GeometricPrimitive*>(b);
        if (ga->m_OBB && gb->m_OBB) {
            const Transform bToA = ga->m_OBB->m_BVToBodyTransform.getInverse() *
                                   ga->getWorldToBodyTransform() * gb->getBodyToWorldTransform() *
                                   gb->m_OBB->m_BVToBodyTransform;
            if (ga->m_OBB->isDisjointFrom(bToA, ga->m_OBB->m_extent, gb->m_OBB->m_extent, m_tolerance))
                return false;
        }
    }
    if (a->m_collisionGroups != 0 && b->m_collisionGroups != 0 &&
        !areInteracting(a->m_collisionGroups, b->m_collisionGroups))
        return false;
    return true;
}

// ---- groups ----

void InternalCollide::enableCollisionGroups(unsigned g1, unsigned g2) {
    if (g1 == 0 || g1 > 32 || g2 == 0 || g2 > 32) return;
    m_groupMasks[g1 - 1] |= 1u << (g2 - 1);
    m_groupMasks[g2 - 1] |= 1u << (g1 - 1);
}

void InternalCollide::disableCollisionGroups(unsigned g1, unsigned g2) {
    if (g1 == 0 || g1 > 32 || g2 == 0 || g2 > 32) return;
    m_groupMasks[g1 - 1] &= ~(1u << (g2 - 1));
    m_groupMasks[g2 - 1] &= ~(1u << (g1 - 1));
}

bool InternalCollide::areInteracting(uint32_t s1, uint32_t s2) const {
    uint32_t mask = 0;
    for (int g = 0; g < 32; ++g)
        if (s1 & (1u << g)) mask |= m_groupMasks[g];
    return (mask & s2) != 0;
}

// ---- passes ----

void InternalCollide::resetCollisionLists() {
    m_interpenetrations.clear();
    m_RRCollisionList.clear();
    m_phantomPenetrations.clear();
}

void InternalCollide::collide(bool stopAtNewPenetration) {
    if (m_activeList.empty()) return;
    m_pairList.clear();
    aabbSweep();
    m_GJKCache.newStep();
    m_badThisPass.clear();
    dispatch(m_pairList, m_interpenetrations, m_RRCollisionList, m_phantomPenetrations, stopAtNewPenetration);
    m_pairList.clear();
    updateActivations(m_RRCollisionList);
    dispatch(m_pairList, m_interpenetrations, m_RRCollisionList, m_phantomPenetrations, stopAtNewPenetration);
    if (m_interpenetrations.empty()) {
        // A known interpenetration not met again in this pass is over.
        PairList kept;
        for (const CollidablePair& p : m_badList)
            if (containsPair(m_badThisPass, p)) kept.push_back(p);
        m_badList.swap(kept);
    }
}

void InternalCollide::dispatch(PairList& list, PairList& inter, std::vector<CollisionDetails>& details,
                               PairList& phantoms, bool stop) {
    // The pair tests never touch the candidate list, so it can be walked in place.
    for (size_t n = 0; n < list.size(); ++n) {
        const CollidablePair p = list[n];
        const size_t nd = details.size();
        const size_t ni = inter.size();
        pairDispatch(*p.m_first, *p.m_second, inter, phantoms, details);
        const bool known = containsPair(m_badList, p);
        if (stop) {
            if (!inter.empty()) {
                if (!known) return;
                if (!containsPair(m_badThisPass, p)) m_badThisPass.push_back(p);
                inter.clear();
            }
            for (size_t k = nd; k < details.size(); ++k) {
                if (!(details[k].m_contact.m_distance < m_allowedPenetration)) continue;
                if (!known) {
                    inter.emplace_back(details.back().m_objectA, details.back().m_objectB);
                    return;
                }
                if (!containsPair(m_badThisPass, p)) m_badThisPass.push_back(p);
            }
            if (!inter.empty()) return;
        } else {
            for (size_t k = ni; k < inter.size();) {
                if (containsPair(m_badList, inter[k])) {
                    m_badThisPass.push_back(inter[k]);
                    inter[k] = inter.back();
                    inter.pop_back();
                } else {
                    ++k;
                }
            }
            for (size_t k = nd; k < details.size(); ++k)
                if (details[k].m_contact.m_distance < m_allowedPenetration && !containsPair(inter, p))
                    inter.push_back(p);
        }
    }
}

namespace {

float largerStepPosition(const Collidable* a, const Collidable* b) {
    const float sa = a->m_entity ? a->m_entity->m_stepPosition : 0.0f;
    const float sb = b->m_entity ? b->m_entity->m_stepPosition : 0.0f;
    return std::max(sa, sb);
}

}  // namespace

void InternalCollide::collideSet(const std::vector<RigidBody*>& bodies, PairList& inter,
                                 std::vector<CollisionDetails>& details, PairList& phantoms) {
    if (m_activeList.empty()) return;
    m_pairList.clear();
    std::vector<Collidable*> set;
    for (RigidBody* b : bodies) b->getCollidableList(set);
    sweep(set);
    m_GJKCache.newStep();
    m_badThisPass.clear();
    for (size_t n = 0; n < m_pairList.size(); ++n) {
        const CollidablePair p = m_pairList[n];
        const size_t nd = details.size();
        pairDispatch(*p.m_first, *p.m_second, inter, phantoms, details);
        const float allowed = m_allowedPenetration * largerStepPosition(p.m_first, p.m_second);
        for (size_t k = nd; k < details.size(); ++k)
            if (details[k].m_contact.m_distance < allowed && !containsPair(inter, p)) inter.push_back(p);
    }
}

void InternalCollide::collidePair(const RigidBody* a, const RigidBody* b, bool& interpenetrating,
                                  std::vector<CollisionDetails>& details) {
    interpenetrating = false;
    if (m_activeList.empty()) return;
    m_pairList.clear();
    std::vector<Collidable*> ca, cb;
    const_cast<RigidBody*>(a)->getCollidableList(ca);
    const_cast<RigidBody*>(b)->getCollidableList(cb);
    for (Collidable* x : ca)
        for (Collidable* y : cb)
            if (isPossibleCollision(x, y)) m_pairList.push_back(canonical(x, y));
    if (m_pairList.empty()) return;
    m_GJKCache.newStep();
    m_badThisPass.clear();
    PairList inter, phantoms;
    for (size_t n = 0; n < m_pairList.size(); ++n) {
        const CollidablePair p = m_pairList[n];
        const size_t nd = details.size();
        pairDispatch(*p.m_first, *p.m_second, inter, phantoms, details);
        const float allowed = m_allowedPenetration * largerStepPosition(p.m_first, p.m_second);
        for (size_t k = nd; k < details.size(); ++k)
            if (details[k].m_contact.m_distance < allowed && !containsPair(inter, p)) inter.push_back(p);
    }
    interpenetrating = !inter.empty();
}

// ---- bad list, sleep and waking ----

void InternalCollide::addToBadList(const CollidablePair& p) {
    if (!containsPair(m_badList, p)) m_badList.push_back(p);
}

void InternalCollide::handleNewInterpenetrations() {
    for (const CollidablePair& p : m_interpenetrations) {
        addToBadList(p);
        if (m_penetrationEventPipe) {
            InterpenetrationEvent e;
            e.m_objectA = p.m_first;
            e.m_objectB = p.m_second;
            m_penetrationEventPipe->raiseEvent(e);
        }
    }
}

void InternalCollide::deactivateEntity(Entity* e) {
    appendOnce(m_deactivatedEntities, e);
    m_deactivationPairs.clear();
    for (const CollisionDetails& d : m_RRCollisionList) {
        const CollidablePair p(d.m_objectA, d.m_objectB);
        if (containsPair(m_deactivationPairs, p)) continue;
        const Entity* ea = d.m_objectA->m_entity;
        const Entity* eb = d.m_objectB->m_entity;
        if ((ea == e && eb && !eb->isActive()) || (eb == e && ea && !ea->isActive())) {
            m_sleepingPairs.push_back(p);
            m_deactivationPairs.push_back(p);
        }
    }
}

void InternalCollide::activateEntity(Entity* e) {
    recursiveActivateEntity(e);
    updateLists(true, false);
}

void InternalCollide::recursiveActivateEntity(Entity* e) {
    e->setActive(true, false);
    appendOnce(m_activatedEntities, e);
    std::vector<Entity*> noted;
    size_t i = 0;
    while (i < m_sleepingPairs.size()) {
        const CollidablePair p = m_sleepingPairs[i];
        Entity* ea = p.m_first->m_entity;
        Entity* eb = p.m_second->m_entity;
        if (ea != e && eb != e) {
            ++i;
            continue;
        }
        m_sleepingPairs[i] = m_sleepingPairs.back();
        m_sleepingPairs.pop_back();
        std::vector<Collidable*> la, lb;
        if (ea) ea->getCollidableList(la);
        if (eb) eb->getCollidableList(lb);
        for (Collidable* x : la)
            for (Collidable* y : lb) m_pairList.push_back(canonical(x, y));
        Entity* other = ea == e ? eb : ea;
        if (other && !other->isFixed() && !other->isPinned() && !other->isActive()) noted.push_back(other);
    }
    for (Entity* o : noted) recursiveActivateEntity(o);
}

void InternalCollide::updateActivations(const std::vector<CollisionDetails>& details) {
    auto asleep = [](const Entity* e) { return e && !e->isActive() && !e->isFixed() && !e->isPinned(); };
    for (size_t i = 0; i < details.size(); ++i) {
        Entity* ea = details[i].m_objectA->m_entity;
        Entity* eb = details[i].m_objectB->m_entity;
        if (asleep(ea))
            recursiveActivateEntity(ea);
        else if (asleep(eb))
            recursiveActivateEntity(eb);
    }
    bool wake = false, sleep = false;
    for (Entity* e : m_activatedEntities) wake |= e->isActive();
    for (Entity* e : m_deactivatedEntities) sleep |= !e->isActive();
    m_activatedEntities.clear();
    m_deactivatedEntities.clear();
    updateLists(wake, sleep);
}

// ---- phantoms ----

void InternalCollide::rebuildInactivePhantomPairs() {
    m_inactivePhantoms.clear();
    for (const CollidablePair& p : m_phantomPenetrations) {
        const Entity* ea = p.m_first->m_entity;
        const Entity* eb = p.m_second->m_entity;
        if (!(ea && ea->isActive()) && !(eb && eb->isActive())) m_inactivePhantoms.push_back(p);
    }
    m_phantomPenetrations.clear();
}

void InternalCollide::firePhantomEvents() {
    if (!m_penetrationEventPipe) return;
    m_phantomPenetrations.insert(m_phantomPenetrations.end(), m_inactivePhantoms.begin(),
                                 m_inactivePhantoms.end());
    auto byKey = [](const CollidablePair& a, const CollidablePair& b) { return a.getKey() < b.getKey(); };
    std::stable_sort(m_phantomPenetrations.begin(), m_phantomPenetrations.end(), byKey);
    auto raise = [this](const CollidablePair& p, int state) {
        PhantomPenetrationEvent e;
        e.m_objectA = p.m_first;
        e.m_objectB = p.m_second;
        e.m_state = state;
        m_penetrationEventPipe->raiseEvent(e);
    };
    const PairList& cur = m_phantomPenetrations;
    const PairList prev = m_previousPhantoms;
    size_t i = 0, j = 0;
    while (i < cur.size() || j < prev.size()) {
        if (j == prev.size() || (i < cur.size() && cur[i].getKey() < prev[j].getKey())) {
            raise(cur[i++], PhantomPenetrationEvent::BEGAN);
        } else if (i == cur.size() || prev[j].getKey() < cur[i].getKey()) {
            raise(prev[j++], PhantomPenetrationEvent::ENDED);
        } else {
            ++i;
            ++j;
        }
    }
    m_previousPhantoms = m_phantomPenetrations;
}

}  // namespace Kinetic
