// The wheels: per-wheel radius, width, friction and axle, the axle count, and the per-wheel state the
// vehicle writes every step.
#pragma once

#include <vector>

#include "kinetic/vehicle/vehicle_blueprints.h"
#include "kinetic/vehicle/vehicle_component.h"
#include "kinetic/vehicle/vehicle_info.h"

namespace Kinetic {

class WheelsComponent : public VehicleComponent {
public:
    explicit WheelsComponent(const knWheelsComponentBP& bp);
    // Runs after the vehicle's step.
    virtual void postUpdateWheels() {}
    void reinitializeInternal(const knWheelsComponentBP& bp);

    unsigned m_numWheels;
    std::vector<float> m_wheelsRadius;
    std::vector<float> m_wheelsWidth;
    std::vector<float> m_wheelsFriction;
    std::vector<float> m_wheelsViscosityFriction;
    std::vector<unsigned> m_wheelsAxle;
    unsigned m_numAxles = 0;
    std::vector<unsigned> m_numWheelsPerAxle;
    std::vector<WheelInfo> m_wheelsInfo;
};

// Wheels whose optional display bodies follow the wheels after every step.
class DefaultWheels : public WheelsComponent {
public:
    explicit DefaultWheels(const knDefaultWheelsBP& bp)
        : WheelsComponent(bp), m_wheelsRigidBody(bp.m_wheelsRigidBody) {}
    void postUpdateWheels() override;

    std::vector<RigidBody*> m_wheelsRigidBody;  // not owned; entries may be null
};

}  // namespace Kinetic
