// The chassis: its coordinate system's axes in chassis space, and the chassis state of this step (written
// by the vehicle before any component runs).
#pragma once

#include "kinetic/vehicle/vehicle_blueprints.h"
#include "kinetic/vehicle/vehicle_component.h"
#include "kinetic/vehicle/vehicle_info.h"

namespace Kinetic {

class ChassisComponent : public VehicleComponent {
public:
    explicit ChassisComponent(const knChassisComponentBP& bp);

    ChassisCoordinateSystem m_coordinateSystem;
    Vector3 m_forwardDirCS{0.0f, 0.0f, 0.0f};
    Vector3 m_upDirCS{0.0f, 0.0f, 0.0f};
    Vector3 m_rightDirCS{0.0f, 0.0f, 0.0f};
    BodyInfo m_chassisInfo;
};

class DefaultChassis : public ChassisComponent {
public:
    explicit DefaultChassis(const knDefaultChassisBP& bp) : ChassisComponent(bp) {}
};

}  // namespace Kinetic
