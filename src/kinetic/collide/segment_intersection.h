// Segment helpers of the segment queries: a conservative segment-box slab test and the point-in-triangle
// test of the mesh scan.
#pragma once

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/segment.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

// Conservative on purpose: the slab parameters are halved, so entries up to twice the segment length
// pass; the box overlap and the triangle test decide the rest.
bool AABBSegmentIntersectionTest(const Segment& segment, const AABB& box);
// Points on an edge count as inside.
bool pointInsideTriangle(const Vector3& point, const Vector3* vertices, const TriangleIndices& triangle);

}  // namespace Kinetic
