// A vehicle whose wheels are segment casts along their suspension: the chassis receives suspension,
// aerodynamic and wheel-friction impulses straight on its velocities.
#pragma once

#include <vector>

#include "kinetic/collide/group_segment_test.h"
#include "kinetic/vehicle/kinetic_vehicle.h"
#include "kinetic/vehicle/raycast_friction_solver.h"

namespace Kinetic {

class IntersectionSolver;
class RigidBody;

class RaycastVehicle : public KineticVehicle {
public:
    // Refuses (fatal error) a blueprint that would make the vehicle read out of bounds: missing
    // components, chassis body or solver, component wheel counts that disagree, axle indices out of
    // range, a wheel radius that is not positive, or an axle count other than two.
    explicit RaycastVehicle(const knRaycastVehicleBP& bp);
    ~RaycastVehicle() override;

    void updateBodiesInfo() override;
    void doSimulationStep() override;
    void reinitializeInternal(const knRaycastVehicleBP& bp);

    IntersectionSolver* m_intersectionSolver;  // not owned
    RaycastFrictionSolver m_frictionSolver;
    unsigned m_numExternalVehicleControllers;
    std::vector<ExternalVehicleController*> m_externalVehicleControllers;  // owned
    RigidBody* m_chassisRigidBody;                                         // not owned
    bool m_frictionSolverEnabled = true;

private:
    // One nearest-hit cast per wheel, kept from step to step.
    GroupSegmentTest m_wheelCasts;

    static unsigned checkedAxleCount(const knRaycastVehicleBP& bp);
};

}  // namespace Kinetic
