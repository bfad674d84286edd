// Construction parameters of the vehicle components and of the vehicle itself. The creator fills them,
// builds the components and may destroy the blueprints afterwards. Values the framework gives no default
// start at 0.
#pragma once

#include <vector>

#include "kinetic/math/vector3.h"
#include "kinetic/vehicle/vehicle_info.h"

namespace Kinetic {

class AerodynamicsComponent;
class BrakeComponent;
class ChassisComponent;
class DriverInputComponent;
class EngineComponent;
class ExternalVehicleController;
class IntersectionSolver;
class RigidBody;
class SteeringComponent;
class SuspensionComponent;
class TransmissionComponent;
class WheelsComponent;

struct knChassisComponentBP {
    ChassisCoordinateSystem m_coordinateSystem = CCS_Z_UP_X_RIGHT;
    float m_mass = 1000.0f;
};
struct knDefaultChassisBP : knChassisComponentBP {};

struct knWheelsComponentBP {
    explicit knWheelsComponentBP(unsigned n)
        : m_numWheels(n),
          m_wheelsAxle(n, 0),
          m_wheelsRadius(n, 0.5f),
          m_wheelsWidth(n, 0.3f),
          m_wheelsFriction(n, 1.0f),
          m_wheelsViscosityFriction(n, 0.1f),
          m_wheelsMass(n, 3.0f) {}
    unsigned m_numWheels;
    std::vector<unsigned> m_wheelsAxle;
    std::vector<float> m_wheelsRadius;
    std::vector<float> m_wheelsWidth;
    std::vector<float> m_wheelsFriction;
    std::vector<float> m_wheelsViscosityFriction;
    std::vector<float> m_wheelsMass;
};
struct knDefaultWheelsBP : knWheelsComponentBP {
    explicit knDefaultWheelsBP(unsigned n) : knWheelsComponentBP(n), m_wheelsRigidBody(n, nullptr) {}
    std::vector<RigidBody*> m_wheelsRigidBody;
};

struct knSteeringComponentBP {
    explicit knSteeringComponentBP(unsigned n) : m_numWheels(n), m_wheelsDoesSteer(n, false) {}
    unsigned m_numWheels;
    float m_maxSteeringAngle = 0.0f;
    float m_maxSpeedFullSteeringAngle = 0.0f;
    std::vector<bool> m_wheelsDoesSteer;
};
struct knDefaultSteeringBP : knSteeringComponentBP {
    explicit knDefaultSteeringBP(unsigned n) : knSteeringComponentBP(n) {}
};

struct knDefaultEngineBP {
    float m_minRPM = 1000.0f;
    float m_optRPM = 4000.0f;
    float m_maxRPM = 6000.0f;
    float m_torque = 800.0f;
    float m_torqueFactorAtMinRPM = 1.0f;
    float m_torqueFactorAtMaxRPM = 1.0f;
    float m_resistanceFactorAtMinRPM = 0.0f;
    float m_resistanceFactorAtOptRPM = 0.0f;
    float m_resistanceFactorAtMaxRPM = 0.0f;
    float m_clutchSlipRPM = 2000.0f;
};

struct knTransmissionComponentBP {
    knTransmissionComponentBP(unsigned n, unsigned gears)
        : m_numWheels(n),
          m_numGears(gears),
          m_gearsRatio(gears, 1.0f),
          m_wheelsTorqueRatio(n, n ? 1.0f / n : 0.0f) {}
    unsigned m_numWheels;
    unsigned m_numGears;
    std::vector<float> m_gearsRatio;
    std::vector<float> m_wheelsTorqueRatio;
    float m_downshiftRPM = 0.0f;
    float m_upshiftRPM = 0.0f;
    float m_primaryTransmissionRatio = 0.0f;
    float m_clutchDelayTime = 0.0f;
    float m_reverseGearRatio = 0.0f;
};
struct knDefaultTransmissionBP : knTransmissionComponentBP {
    knDefaultTransmissionBP(unsigned n, unsigned gears) : knTransmissionComponentBP(n, gears) {}
};

struct knBrakeComponentBP {
    explicit knBrakeComponentBP(unsigned n)
        : m_numWheels(n),
          m_wheelsMaxBrakingTorque(n, 0.0f),
          m_wheelsMinPedalInputToBlock(n, 1.1f),
          m_wheelsMinTimeToBlock(n, 0.0f),
          m_wheelsIsConnectedToHandbrake(n, false) {}
    unsigned m_numWheels;
    std::vector<float> m_wheelsMaxBrakingTorque;
    std::vector<float> m_wheelsMinPedalInputToBlock;
    std::vector<float> m_wheelsMinTimeToBlock;
    std::vector<bool> m_wheelsIsConnectedToHandbrake;
};
struct knDefaultBrakeBP : knBrakeComponentBP {
    explicit knDefaultBrakeBP(unsigned n) : knBrakeComponentBP(n) {}
};

struct knSuspensionComponentBP {
    explicit knSuspensionComponentBP(unsigned n)
        : m_numWheels(n), m_wheelsHardpointCS(n), m_wheelsDirectionCS(n), m_wheelsLength(n, 0.0f) {}
    unsigned m_numWheels;
    std::vector<Vector3> m_wheelsHardpointCS;
    std::vector<Vector3> m_wheelsDirectionCS;
    std::vector<float> m_wheelsLength;
};
struct knDefaultSuspensionBP : knSuspensionComponentBP {
    explicit knDefaultSuspensionBP(unsigned n)
        : knSuspensionComponentBP(n),
          m_wheelsStrength(n, 0.0f),
          m_wheelsDampingCompression(n, 0.0f),
          m_wheelsDampingRelaxation(n, 0.0f) {}
    std::vector<float> m_wheelsStrength;
    std::vector<float> m_wheelsDampingCompression;
    std::vector<float> m_wheelsDampingRelaxation;
};

struct knDefaultAerodynamicsBP {
    float m_airDensity = 0.0f;
    float m_frontalArea = 0.0f;
    float m_dragCoefficient = 0.0f;
    float m_liftCoefficient = 0.0f;
    Vector3 m_extraGravity{0.0f, 0.0f, 0.0f};
};

struct knKineticVehicleBP {
    ChassisComponent* m_chassis = nullptr;
    WheelsComponent* m_wheels = nullptr;
    DriverInputComponent* m_driverInput = nullptr;
    SteeringComponent* m_steering = nullptr;
    EngineComponent* m_engine = nullptr;
    TransmissionComponent* m_transmission = nullptr;
    BrakeComponent* m_brake = nullptr;
    AerodynamicsComponent* m_aerodynamics = nullptr;
    SuspensionComponent* m_suspension = nullptr;
};

struct knRaycastVehicleBP : knKineticVehicleBP {
    explicit knRaycastVehicleBP(unsigned n)
        : m_numExternalVehicleControllers(n), m_externalVehicleControllers(n) {}
    unsigned m_numExternalVehicleControllers;
    RigidBody* m_chassisRigidBody = nullptr;
    IntersectionSolver* m_intersectionSolver = nullptr;
    std::vector<ExternalVehicleController*> m_externalVehicleControllers;
    float m_frictionEqualizer = 0.0f;
    float m_torqueRollFactor = 0.0f;
    float m_torquePitchFactor = 0.0f;
    float m_torqueYawFactor = 0.0f;
    float m_extraTorqueFactor = 0.0f;
    float m_extraAngularImpulseFactor = 0.0f;
    float m_chassisUnitInertiaYaw = 1.0f;
    float m_chassisUnitInertiaRoll = 1.0f;
    float m_chassisUnitInertiaPitch = 1.0f;
};

}  // namespace Kinetic
