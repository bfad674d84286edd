// A vehicle assembled from its nine components, which it adopts and owns.
#pragma once

#include "kinetic/vehicle/vehicle_blueprints.h"
#include "kinetic/vehicle/vehicle_info.h"

namespace Kinetic {

class KineticVehicle {
public:
    explicit KineticVehicle(const knKineticVehicleBP& bp);
    virtual ~KineticVehicle();
    KineticVehicle(const KineticVehicle&) = delete;
    KineticVehicle& operator=(const KineticVehicle&) = delete;

    virtual void updateBodiesInfo() = 0;
    virtual void doSimulationStep() = 0;

    TimeInfo m_timeInfo;
    WheelsComponent* m_wheels;
    ChassisComponent* m_chassis;
    DriverInputComponent* m_driverInput;
    SteeringComponent* m_steering;
    EngineComponent* m_engine;
    TransmissionComponent* m_transmission;
    BrakeComponent* m_brake;
    SuspensionComponent* m_suspension;
    AerodynamicsComponent* m_aerodynamics;
};

}  // namespace Kinetic
