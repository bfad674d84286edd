// Steps a vehicle inside every physics step: timing, the vehicle's body state, the components in their
// fixed order, the vehicle's step and the wheels' follow-up.
#pragma once

#include "kinetic/dynamics/action.h"

namespace Kinetic {

class KineticVehicle;

class KineticVehicleAction : public Action {
public:
    explicit KineticVehicleAction(KineticVehicle* vehicle) : m_kineticVehicle(vehicle) {
        m_lastRefresh = -1.0f;
    }
    void apply(Subspace& subspace, float t) override;

    KineticVehicle* m_kineticVehicle;  // not owned
};

}  // namespace Kinetic
