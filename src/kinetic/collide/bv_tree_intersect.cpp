#include "kinetic/collide/bv_tree_intersect.h"

namespace Kinetic {

void BVTreeIntersect<OBB>::SINGLE_find_intersections(const OBB& query, const BVTree<OBB>* tree,
                                                     const Transform& bodyToQuery,
                                                     std::vector<const TriangleIndices*>& out,
                                                     float tolerance) {
    if (!tree || !tree->getRoot()) return;
    SINGLE_find_intersections_recurse(query, tree->getRoot(),
                                      bodyToQuery * tree->getRoot()->m_relativeTransform, out, tolerance);
}

void BVTreeIntersect<OBB>::SINGLE_find_intersections(const AABB& query, const BVTree<OBB>* tree,
                                                     const Transform& bodyToQuery,
                                                     std::vector<const TriangleIndices*>& out,
                                                     float tolerance) {
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
    SINGLE_find_intersections_recurse(query, node->m_left, nodeToQuery * node->m_left->m_relativeTransform,
                                      out, tolerance);
    SINGLE_find_intersections_recurse(query, node->m_right, nodeToQuery * node->m_right->m_relativeTransform,
                                      out, tolerance);
}

void BVTreeIntersect<OBB>::all_intersect(const KDOPTree* a, const BVTree<OBB>* b, const Transform& bToA,
                                         std::vector<const TriangleIndices*>& outA,
                                         std::vector<const TriangleIndices*>& outB, float tolerance) {
    if (!a || !b || !a->getRoot() || !b->getRoot()) return;
    all_intersect(a->getRoot(), b->getRoot(), bToA, outA, outB, tolerance);
}

void BVTreeIntersect<OBB>::all_intersect(const KDOPNode* a, const BVNode<OBB>* b, const Transform& bToA,
                                         std::vector<const TriangleIndices*>& outA,
                                         std::vector<const TriangleIndices*>& outB, float tolerance) {
    if (!a->m_volume.intersects(KDop14(b->m_box, bToA, tolerance))) return;
    const bool leafA = !a->m_left, leafB = !b->m_left;
    if (leafA && leafB) {
        outA.push_back(a->m_triangle);
        outB.push_back(b->m_triangle);
        return;
    }
    const KDop14& v = a->m_volume;
    const float sizeA = (v.m_max[0] - v.m_min[0]) * (v.m_max[1] - v.m_min[1]) * (v.m_max[2] - v.m_min[2]);
    const Vector3& e = b->m_box.m_extent;
    const float sizeB = 8.0f * e.x * e.y * e.z;
    const bool descendA = leafB || (!leafA && sizeA > sizeB);
    if (descendA) {
        for (const KDOPNode* c : {a->m_left, a->m_right})
            if (c) all_intersect(c, b, bToA, outA, outB, tolerance);
    } else {
        for (const BVNode<OBB>* d : {b->m_left, b->m_right})
            if (d) all_intersect(a, d, bToA, outA, outB, tolerance);
    }
}

void BVTreeIntersect<OBB>::FAST_find_intersections(const BVTree<OBB>* a, const BVTree<OBB>* b,
                                                   const Transform& bToA,
                                                   std::vector<const TriangleIndices*>& outA,
                                                   std::vector<const TriangleIndices*>& outB,
                                                   float tolerance) {
    if (!a || !b || !a->getRoot() || !b->getRoot()) return;
    FAST_find_intersections_recurse(a, b, a->getRoot(), b->getRoot(),
                                    a->getRoot()->m_relativeTransform.getInverse() * bToA,
                                    b->getRoot()->m_relativeTransform, outA, outB, tolerance);
}

void BVTreeIntersect<OBB>::FAST_find_intersections_recurse(const BVTree<OBB>* a, const BVTree<OBB>* b,
                                                           const BVNode<OBB>* nodeA, const BVNode<OBB>* nodeB,
                                                           const Transform& first, const Transform& second,
                                                           std::vector<const TriangleIndices*>& outA,
                                                           std::vector<const TriangleIndices*>& outB,
                                                           float tolerance) {
    Transform product;
    if (nodeA->m_box.isDisjointFrom(first, second, product, nodeA->m_box.m_extent, nodeB->m_box.m_extent,
                                    tolerance))
        return;
    const bool leafA = !nodeA->m_left, leafB = !nodeB->m_left;
    if (leafA && leafB) {
        outA.push_back(nodeA->m_triangle);
        outB.push_back(nodeB->m_triangle);
        return;
    }
    const Vector3& ea = nodeA->m_box.m_extent;
    const Vector3& eb = nodeB->m_box.m_extent;
    const float volA = 8.0f * ea.x * ea.y * ea.z, volB = 8.0f * eb.x * eb.y * eb.z;
    if (leafB || (!leafA && volA > volB)) {
        for (const BVNode<OBB>* c : {nodeA->m_left, nodeA->m_right})
            if (c)
                FAST_find_intersections_recurse(a, b, c, nodeB, c->m_relativeTransform.getInverse(), product,
                                                outA, outB, tolerance);
    } else {
        for (const BVNode<OBB>* d : {nodeB->m_left, nodeB->m_right})
            if (d)
                FAST_find_intersections_recurse(a, b, nodeA, d, product, d->m_relativeTransform, outA, outB,
                                                tolerance);
    }
}

}  // namespace Kinetic
