// World-space aerodynamic force and torque, applied to the chassis every step.
#pragma once

#include "kinetic/math/vector3.h"
#include "kinetic/vehicle/vehicle_component.h"

namespace Kinetic {

class AerodynamicsComponent : public VehicleComponent {
public:
    Vector3 m_totalForceWS{0.0f, 0.0f, 0.0f};
    Vector3 m_totalTorqueWS{0.0f, 0.0f, 0.0f};
};

}  // namespace Kinetic
