// An axis-aligned box with its eight corners in the engine's corner-set layout. The corner set is either
// owned (built from bounds) or borrowed from a geometry block; writing new bounds into a borrowed set
// first takes a private copy, because the geometry's set is shared by every object drawn with it.
//
// Corner order (w = 1): 1 (minX,minY,maxZ) 2 (maxX,minY,maxZ) 3 (maxX,minY,minZ) 4 (minX,minY,minZ)
//                       5 (minX,maxY,maxZ) 6 (maxX,maxY,maxZ) 7 (maxX,maxY,minZ) 8 (minX,maxY,minZ)
#pragma once

#include <cstdint>

#include "engine/hal/geometry.h"
#include "game/core/qz_math.h"

using _bbox = _BBOX;

class CBoundingBox {
public:
    CBoundingBox();
    ~CBoundingBox();
    CBoundingBox(const CBoundingBox&) = delete;
    CBoundingBox& operator=(const CBoundingBox&) = delete;

    void setBoundingBox(float minX, float minY, float minZ, float maxX, float maxY, float maxZ);
    // Borrows the given corner set (freeing an owned one).
    void setBoundingBox(_bbox* corners);
    void calculateMinMax();
    void expand(CBoundingBox* other);
    int isContainedXZ(CBoundingBox* other);
    int intersects(CBoundingBox* other);

    float minX, minY, minZ;
    float maxX, maxY, maxZ;
    qzVector3d centerPoint;
    uint8_t allocBbox;
    uint8_t bboxValid;
    _bbox* b;

private:
    void setCenter();
};
