// Binary tree of 14-DOPs over a mesh's triangles, one triangle per leaf. Fixed meshes (the track's
// complex parts) cull their triangles with it.
#pragma once

#include <vector>

#include "kinetic/collide/kdop14.h"
#include "kinetic/collide/segment.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

struct KDOPNode {
    KDOPNode* m_left = nullptr;
    KDOPNode* m_right = nullptr;
    const TriangleIndices* m_triangle = nullptr;  // leaves only
    KDop14 m_volume;
};

class KDOPTree {
public:
    // Builds over every triangle of the array, in order.
    KDOPTree(const Vector3* vertices, const TriangleIndices* triangles, int count);
    ~KDOPTree() { destroy(m_root); }
    KDOPTree(const KDOPTree&) = delete;
    KDOPTree& operator=(const KDOPTree&) = delete;

    static KDOPNode* buildTree(const Vector3* vertices, std::vector<const TriangleIndices*>& triangles,
                               KDOPNode* parent);
    static KDop14 buildVols(KDOPNode* node);
    // Per-axis variance of the triangle centroids; writes their mean.
    static Vector3 calcVariance(const Vector3* vertices, const std::vector<const TriangleIndices*>& triangles,
                                Vector3& mean);
    static void destroy(KDOPNode* node);
    // Appends, left to right, every leaf triangle whose volume and ancestors' volumes overlap the query.
    bool intersect(const KDop14& query, std::vector<const TriangleIndices*>& out, const KDOPNode* node) const;
    // Appends the leaf triangles whose volumes (and ancestors' volumes) the segment crosses; both children
    // of a crossed node are always searched.
    bool intersect(const Segment& segment, std::vector<const TriangleIndices*>& out,
                   const KDOPNode* node) const;

    KDOPNode* getRoot() const { return m_root; }
    KDOPNode* m_root = nullptr;
};

}  // namespace Kinetic
