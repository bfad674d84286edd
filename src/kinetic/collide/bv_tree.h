// Binary tree of oriented boxes over a mesh's triangles, one triangle per leaf; each node's box frame is
// also kept relative to its parent's so that a tree-against-tree descent composes one product per step.
#pragma once

#include <vector>

#include "kinetic/collide/obb.h"
#include "kinetic/collide/segment.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/transform.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

template <typename BV>
struct BVNode {
    BVNode* m_left = nullptr;
    BVNode* m_right = nullptr;
    BV m_box;
    const TriangleIndices* m_triangle = nullptr;  // leaves only
    Transform m_relativeTransform;                // box frame in the parent's box frame
};

template <typename BV>
class BVTree;

template <>
class BVTree<OBB> {
public:
    BVTree(const Vector3* vertices, const TriangleIndices* triangles, int count);
    ~BVTree() { destroy(m_root); }
    BVTree(const BVTree&) = delete;
    BVTree& operator=(const BVTree&) = delete;

    BVNode<OBB>* getRoot() const { return m_root; }
    // Appends the leaf triangles whose boxes the segment (body frame) may cross.
    bool intersect(const Segment& segment, std::vector<const TriangleIndices*>& out) const {
        return intersect(segment, out, m_root);
    }
    bool intersect(const Segment& segment, std::vector<const TriangleIndices*>& out, BVNode<OBB>* node) const;
    static BVNode<OBB>* buildTree(const Vector3* vertices, std::vector<const TriangleIndices*>& triangles,
                                  BVNode<OBB>* parent);
    // Triangles whose centroid is on or above the mean go to upper, the others to lower.
    static void split(const Vector3* vertices, std::vector<const TriangleIndices*>& triangles,
                      std::vector<const TriangleIndices*>& upper, std::vector<const TriangleIndices*>& lower);
    static void calcVariance(const Vector3* vertices, const std::vector<const TriangleIndices*>& triangles,
                             Vector3& mean, Vector3& variance);
    static void destroy(BVNode<OBB>* node);

    BVNode<OBB>* m_root = nullptr;
};

}  // namespace Kinetic
