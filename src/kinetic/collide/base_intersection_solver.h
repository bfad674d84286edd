// Interface of segment-query solvers.
#pragma once

namespace Kinetic {

class GroupSegmentTest;
class SegmentTest;

class BaseIntersectionSolver {
public:
    virtual ~BaseIntersectionSolver() = default;
    virtual bool solveSingleTest(SegmentTest& test) = 0;
    virtual bool solveGroupTest(GroupSegmentTest& group) = 0;
};

}  // namespace Kinetic
