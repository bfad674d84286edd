// The engine's torque and speed, passed to the transmission.
#pragma once

#include "kinetic/vehicle/vehicle_component.h"

namespace Kinetic {

class EngineComponent : public VehicleComponent {
public:
    float m_engineTorque = 0.0f;
    float m_engineRPM = 0.0f;
};

}  // namespace Kinetic
