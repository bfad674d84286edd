// Air drag against the chassis velocity (0.5 x density x drag coefficient x frontal area x speed^2), lift
// along the chassis up axis from the forward speed, and an extra gravity scaled by the chassis mass.
#pragma once

#include "kinetic/vehicle/aerodynamics_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class DefaultAerodynamics : public AerodynamicsComponent {
public:
    explicit DefaultAerodynamics(const knDefaultAerodynamicsBP& bp) : m_bp(bp) {}
    void updateComponent() override;

    knDefaultAerodynamicsBP m_bp;
};

}  // namespace Kinetic
