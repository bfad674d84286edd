#include "kinetic/collide/bv_tree_intersect.h"

namespace Kinetic {

void BVTreeIntersect<OBB>::SINGLE_find_intersections(const OBB& query, const BVTree<OBB>* tree,
                                                     const Transform& bodyToQuery,
                                                     std::vector<const TriangleIndices*>& out, float tolerance) {
    if (!tree || !tree->getRoot()) return;
    SINGLE_find_intersections_recurse(query, tree->getRoot(), bodyToQuery * tree->getRoot()->m_relativeTransform,
                                      out, tolerance);
}

void BVTreeIntersect<OBB>::SINGLE_find_intersections(const AABB& query, const BVTree<OBB>* tree,
                                                     const Transform& bodyToQuery,
                                                     std::vector<const TriangleIndices*>& out, float tolerance) {
    OBB box;
    box.m_extent = (query.m_max - query.m_min) * 0.5f;
    box.m_BVToBodyTransform = Transform_Identity;
    SINGLE_find_intersections(box, tree, bodyToQuery, out, tolerance);
}

void BVTreeIntersect<OBB>::SINGLE_find_intersections_recurse(const OBB& query, const BVNode<OBB>* node,
                                                             const Transform& nodeToQuery,
                                                             std::vector<const TriangleIndices*>& out,
                                                             float tolerance) {
    if (query.isDisjointFrom(nodeToQuery, query.m_extent, node->m_box.m_extent, tolerance)) return;
    if (!node->m_left) {
        out.push_back(node->m_triangle);
        return;
    }
    SINGLE_find_intersections_recurse(query, node->m_left, nodeToQuery * node->m_left->m_relativeTransform, out,
                                      tolerance);
    SINGLE_find_intersections_recurse(query, node->m_right, nodeToQuery * node->m_right->m_relativeTransform, out,
                                      tolerance);
}

}  // namespace Kinetic
