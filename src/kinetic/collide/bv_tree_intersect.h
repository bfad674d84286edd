// Queries of one box against an OBB tree. The query box sits at the origin of its own frame, axes along
// that frame's; only its extent is read, so callers fold its placement into bodyToQuery.
#pragma once

#include <vector>

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/bv_tree.h"
#include "kinetic/collide/kdop_tree.h"
#include "kinetic/collide/obb.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/transform.h"

namespace Kinetic {

template <typename BV>
class BVTreeIntersect;

template <>
class BVTreeIntersect<OBB> {
public:
    static void SINGLE_find_intersections(const OBB& query, const BVTree<OBB>* tree,
                                          const Transform& bodyToQuery,
                                          std::vector<const TriangleIndices*>& out, float tolerance);
    // The box's half sizes with an identity orientation; its position plays no part.
    static void SINGLE_find_intersections(const AABB& query, const BVTree<OBB>* tree,
                                          const Transform& bodyToQuery,
                                          std::vector<const TriangleIndices*>& out, float tolerance);
    static void SINGLE_find_intersections_recurse(const OBB& query, const BVNode<OBB>* node,
                                                  const Transform& nodeToQuery,
                                                  std::vector<const TriangleIndices*>& out, float tolerance);

    // Candidate triangle pairs of two trees, appended in step to outA and outB. bToA maps B's body
    // frame into A's; the k-DOP volumes are in A's body frame and B's boxes grow by the tolerance.
    static void all_intersect(const KDOPTree* a, const BVTree<OBB>* b, const Transform& bToA,
                              std::vector<const TriangleIndices*>& outA,
                              std::vector<const TriangleIndices*>& outB, float tolerance);
    static void all_intersect(const KDOPNode* a, const BVNode<OBB>* b, const Transform& bToA,
                              std::vector<const TriangleIndices*>& outA,
                              std::vector<const TriangleIndices*>& outB, float tolerance);
    // Box against box, each grown by the tolerance; first * second is nodeB's box frame in nodeA's.
    static void FAST_find_intersections(const BVTree<OBB>* a, const BVTree<OBB>* b, const Transform& bToA,
                                        std::vector<const TriangleIndices*>& outA,
                                        std::vector<const TriangleIndices*>& outB, float tolerance);
    static void FAST_find_intersections_recurse(const BVTree<OBB>* a, const BVTree<OBB>* b,
                                                const BVNode<OBB>* nodeA, const BVNode<OBB>* nodeB,
                                                const Transform& first, const Transform& second,
                                                std::vector<const TriangleIndices*>& outA,
                                                std::vector<const TriangleIndices*>& outB, float tolerance);
};

}  // namespace Kinetic
