// Casts segments against the primitives of a list of rigid bodies (in the race: the static world). The
// list is a snapshot taken from a subspace; a body that dies leaves it.
//
// A cast visits only the primitives whose boxes its segment's box overlaps: the primitives of fixed
// bodies sit in a box tree, rebuilt when one of them is added, removed or moved (see
// Primitive::boxEpoch); the others, and planes, are tried on every cast. Whatever the tree returns is
// tried in the list's order (body by body, primitive by primitive), as a walk over every primitive
// would, so ties between equally near hits are settled the same way. A query's current segment only
// ever shrinks, so the box of the segment it starts with bounds every primitive it can still reach.
#pragma once

#include <cstdint>
#include <vector>

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/base_intersection_solver.h"
#include "kinetic/collide/reference_object.h"

namespace Kinetic {

class Primitive;
class RigidBody;
class Subspace;

class IntersectionSolver : public BaseIntersectionSolver, public ReferenceObject {
public:
    IntersectionSolver() = default;
    ~IntersectionSolver() override;

    // Appends the rigid bodies of the subspace's rigid-body collections in collection and entity order;
    // with fixedOnly, only fixed ones.
    void addBodiesFromSubspace(Subspace* subspace, bool fixedOnly);
    void addRigidBody(RigidBody* body);
    bool solveSingleTest(SegmentTest& test) override;
    bool solveGroupTest(GroupSegmentTest& group) override;

    int getNumReferences() const override { return static_cast<int>(m_rigid_bodies.size()); }
    ReferenceObject* getReference(int i) const override;
    int onNotify(ReferenceObject* sender, int id, Message message) override;

    std::vector<RigidBody*> m_rigid_bodies;  // not owned

private:
    struct Node {
        AABB box;
        int32_t first;  // a leaf: its entries are m_treeOrder[first, first + count)
        int32_t count;  // 0 for an inner node, whose children are this + 1 and `first`
    };

    // Brings the primitive list and the tree up to date with the bodies.
    void refresh();
    int32_t build(int32_t first, int32_t count);
    // Fills m_candidates with the list positions of the primitives a query inside box may reach, in
    // list order.
    void gather(const AABB& box);

    std::vector<Primitive*> m_flat;     // every primitive of every body, in walk order
    std::vector<AABB> m_flatBoxes;      // each primitive's box when the tree was built
    std::vector<uint8_t> m_flatInTree;  // whether the tree holds it
    std::vector<int32_t> m_loose;       // list positions tried on every cast
    std::vector<int32_t> m_treeOrder;   // list positions, grouped by leaf
    std::vector<Node> m_nodes;
    std::vector<int32_t> m_candidates;  // reused by every cast
    std::vector<int32_t> m_stack;
    uint64_t m_epoch = 0;
    bool m_dirty = true;
};

}  // namespace Kinetic
