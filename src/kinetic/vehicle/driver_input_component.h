// What the driver asks for: pedals, steering wheel, handbrake and the wish to reverse. Written by the
// game's control code and read by the other components.
#pragma once

#include "kinetic/vehicle/vehicle_component.h"

namespace Kinetic {

class DriverInputComponent : public VehicleComponent {
public:
    float m_acceleratorPedalInput = 0.0f;
    float m_brakePedalInput = 0.0f;
    float m_steeringWheelInput = 0.0f;
    bool m_handbrakeOn = false;
    bool m_tryingToReverse = false;
};

}  // namespace Kinetic
