// An action that solves the constraints it holds in every step.
#pragma once

#include "kinetic/dynamics/action.h"

namespace Kinetic {

class Constraint;

class ConstraintSolver : public Action {
public:
    virtual void addConstraint(Constraint* c) = 0;
    virtual void removeConstraint(Constraint* c) = 0;
    virtual int getNumConstraints() const = 0;
    virtual Constraint* getConstraint(int i) const = 0;
};

}  // namespace Kinetic
