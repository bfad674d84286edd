#include "kinetic/dynamics/fast_subspace.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/timer_bank.h"
#include "kinetic/dynamics/action.h"
#include "kinetic/dynamics/rigid_body.h"
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

namespace Kinetic {

namespace {

RigidBody* movableBody(const Collidable* c) {
    auto* b = static_cast<RigidBody*>(c->m_entity);
    return (b && !b->isFixed() && !b->isPinned()) ? b : nullptr;
}

void appendOnce(std::vector<RigidBody*>& list, RigidBody* b) {
    if (b && std::find(list.begin(), list.end(), b) == list.end()) list.push_back(b);
}

// The distinct movable bodies of the pairs, in order of first appearance.
std::vector<RigidBody*> bodiesOf(const PairList& pairs) {
    std::vector<RigidBody*> out;
    for (const CollidablePair& p : pairs) {
        appendOnce(out, movableBody(p.m_first));
        appendOnce(out, movableBody(p.m_second));
    }
    return out;
}

bool touches(const std::vector<RigidBody*>& bodies, const Collidable* c) {
    const Entity* e = c->m_entity;
    return std::find(bodies.begin(), bodies.end(), e) != bodies.end();
}

}  // namespace

void FastSubspace::resolveInterpenetrations() {
    InternalCollide* impl = m_collisionDetector->getImpl();
    PairList& inter = impl->m_interpenetrations;
    std::vector<RigidBody*> moved = bodiesOf(inter);
    std::vector<RigidBody*> all = moved;
    std::vector<CollisionDetails> details;
    PairList phantoms;
    int passes = 0;
    while (!inter.empty()) {
        ++passes;
        for (const CollidablePair& p : inter) findPairCollision(p);
        PairList fresh;
        details.clear();
        phantoms.clear();
        impl->collideSet(moved, fresh, details, phantoms);
        size_t k = 0;
        while (k < fresh.size()) {
            const CollidablePair reversed(fresh[k].m_second, fresh[k].m_first);
            if (containsPair(impl->m_badList, fresh[k]) || containsPair(impl->m_badList, reversed)) {
                fresh[k] = fresh.back();
                fresh.pop_back();
            } else {
                ++k;
            }
        }
        if (fresh.empty()) {
            inter.clear();
            break;
        }
        inter = fresh;
        moved = bodiesOf(inter);
        for (RigidBody* b : moved) appendOnce(all, b);
    }
    if (passes >= 2) {
        details.clear();
        phantoms.clear();
        impl->collideSet(all, inter, details, phantoms);
    }
    std::vector<CollisionDetails>& records = impl->m_RRCollisionList;
    size_t i = 0;
    while (i < records.size()) {
        if (touches(all, records[i].m_objectA) || touches(all, records[i].m_objectB)) {
            records[i] = records.back();
            records.pop_back();
        } else {
            ++i;
        }
    }
    impl->updateActivations(details);
    records.insert(records.end(), details.begin(), details.end());
    PairList& ph = impl->m_phantomPenetrations;
    i = 0;
    while (i < ph.size()) {
        if (touches(all, ph[i].m_first) || touches(all, ph[i].m_second)) {
            ph[i] = ph.back();
            ph.pop_back();
        } else {
            ++i;
        }
    }
    ph.insert(ph.end(), phantoms.begin(), phantoms.end());
}

void FastSubspace::findPairCollision(const Pair<Collidable*>& pair) {
    InternalCollide* impl = m_collisionDetector->getImpl();
    auto* A = static_cast<RigidBody*>(pair.m_first->m_entity);
    auto* B = static_cast<RigidBody*>(pair.m_second->m_entity);
    if (!A || !B) return;
    const float a = A->m_stepPosition, b = B->m_stepPosition;
    const float m = std::min(a, b);
    const float tolerance = m_collisionDetector->getTolerance();
    std::vector<CollisionDetails> list;
    bool interpenetrating = false;
    // A probe is accepted when it finds no interpenetration and the first record collected since the
    // list was last emptied is within the tolerance.
    auto probe = [&]() {
        impl->collidePair(A, B, interpenetrating, list);
        return !interpenetrating && !list.empty() && list.front().m_contact.m_distance < tolerance;
    };
    bool needBoth = (a == b);
    if (!needBoth) {
        RigidBody* ahead = a <= b ? B : A;
        probe();
        if (!interpenetrating) return;
        list.clear();
        ahead->setStepPosition(m);
        const bool accepted = probe();
        if (interpenetrating) {
            needBoth = true;
        } else if (accepted) {
            return;
        } else {
            float delta = 0.5f * std::fabs(a - b);
            float s = m + delta;
            while (delta > 1e-4f) {
                ahead->setStepPosition(s);
                if (probe()) return;
                delta *= 0.5f;
                s += interpenetrating ? -delta : delta;
            }
            if (interpenetrating)
                needBoth = true;
            else {
                ahead->setStepPosition(m);
                return;
            }
        }
    }
    // Both bodies back along their steps together.
    float s = 0.5f * std::min(A->m_stepPosition, B->m_stepPosition);
    float delta = s;
    list.clear();
    interpenetrating = true;
    bool probed = false;
    while (delta > 1e-4f) {
        A->setStepPosition(s);
        B->setStepPosition(s);
        probed = true;
        if (probe()) return;
        delta *= 0.5f;
        s += interpenetrating ? -delta : delta;
    }
    if (!probed || interpenetrating) {
        impl->addToBadList(pair);
        A->setStepPosition(a);
        B->setStepPosition(b);
    }
}

}  // namespace Kinetic
