// The bike's aerodynamics: drag along the chassis's forward axis only (against the forward speed,
// growing with its square), lift along the up axis, and an extra gravity the bike sets to pull itself
// down in jumps and crashes (times the chassis mass). No torque.
#pragma once

#include "kinetic/vehicle/aerodynamics_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class CBikeAerodynamics : public AerodynamicsComponent {
public:
    // The blueprint's extra gravity is not taken over: the bike sets its own.
    explicit CBikeAerodynamics(const knDefaultAerodynamicsBP& bp);
    void updateComponent() override;
    Vector3 calcAerodynamicLift() const;

    float m_airDensity;
    float m_frontalArea;
    float m_dragCoefficient;
    float m_liftCoefficient;
    Vector3 m_extraGravity{0.0f, 0.0f, 0.0f};
};

}  // namespace Kinetic
