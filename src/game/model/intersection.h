// The process-wide holder of the ray intersection solver that the vehicles' ray casts use.
#pragma once

#include "kinetic/collide/intersection_solver.h"

class CIntersection {
public:
    static CIntersection* intersectionPtr;

    CIntersection();
    ~CIntersection();
    CIntersection(const CIntersection&) = delete;
    CIntersection& operator=(const CIntersection&) = delete;

    Kinetic::IntersectionSolver m_raycaster;
};

// The singleton, made on first use.
CIntersection* GetIntersection();
