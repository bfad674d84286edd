// Mesh against mesh: both trees are walked together for candidate triangle pairs, whose closest points
// become contacts; the first pair of triangles that touch or cut ends the call as an interpenetration.
#pragma once

#include <vector>

#include "kinetic/collide/collision_details.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/pair.h"

namespace Kinetic {

class BVTreeDetect {
public:
    // OBB tree against OBB tree, the boxes grown by half the tolerance each.
    static void FindAllCollisionsUsingBVTree(GeometricPrimitive* a, GeometricPrimitive* b,
                                             std::vector<Pair<Collidable*>>& interpenetrating,
                                             std::vector<CollisionDetails>& contacts, float tolerance);
    // a's k-DOP tree against b's OBB tree.
    static void FindAllKDOPtoOBBCollisions(GeometricPrimitive* a, GeometricPrimitive* b,
                                           std::vector<Pair<Collidable*>>& interpenetrating,
                                           std::vector<CollisionDetails>& contacts, float tolerance);
    // Closest points of two triangles in world space into the record; -1 below 1e-5.
    static float detect(CollisionDetails& record, const Vector3* verticesA, const TriangleIndices* triangleA,
                        const Vector3* verticesB, const TriangleIndices* triangleB, const Transform& aToWorld,
                        const Transform& bToWorld);
};

}  // namespace Kinetic
