// An action run once per outer step by the subspace (deactivators, the monitor), after the sub-steps.
#pragma once

#include "kinetic/dynamics/action.h"

namespace Kinetic {

class StepAction : public Action {
public:
    void apply(Subspace& subspace, float t) override {
        (void)subspace;
        (void)t;
    }
    virtual void stepApply(Subspace& subspace, float t) = 0;
};

}  // namespace Kinetic
