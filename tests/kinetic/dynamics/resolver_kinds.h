// One resolver of each kind the subspace offers, for tests that run a case through all of them.
#pragma once

#include <memory>

#include "kinetic/dynamics/complex_friction_rr_resolver.h"
#include "kinetic/dynamics/frictionless_rr_resolver.h"
#include "kinetic/dynamics/naive_resolver.h"
#include "kinetic/dynamics/simple_friction_rr_resolver.h"
#include "kinetic/dynamics/subspace.h"

namespace Kinetic::testing_shapes {

inline std::unique_ptr<RRResolver> makeResolver(int kind) {
    switch (kind) {
        case Subspace::NAIVE:
            return std::make_unique<NaiveResolver>();
        case Subspace::FRICTIONLESS:
            return std::make_unique<FrictionlessRRResolver>();
        case Subspace::SIMPLEFRICTION:
            return std::make_unique<SimpleFrictionRRResolver>();
        default:
            return std::make_unique<ComplexFrictionRRResolver>();
    }
}

}  // namespace Kinetic::testing_shapes
