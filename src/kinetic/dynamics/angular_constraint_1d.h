// Holds a body's lean: the roll constraint of the bike, about the body's dir0 axis, measured by its dir1
// axis against the world up direction.
#pragma once

#include "kinetic/dynamics/constraint.h"
#include "kinetic/math/vector3.h"

namespace Kinetic {

class kn_Bike_Roll_Constraint;

class AngularConstraint1D : public Constraint {
public:
    explicit AngularConstraint1D(RigidBody* body);

    void internalInit(kn_Local_Constraint_System* system) override;
    // Stores the axes and re-initialises, which resets the angle to 0 until the next setAngle.
    void setAxis(const Vector3& up, const Vector3& dir0, const Vector3& dir1);
    // Valid once the constraint was added to a solver.
    void setAngle(float angle);
    kn_Bike_Roll_Constraint* getRollConstraint() const;

    Vector3 m_dir_os[2];
    Vector3 m_up_ws;
};

}  // namespace Kinetic
