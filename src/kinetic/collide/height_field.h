// Terrain interface the application implements. Heights run along y over the x-z plane; the field covers
// the box from its frame's origin to m_size. All coordinates are in the field's own frame.
#pragma once

#include <vector>

#include "kinetic/collide/aabb.h"
#include "kinetic/collide/kinetic_object.h"
#include "kinetic/collide/segment.h"
#include "kinetic/collide/simple_hit.h"
#include "kinetic/collide/triangle_indices.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class HeightField : public KineticObject {
public:
    ~HeightField() override { notifyDependants(MSG_DEATH); }

    virtual float getHeightAt(float x, float z) const = 0;
    virtual bool getHeightAndNormalAt(float x, float z, float& height, Vector3& normal) const = 0;
    // Per point: clearance below the tolerance (else a value not below it) and the normal under it;
    // true as soon as one point lies on or beyond the surface.
    virtual bool collidePoints(const Vector3* points, int count, float tolerance, float* distances,
                               Vector3* normals) const = 0;
    virtual void polygonizeRegion(const AABB& region, std::vector<TriangleIndices>& triangles,
                                  std::vector<Vector3>& vertices) const = 0;
    virtual void getRowHeights(int row, float* heights) const = 0;

    // Crossing of a segment (field frame) with the surface; writes only the hit's distance and normal.
    bool intersectSegment(const Segment& segment, SimpleHit& hit) const;

    Vector3 m_size;
    int m_resolution_x = 0;
    int m_resolution_z = 0;
};

}  // namespace Kinetic
