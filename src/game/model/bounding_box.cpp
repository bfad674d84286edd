#include "game/model/bounding_box.h"

#include <algorithm>

namespace {

void SetCorner(_bbox* b, int n, float x, float y, float z) {
    float* c = b->corner[n - 1];
    c[0] = x;
    c[1] = y;
    c[2] = z;
    c[3] = 1.0f;
}

}  // namespace

CBoundingBox::CBoundingBox()
    : minX(0), minY(0), minZ(0), maxX(0), maxY(0), maxZ(0), allocBbox(0), bboxValid(0), b(nullptr) {}

CBoundingBox::~CBoundingBox() {
    if (allocBbox) delete b;
}

void CBoundingBox::setCenter() {
    centerPoint.x = (minX + maxX) / 2.0f;
    centerPoint.y = (minY + maxY) / 2.0f;
    centerPoint.z = (minZ + maxZ) / 2.0f;
}

void CBoundingBox::setBoundingBox(float x0, float y0, float z0, float x1, float y1, float z1) {
    // A borrowed set belongs to a geometry shared by every object drawn with it: never write into it.
    if (!bboxValid || !allocBbox) {
        b = new _bbox();
        allocBbox = 1;
        bboxValid = 1;
    }
    minX = x0;
    minY = y0;
    minZ = z0;
    maxX = x1;
    maxY = y1;
    maxZ = z1;
    SetCorner(b, 1, minX, minY, maxZ);
    SetCorner(b, 2, maxX, minY, maxZ);
    SetCorner(b, 3, maxX, minY, minZ);
    SetCorner(b, 4, minX, minY, minZ);
    SetCorner(b, 5, minX, maxY, maxZ);
    SetCorner(b, 6, maxX, maxY, maxZ);
    SetCorner(b, 7, maxX, maxY, minZ);
    SetCorner(b, 8, minX, maxY, minZ);
    setCenter();
}

void CBoundingBox::setBoundingBox(_bbox* corners) {
    if (allocBbox) delete b;
    b = corners;
    allocBbox = 0;
    bboxValid = corners ? 1 : 0;
    if (!corners) return;
    calculateMinMax();
    setCenter();
}

void CBoundingBox::calculateMinMax() {
    if (!b) return;
    auto c = [this](int n, int axis) { return b->corner[n - 1][axis]; };
    minX = std::min({c(1, 0), c(4, 0), c(5, 0), c(8, 0)});
    maxX = std::max({c(2, 0), c(3, 0), c(6, 0), c(7, 0)});
    minY = std::min({c(1, 1), c(2, 1), c(3, 1), c(4, 1)});
    maxY = std::max({c(5, 1), c(6, 1), c(7, 1), c(8, 1)});
    minZ = std::min({c(3, 2), c(4, 2), c(7, 2), c(8, 2)});
    maxZ = std::max({c(1, 2), c(2, 2), c(5, 2), c(6, 2)});
}

void CBoundingBox::expand(CBoundingBox* o) {
    setBoundingBox(std::min(minX, o->minX), std::min(minY, o->minY), std::min(minZ, o->minZ),
                   std::max(maxX, o->maxX), std::max(maxY, o->maxY), std::max(maxZ, o->maxZ));
}

int CBoundingBox::isContainedXZ(CBoundingBox* o) {
    return minX >= o->minX - 0.5f && minZ >= o->minZ - 0.5f && maxX <= o->maxX + 0.5f &&
           maxZ <= o->maxZ + 0.5f;
}

int CBoundingBox::intersects(CBoundingBox* o) {
    if (!o->b) return 0;
    for (const auto& c : o->b->corner) {
        if (minX <= c[0] && c[0] <= maxX && minY <= c[1] && c[1] <= maxY && minZ <= c[2] && c[2] <= maxZ)
            return 1;
    }
    return 0;
}
