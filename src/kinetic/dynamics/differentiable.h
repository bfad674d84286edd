// A system of first-order equations as the integrators see it.
#pragma once

#include "kinetic/dynamics/vector_n.h"

namespace Kinetic {

class Differentiable {
public:
    virtual ~Differentiable() = default;
    virtual void getArrayFromState(VectorN& x) const = 0;
    virtual void setStateFromArray(const VectorN& x) = 0;
    virtual void getDerivativeArray(float t, const VectorN& state, VectorN& derivative) = 0;
    virtual void setDerivativesFromArray(const VectorN& dx) { (void)dx; }
};

}  // namespace Kinetic
