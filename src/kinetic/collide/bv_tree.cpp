#include "kinetic/collide/bv_tree.h"

#include <algorithm>

#include "kinetic/collide/kdop_tree.h"
#include "kinetic/collide/segment_intersection.h"

namespace Kinetic {

BVTree<OBB>::BVTree(const Vector3* vertices, const TriangleIndices* triangles, int count) {
    std::vector<const TriangleIndices*> list;
    list.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) list.push_back(&triangles[i]);
    m_root = buildTree(vertices, list, nullptr);
}

void BVTree<OBB>::calcVariance(const Vector3* vertices, const std::vector<const TriangleIndices*>& triangles,
                               Vector3& mean, Vector3& variance) {
    variance = KDOPTree::calcVariance(vertices, triangles, mean);
}

void BVTree<OBB>::split(const Vector3* vertices, std::vector<const TriangleIndices*>& triangles,
                        std::vector<const TriangleIndices*>& upper,
                        std::vector<const TriangleIndices*>& lower) {
    Vector3 mean, var;
    calcVariance(vertices, triangles, mean, var);
    const int axis = (var.x > var.y && var.x > var.z) ? 0 : (var.y > var.x && var.y > var.z) ? 1 : 2;
    const float m = axis == 0 ? mean.x : axis == 1 ? mean.y : mean.z;
    for (const TriangleIndices* t : triangles) {
        const Vector3 c =
            (vertices[t->m_verts[0]] + vertices[t->m_verts[1]] + vertices[t->m_verts[2]]) * 0.33333334f;
        const float v = axis == 0 ? c.x : axis == 1 ? c.y : c.z;
        (v < m ? lower : upper).push_back(t);
    }
}

BVNode<OBB>* BVTree<OBB>::buildTree(const Vector3* vertices, std::vector<const TriangleIndices*>& triangles,
                                    BVNode<OBB>* parent) {
    if (triangles.empty()) return nullptr;
    auto* node = new BVNode<OBB>();
    std::vector<TriangleIndices> copy(triangles.size());
    for (size_t i = 0; i < triangles.size(); ++i) copy[i] = *triangles[i];
    node->m_box.makeOBBOfHull(vertices, copy.data(), static_cast<unsigned int>(copy.size()));
    node->m_relativeTransform =
        parent ? parent->m_box.m_BVToBodyTransform.getInverse() * node->m_box.m_BVToBodyTransform
               : node->m_box.m_BVToBodyTransform;
    if (triangles.size() == 1) {
        node->m_triangle = triangles[0];
        return node;
    }
    std::vector<const TriangleIndices*> upper, lower;
    split(vertices, triangles, upper, lower);
    if (upper.empty()) {
        upper.push_back(lower.back());
        lower.pop_back();
    }
    if (lower.empty()) {
        lower.push_back(upper.back());
        upper.pop_back();
    }
    node->m_left = buildTree(vertices, lower, node);
    node->m_right = buildTree(vertices, upper, node);
    return node;
}

void BVTree<OBB>::destroy(BVNode<OBB>* node) {
    std::vector<BVNode<OBB>*> stack;
    if (node) stack.push_back(node);
    while (!stack.empty()) {
        BVNode<OBB>* n = stack.back();
        stack.pop_back();
        if (n->m_left) stack.push_back(n->m_left);
        if (n->m_right) stack.push_back(n->m_right);
        delete n;
    }
}

}  // namespace Kinetic

namespace Kinetic {

bool BVTree<OBB>::intersect(const Segment& segment, std::vector<const TriangleIndices*>& out,
                            BVNode<OBB>* node) const {
    if (!node) return false;
    const Segment local = segment.transformed(node->m_box.m_BVToBodyTransform.getInverse());
    const Vector3& e = node->m_box.m_extent;
    if (!AABBSegmentIntersectionTest(local, AABB(-e, e))) return false;
    if (!node->m_left && !node->m_right) {
        out.push_back(node->m_triangle);
        return true;
    }
    const bool left = intersect(segment, out, node->m_left);
    const bool right = intersect(segment, out, node->m_right);
    return left || right;
}

}  // namespace Kinetic
