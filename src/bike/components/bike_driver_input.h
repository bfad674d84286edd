// The bike's driver input: the bike's control step writes the pedals and steering directly, so the
// component's own update does nothing.
#pragma once

#include "kinetic/vehicle/driver_input_component.h"

namespace Kinetic {

class CBikeDriverInput : public DriverInputComponent {
public:
    CBikeDriverInput() = default;
    void updateComponent() override {}
};

}  // namespace Kinetic
