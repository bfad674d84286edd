#include "kinetic/vehicle/kinetic_vehicle_action.h"

#include "kinetic/dynamics/subspace.h"
#include "kinetic/vehicle/aerodynamics_component.h"
#include "kinetic/vehicle/brake_component.h"
#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/engine_component.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/steering_component.h"
#include "kinetic/vehicle/suspension_component.h"
#include "kinetic/vehicle/transmission_component.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

void KineticVehicleAction::apply(Subspace& subspace, float t) {
    KineticVehicle& v = *m_kineticVehicle;
    v.m_timeInfo.m_currentTime = t;
    v.m_timeInfo.m_deltaTime = t - subspace.m_lastTime;
    v.m_timeInfo.m_deltaTimeInv = 1.0f / v.m_timeInfo.m_deltaTime;
    v.updateBodiesInfo();
    VehicleComponent* order[9] = {v.m_chassis,      v.m_wheels, v.m_driverInput, v.m_steering,    v.m_engine,
                                  v.m_transmission, v.m_brake,  v.m_suspension,  v.m_aerodynamics};
    for (VehicleComponent* c : order)
        if (c) c->updateComponent();
    v.doSimulationStep();
    if (v.m_wheels) v.m_wheels->postUpdateWheels();
    m_lastRefresh = t;
}

}  // namespace Kinetic
