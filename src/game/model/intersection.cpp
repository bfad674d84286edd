#include "game/model/intersection.h"

CIntersection* CIntersection::intersectionPtr = nullptr;

CIntersection::CIntersection() = default;

CIntersection::~CIntersection() {
    if (intersectionPtr == this) intersectionPtr = nullptr;
}

CIntersection* GetIntersection() {
    if (!CIntersection::intersectionPtr) CIntersection::intersectionPtr = new CIntersection();
    return CIntersection::intersectionPtr;
}
