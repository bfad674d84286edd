#include "kinetic/collide/intersection_solver.h"

#include <algorithm>

#include "kinetic/collide/group_segment_test.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/collide/segment_test.h"
#include "kinetic/dynamics/entity_collection.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic {

IntersectionSolver::~IntersectionSolver() {
    notifyDependants(MSG_DEATH);
    destroyReferences();
    m_rigid_bodies.clear();
}

void IntersectionSolver::addRigidBody(RigidBody* body) {
    body->addDependant(this, static_cast<int>(m_rigid_bodies.size()));  // skipped if it made a cycle
    m_rigid_bodies.push_back(body);
}

void IntersectionSolver::addBodiesFromSubspace(Subspace* subspace, bool fixedOnly) {
    for (int c = 0; c < subspace->getNumEntityCollections(); ++c) {
        EntityCollection* col = subspace->getEntityCollection(c);
        if (col->m_type != RIGIDBODY) continue;
        for (Entity* e : col->getEntities()) {
            if (fixedOnly && !e->isFixed()) continue;
            addRigidBody(static_cast<RigidBody*>(e));
        }
    }
}

ReferenceObject* IntersectionSolver::getReference(int i) const {
    if (i < 0 || i >= static_cast<int>(m_rigid_bodies.size())) return nullptr;
    return m_rigid_bodies[static_cast<size_t>(i)];
}

int IntersectionSolver::onNotify(ReferenceObject* sender, int id, Message message) {
    (void)id;
    if (message != MSG_DEATH) return 0;
    sender->removeAllDependancy(this);
    m_rigid_bodies.erase(std::remove_if(m_rigid_bodies.begin(), m_rigid_bodies.end(),
                                        [sender](RigidBody* b) { return b == sender; }),
                         m_rigid_bodies.end());
    return 0;
}

bool IntersectionSolver::solveSingleTest(SegmentTest& test) {
    bool result = false;
    for (RigidBody* b : m_rigid_bodies) {
        for (Primitive* p : b->getPrimitives()) {
            result = p->intersectionTest(test) || result;
            if (test.m_isFinished) return result;
        }
    }
    return result;
}

bool IntersectionSolver::solveGroupTest(GroupSegmentTest& group) {
    bool result = false;
    bool finished = false;
    for (RigidBody* b : m_rigid_bodies) {
        for (Primitive* p : b->getPrimitives()) {
            if (finished) return result;
            if (!p->m_AABB.overlaps(group.m_AABB)) continue;
            for (SegmentTest* t : group.m_tests) result = p->intersectionTest(*t) || result;
            auto& active = group.m_active_tests;
            while (!active.empty() && active.front()->m_isFinished) active.erase(active.begin());
            if (active.empty()) finished = true;
            group.updateAABB();
        }
    }
    return result;
}

}  // namespace Kinetic
