#include "kinetic/vehicle/kinetic_vehicle.h"

#include "kinetic/vehicle/aerodynamics_component.h"
#include "kinetic/vehicle/brake_component.h"
#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/engine_component.h"
#include "kinetic/vehicle/steering_component.h"
#include "kinetic/vehicle/suspension_component.h"
#include "kinetic/vehicle/transmission_component.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {

KineticVehicle::KineticVehicle(const knKineticVehicleBP& bp)
    : m_wheels(bp.m_wheels),
      m_chassis(bp.m_chassis),
      m_driverInput(bp.m_driverInput),
      m_steering(bp.m_steering),
      m_engine(bp.m_engine),
      m_transmission(bp.m_transmission),
      m_brake(bp.m_brake),
      m_suspension(bp.m_suspension),
      m_aerodynamics(bp.m_aerodynamics) {
    VehicleComponent* all[9] = {m_chassis,      m_wheels, m_driverInput, m_steering,    m_engine,
                                m_transmission, m_brake,  m_suspension,  m_aerodynamics};
    for (VehicleComponent* c : all)
        if (c) c->m_vehicle = this;
}

KineticVehicle::~KineticVehicle() {
    delete m_chassis;
    delete m_wheels;
    delete m_driverInput;
    delete m_steering;
    delete m_engine;
    delete m_transmission;
    delete m_brake;
    delete m_suspension;
    delete m_aerodynamics;
}

}  // namespace Kinetic
