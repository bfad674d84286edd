// An engine whose torque is the pedal times the peak torque times a factor that runs linearly from the
// minimum-RPM factor to 1 at the optimal RPM and on to the maximum-RPM factor; the resistance factors
// take the same shape and are subtracted. The RPM follows the transmission's, within the engine's range.
#pragma once

#include "kinetic/vehicle/engine_component.h"
#include "kinetic/vehicle/vehicle_blueprints.h"

namespace Kinetic {

class DefaultEngine : public EngineComponent {
public:
    explicit DefaultEngine(const knDefaultEngineBP& bp) : m_bp(bp) { m_engineRPM = bp.m_minRPM; }
    void updateComponent() override;

    knDefaultEngineBP m_bp;
};

}  // namespace Kinetic
