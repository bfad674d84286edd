#include "kinetic/collide/intersection_solver.h"

#include <algorithm>
#include <cmath>

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
    m_dirty = true;
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
    m_dirty = true;
    return 0;
}

namespace {

// A fixed body's primitive with a finite, non-empty box goes in the tree. Planes stay out: their boxes
// are unbounded and set once, and a plane is tried on every cast as it always was.
bool treeable(const Primitive* p) {
    const RigidBody* b = p->getBody();
    if (!b || !b->isFixed() || p->getType() == CD_IMPLICIT) return false;
    const Vector3& lo = p->m_AABB.m_min;
    const Vector3& hi = p->m_AABB.m_max;
    constexpr float kFar = 1e30f;
    return lo.x <= hi.x && lo.y <= hi.y && lo.z <= hi.z && lo.x > -kFar && lo.y > -kFar && lo.z > -kFar &&
           hi.x < kFar && hi.y < kFar && hi.z < kFar;
}

bool sameBox(const AABB& a, const AABB& b) {
    return a.m_min.x == b.m_min.x && a.m_min.y == b.m_min.y && a.m_min.z == b.m_min.z &&
           a.m_max.x == b.m_max.x && a.m_max.y == b.m_max.y && a.m_max.z == b.m_max.z;
}

// The query box, grown by a few float steps of its coordinates: a shortened segment's new end is
// computed from its start and may round a hair outside the box it started in.
AABB grown(const AABB& box) {
    float m = 1.0f;
    const float c[6] = {box.m_min.x, box.m_min.y, box.m_min.z, box.m_max.x, box.m_max.y, box.m_max.z};
    for (float v : c) m = std::max(m, std::fabs(v));
    const float e = m * 1e-5f;
    return AABB(box.m_min - Vector3(e, e, e), box.m_max + Vector3(e, e, e));
}

float centre(const AABB& b, int axis) {
    return axis == 0 ? b.m_min.x + b.m_max.x : axis == 1 ? b.m_min.y + b.m_max.y : b.m_min.z + b.m_max.z;
}

}  // namespace

void IntersectionSolver::refresh() {
    const uint64_t epoch = Primitive::boxEpoch();
    if (!m_dirty && epoch == m_epoch) return;
    bool same = !m_dirty;
    size_t k = 0;
    for (size_t i = 0; same && i < m_rigid_bodies.size(); ++i) {
        for (Primitive* p : m_rigid_bodies[i]->getPrimitives()) {
            const bool inTree = treeable(p);
            if (k >= m_flat.size() || m_flat[k] != p || inTree != (m_flatInTree[k] != 0) ||
                (inTree && !sameBox(p->m_AABB, m_flatBoxes[k]))) {
                same = false;
                break;
            }
            ++k;
        }
    }
    m_epoch = epoch;
    m_dirty = false;
    if (same && k == m_flat.size()) return;

    m_flat.clear();
    m_flatBoxes.clear();
    m_flatInTree.clear();
    m_loose.clear();
    m_treeOrder.clear();
    m_nodes.clear();
    for (RigidBody* b : m_rigid_bodies) {
        for (Primitive* p : b->getPrimitives()) {
            const int32_t at = static_cast<int32_t>(m_flat.size());
            const bool inTree = treeable(p);
            m_flat.push_back(p);
            m_flatBoxes.push_back(p->m_AABB);
            m_flatInTree.push_back(inTree ? 1 : 0);
            (inTree ? m_treeOrder : m_loose).push_back(at);
        }
    }
    if (!m_treeOrder.empty()) {
        m_nodes.reserve(2 * m_treeOrder.size());
        build(0, static_cast<int32_t>(m_treeOrder.size()));
    }
    m_candidates.reserve(m_flat.size());
    m_stack.reserve(64);
}

int32_t IntersectionSolver::build(int32_t first, int32_t count) {
    const int32_t at = static_cast<int32_t>(m_nodes.size());
    AABB box, centres;
    for (int32_t i = first; i < first + count; ++i) {
        const AABB& b = m_flatBoxes[static_cast<size_t>(m_treeOrder[static_cast<size_t>(i)])];
        box.include(b.m_min);
        box.include(b.m_max);
        centres.include((b.m_min + b.m_max) * 0.5f);
    }
    m_nodes.push_back(Node{box, first, count});
    constexpr int32_t kLeafSize = 4;
    if (count <= kLeafSize) return at;
    // Split at the median centre along the longest spread of the centres.
    const Vector3 spread = centres.m_max - centres.m_min;
    const int axis = spread.x >= spread.y && spread.x >= spread.z ? 0 : spread.y >= spread.z ? 1 : 2;
    const int32_t half = count / 2;
    auto begin = m_treeOrder.begin() + first;
    std::nth_element(begin, begin + half, begin + count, [this, axis](int32_t a, int32_t b) {
        const float ca = centre(m_flatBoxes[static_cast<size_t>(a)], axis);
        const float cb = centre(m_flatBoxes[static_cast<size_t>(b)], axis);
        return ca < cb || (ca == cb && a < b);
    });
    build(first, half);  // lands at at + 1
    const int32_t right = build(first + half, count - half);
    m_nodes[static_cast<size_t>(at)].first = right;
    m_nodes[static_cast<size_t>(at)].count = 0;
    return at;
}

void IntersectionSolver::gather(const AABB& query) {
    const AABB box = grown(query);
    m_candidates.clear();
    if (!m_nodes.empty()) {
        m_stack.clear();
        m_stack.push_back(0);
        while (!m_stack.empty()) {
            const Node& n = m_nodes[static_cast<size_t>(m_stack.back())];
            const int32_t self = m_stack.back();
            m_stack.pop_back();
            if (!n.box.overlaps(box)) continue;
            if (n.count == 0) {
                m_stack.push_back(n.first);
                m_stack.push_back(self + 1);
                continue;
            }
            for (int32_t i = n.first; i < n.first + n.count; ++i) {
                const int32_t at = m_treeOrder[static_cast<size_t>(i)];
                if (m_flatBoxes[static_cast<size_t>(at)].overlaps(box)) m_candidates.push_back(at);
            }
        }
    }
    m_candidates.insert(m_candidates.end(), m_loose.begin(), m_loose.end());
    std::sort(m_candidates.begin(), m_candidates.end());
}

bool IntersectionSolver::solveSingleTest(SegmentTest& test) {
    refresh();
    gather(test.m_currentSegment.m_AABB);
    bool result = false;
    for (int32_t at : m_candidates) {
        result = m_flat[static_cast<size_t>(at)]->intersectionTest(test) || result;
        if (test.m_isFinished) return result;
    }
    return result;
}

bool IntersectionSolver::solveGroupTest(GroupSegmentTest& group) {
    refresh();
    gather(group.m_AABB);
    bool result = false;
    bool finished = false;
    for (int32_t at : m_candidates) {
        const Primitive* p = m_flat[static_cast<size_t>(at)];
        if (finished) return result;
        if (!p->m_AABB.overlaps(group.m_AABB)) continue;
        for (SegmentTest* t : group.m_tests) result = p->intersectionTest(*t) || result;
        auto& active = group.m_active_tests;
        while (!active.empty() && active.front()->m_isFinished) active.erase(active.begin());
        if (active.empty()) finished = true;
        group.updateAABB();
    }
    return result;
}

}  // namespace Kinetic
