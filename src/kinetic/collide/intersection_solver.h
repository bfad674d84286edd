// Casts segments against the primitives of a list of rigid bodies (in the race: the static world). The
// list is a snapshot taken from a subspace; a body that dies leaves it.
#pragma once

#include <vector>

#include "kinetic/collide/base_intersection_solver.h"
#include "kinetic/collide/reference_object.h"

namespace Kinetic {

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
};

}  // namespace Kinetic
