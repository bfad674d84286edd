#include "kinetic/collide/kdop_tree.h"

#include <algorithm>

namespace Kinetic {

namespace {

Vector3 centroid(const Vector3* v, const TriangleIndices* t) {
    return (v[t->m_verts[0]] + v[t->m_verts[1]] + v[t->m_verts[2]]) * 0.33333334f;
}

}  // namespace

KDOPTree::KDOPTree(const Vector3* vertices, const TriangleIndices* triangles, int count) {
    std::vector<const TriangleIndices*> list;
    list.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) list.push_back(&triangles[i]);
    m_root = buildTree(vertices, list, nullptr);
    if (m_root) buildVols(m_root);
}

Vector3 KDOPTree::calcVariance(const Vector3* vertices, const std::vector<const TriangleIndices*>& triangles,
                               Vector3& mean) {
    Vector3 sum, sumSq;
    for (const TriangleIndices* t : triangles) {
        const Vector3 c = centroid(vertices, t);
        sum += c;
        sumSq += c * c;
    }
    const float n = static_cast<float>(triangles.size());
    mean = sum / n;
    return sumSq / n - mean * mean;
}

KDOPNode* KDOPTree::buildTree(const Vector3* vertices, std::vector<const TriangleIndices*>& triangles,
                              KDOPNode* parent) {
    (void)parent;
    if (triangles.empty()) return nullptr;
    auto* node = new KDOPNode();
    if (triangles.size() == 1) {
        node->m_triangle = triangles[0];
        node->m_volume = KDop14(vertices, triangles[0]);
        return node;
    }
    Vector3 mean;
    const Vector3 var = calcVariance(vertices, triangles, mean);
    // Equal largest variances of x and y fall through to z.
    const int axis = (var.x > var.y && var.x > var.z) ? 0 : (var.y > var.x && var.y > var.z) ? 1 : 2;
    const float m = axis == 0 ? mean.x : axis == 1 ? mean.y : mean.z;
    std::vector<const TriangleIndices*> left, right;
    for (const TriangleIndices* t : triangles) {
        const Vector3 c = centroid(vertices, t);
        const float v = axis == 0 ? c.x : axis == 1 ? c.y : c.z;
        (v < m ? left : right).push_back(t);
    }
    // Equal centroids: peel one triangle off so that the recursion ends (as a chain).
    if (right.empty()) {
        right.push_back(left.back());
        left.pop_back();
    }
    if (left.empty()) {
        left.push_back(right.back());
        right.pop_back();
    }
    node->m_left = buildTree(vertices, left, node);
    node->m_right = buildTree(vertices, right, node);
    return node;
}

KDop14 KDOPTree::buildVols(KDOPNode* node) {
    if (!node->m_left) return node->m_volume;
    const KDop14 a = buildVols(node->m_left);
    const KDop14 b = buildVols(node->m_right);
    for (int i = 0; i < KDop14::numAxes; ++i) {
        node->m_volume.m_min[i] = std::min(a.m_min[i], b.m_min[i]);
        node->m_volume.m_max[i] = std::max(a.m_max[i], b.m_max[i]);
    }
    return node->m_volume;
}

void KDOPTree::destroy(KDOPNode* node) {
    // Iterative: a degenerate mesh builds a chain as deep as its triangle count.
    std::vector<KDOPNode*> stack;
    if (node) stack.push_back(node);
    while (!stack.empty()) {
        KDOPNode* n = stack.back();
        stack.pop_back();
        if (n->m_left) stack.push_back(n->m_left);
        if (n->m_right) stack.push_back(n->m_right);
        delete n;
    }
}

bool KDOPTree::intersect(const KDop14& query, std::vector<const TriangleIndices*>& out,
                         const KDOPNode* node) const {
    if (!node) return false;
    const size_t before = out.size();
    if (!node->m_left) {
        if (query.intersects(node->m_volume)) out.push_back(node->m_triangle);
        return out.size() > before;
    }
    // Each child's volume is tested before descending into it.
    for (const KDOPNode* child : {node->m_left, node->m_right}) {
        if (!query.intersects(child->m_volume)) continue;
        if (!child->m_left)
            out.push_back(child->m_triangle);
        else
            intersect(query, out, child);
    }
    return out.size() > before;
}

}  // namespace Kinetic

namespace Kinetic {

bool KDOPTree::intersect(const Segment& segment, std::vector<const TriangleIndices*>& out,
                         const KDOPNode* node) const {
    if (!node || !node->m_volume.intersects(segment)) return false;
    if (!node->m_left && !node->m_right) {
        out.push_back(node->m_triangle);
        return true;
    }
    const bool left = intersect(segment, out, node->m_left);
    const bool right = intersect(segment, out, node->m_right);
    return left || right;
}

}  // namespace Kinetic
