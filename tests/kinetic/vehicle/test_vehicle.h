// A two-wheel raycast vehicle with a roll constraint on a height field, for the vehicle tests and the
// benchmark: a convex box chassis (half extents 0.3 wide, 0.5 high, 1.0 long), wheels of radius 0.35 on
// the centre line 0.75 ahead of and behind the centre, suspension rest length 0.5, spring 4000 N/m and
// damping 300 N s/m, hardpoints 0.3 below the centre (0.2 above the chassis floor); rear wheel driven,
// front wheel steered; side friction yaws the chassis through its full arm. The chassis uses the z-up,
// x-right, y-forward coordinate system; in the engine's frame (+y down) it is turned so that forward is +z
// and up is -y.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "../collide/test_shapes.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/intersection_solver.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/fast_constraint_solver.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/vehicle/brake_component.h"
#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/default_aerodynamics.h"
#include "kinetic/vehicle/default_brake.h"
#include "kinetic/vehicle/default_engine.h"
#include "kinetic/vehicle/default_steering.h"
#include "kinetic/vehicle/default_suspension.h"
#include "kinetic/vehicle/default_transmission.h"
#include "kinetic/vehicle/driver_input_component.h"
#include "kinetic/vehicle/kinetic_vehicle_action.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"

namespace Kinetic {
namespace testing_vehicle {

// Forward +z, up -y: a quarter turn about x.
inline Quaternion uprightFacingZ() {
    const float h = std::sqrt(0.5f);
    return Quaternion(h, h, 0.0f, 0.0f);
}

struct VehicleRig {
    // centre: the chassis centre in world space (forward +z); rollConstraint: whether to hold the lean.
    VehicleRig(Toolkit& kit, IntersectionSolver* solver, Geometry* chassisBox, const Vector3& centre,
               bool rollConstraint = true) {
        chassis = new RigidBody();
        GeometricPrimitiveBlueprint gp;
        gp.m_geometry = chassisBox;
        gp.m_mass = 100.0f;
        gp.m_isConvex = 1;
        chassis->addPrimitive(gp);
        chassis->m_friction = 0.8f;
        chassis->m_restitution = 0.1f;
        kit.addRigidBody(chassis, centre, uprightFacingZ());

        knDefaultChassisBP cbp;
        cbp.m_coordinateSystem = CCS_Z_UP_X_RIGHT;
        cbp.m_mass = 100.0f;
        knDefaultWheelsBP wbp(2);
        wbp.m_wheelsAxle = {0, 1};
        wbp.m_wheelsRadius = {0.35f, 0.35f};
        knDefaultSteeringBP sbp(2);
        sbp.m_maxSteeringAngle = 0.2f;
        sbp.m_wheelsDoesSteer = {true, false};
        knDefaultEngineBP ebp;
        ebp.m_torque = 12.0f;
        knDefaultTransmissionBP tbp(2, 4);
        tbp.m_gearsRatio = {12.0f, 8.0f, 6.0f, 5.0f};
        tbp.m_wheelsTorqueRatio = {0.0f, 1.0f};
        tbp.m_primaryTransmissionRatio = 3.0f;
        tbp.m_upshiftRPM = 5000.0f;
        tbp.m_downshiftRPM = 2000.0f;
        tbp.m_clutchDelayTime = 0.1f;
        tbp.m_reverseGearRatio = 10.0f;
        knDefaultBrakeBP bbp(2);
        bbp.m_wheelsMaxBrakingTorque = {300.0f, 300.0f};
        bbp.m_wheelsIsConnectedToHandbrake = {false, true};
        knDefaultSuspensionBP spbp(2);
        for (int i = 0; i < 2; ++i) {
            spbp.m_wheelsHardpointCS[i] = Vector3(0.0f, i == 0 ? 0.75f : -0.75f, -0.3f);
            spbp.m_wheelsDirectionCS[i] = Vector3(0.0f, 0.0f, -1.0f);
            spbp.m_wheelsLength[i] = 0.5f;
            spbp.m_wheelsStrength[i] = 4000.0f;
            spbp.m_wheelsDampingCompression[i] = 300.0f;
            spbp.m_wheelsDampingRelaxation[i] = 300.0f;
        }
        knRaycastVehicleBP vbp(0);
        vbp.m_chassis = new DefaultChassis(cbp);
        vbp.m_wheels = new DefaultWheels(wbp);
        vbp.m_driverInput = input = new DriverInputComponent();
        vbp.m_steering = new DefaultSteering(sbp);
        vbp.m_engine = new DefaultEngine(ebp);
        vbp.m_transmission = new DefaultTransmission(tbp);
        vbp.m_brake = new DefaultBrake(bbp);
        vbp.m_aerodynamics = new DefaultAerodynamics(knDefaultAerodynamicsBP());
        vbp.m_suspension = new DefaultSuspension(spbp);
        vbp.m_chassisRigidBody = chassis;
        vbp.m_intersectionSolver = solver;
        // Side friction turns the chassis through the full arm about its up axis, none about the others.
        vbp.m_torqueYawFactor = 1.0f;
        vehicle = std::make_unique<RaycastVehicle>(vbp);
        action = std::make_unique<KineticVehicleAction>(vehicle.get());
        kit.m_defaultRigidCollection->addAction(action.get(), 1);
        if (rollConstraint) {
            // As the bike sets its roll constraint up.
            roll = std::make_unique<AngularConstraint1D>(chassis);
            roll->m_tau = 0.075f;
            roll->setAxis(Vector3(0, -1, 0), Vector3(0, 1, 0), Vector3(1, 0, 0));
            constraints = std::make_unique<FastConstraintSolver>();
            constraints->addConstraint(roll.get());
            kit.m_defaultRigidCollection->addAction(constraints.get(), 0);
            constraints->setDeactivationThreshold(0.0f);
            roll->m_tau = 0.5f;
            roll->setAngle(0.0f);
        }
    }
    ~VehicleRig() {
        // The constraint first (its solver then leaves the collection), then the solver.
        roll.reset();
        constraints.reset();
    }

    // Forward speed along the chassis's forward axis.
    float forwardSpeed() const {
        const Vector3 f = chassis->m_transformation.getRotatedDir(Vector3(0, 1, 0));
        return chassis->m_linearVelocity.dot(f);
    }
    // Lean about the forward axis: how far the chassis's right axis rises out of the horizontal.
    float lean() const {
        const Vector3 right = chassis->m_transformation.getRotatedDir(Vector3(1, 0, 0));
        return std::asin(std::fmax(-1.0f, std::fmin(1.0f, -right.y)));
    }
    // Heading in the x-z plane, radians from +z towards +x.
    float heading() const {
        const Vector3 f = chassis->m_transformation.getRotatedDir(Vector3(0, 1, 0));
        return std::atan2(f.x, f.z);
    }
    WheelsComponent& wheels() const { return *vehicle->m_wheels; }
    TransmissionComponent& transmission() const { return *vehicle->m_transmission; }

    RigidBody* chassis = nullptr;  // owned by the toolkit
    DriverInputComponent* input = nullptr;
    std::unique_ptr<RaycastVehicle> vehicle;
    std::unique_ptr<KineticVehicleAction> action;
    std::unique_ptr<AngularConstraint1D> roll;
    std::unique_ptr<FastConstraintSolver> constraints;
};

}  // namespace testing_vehicle
}  // namespace Kinetic
