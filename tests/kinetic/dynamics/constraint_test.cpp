// Constraints and their layer: the roll constraint's passes and angle resets, and the solver's life with
// its constraints.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "../collide/test_shapes.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/fast_constraint_solver.h"
#include "kinetic/dynamics/fast_subspace.h"
#include "kinetic/dynamics/kn_bike_roll_constraint.h"
#include "kinetic/dynamics/kn_local_constraint_system.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

// A body leaning by 0.25 rad about z, so that its x axis rises out of the horizontal.
std::unique_ptr<RigidBody> leaningBody() {
    std::unique_ptr<RigidBody> b(sphereBody(1.0f, 2.0f, Vector3(0, 0, 0)));
    b->setInertia(Matrix3(2, 0, 0, 0, 3, 0, 0, 0, 4));
    place(b.get(), Vector3(0, 0, 0), aboutZ(0.25f));
    return b;
}

kn_Bike_Roll_BP rollBP() {
    kn_Bike_Roll_BP bp;
    bp.m_tau = 1.0f;
    bp.m_strength = 1.0f;
    bp.m_dir0 = kn_Vector3(0, 0, 1);  // the row: spin about the body's z axis
    bp.m_dir1 = kn_Vector3(1, 0, 0);
    bp.m_up = kn_Vector3(0, -1, 0);
    return bp;
}

kn_PSI_Info psi60() {
    kn_PSI_Info p;
    p.m_delta_time = 1.0f / 60.0f;
    p.m_inv_delta_time = 60.0f;
    return p;
}

}  // namespace

TEST(RollConstraintTest, SetupPassSetsTheSpinAndLaterPassesBlend) {
    auto b = leaningBody();
    b->m_angularVelocity = Vector3(0.3f, -0.2f, 5.0f);
    kn_Local_Constraint_System system;
    auto* c = new kn_Bike_Roll_Constraint(&system, rollBP(), b.get());
    c->set_roll_angle(0.1f);
    const Vector3 a = b->m_transformation.getRotatedDir(Vector3(0, 0, 1));
    const Vector3 x = b->m_transformation.getRotatedDir(Vector3(1, 0, 0));
    const float error = Vector3(0, -1, 0).dot(x) - std::sin(0.1f);
    EXPECT_NEAR(error, -std::sin(0.25f) - std::sin(0.1f), 1e-6f);
    kn_PSI_Info psi = psi60();
    alignas(16) unsigned char storage[kn_Bike_Roll_Constraint::kStorageSize];
    EXPECT_EQ(c->setup_and_step_constraint(psi, storage, 1.0f, 1.0f), 224);
    EXPECT_NEAR(a.dot(b->m_angularVelocity), error * 60.0f, 1e-3f);  // whatever it was before
    // A pass of 0.8 from another spin keeps a fifth of it.
    b->m_angularVelocity = a * 2.0f;
    c->step_constraint(psi, storage, 0.8f, 0.8f);
    EXPECT_NEAR(a.dot(b->m_angularVelocity), 0.2f * 2.0f + 0.8f * error * 60.0f, 1e-3f);
}

TEST(RollConstraintTest, ConstraintsLeaveTheirSystemWhenTheyGo) {
    auto b = leaningBody();
    kn_Local_Constraint_System system;
    auto* first = new kn_Bike_Roll_Constraint(&system, rollBP(), b.get());
    auto* second = new kn_Bike_Roll_Constraint(&system, rollBP(), b.get());
    EXPECT_EQ(system.m_constraints.length(), 2);
    EXPECT_EQ(system.m_entities.length(), 1);  // the one body, listed once
    EXPECT_EQ(system.m_total_storage_size, 448);
    EXPECT_EQ(first->get_effector_priority(), 1);
    first->entity_deletion_event(b.get());  // a binary effector goes with an entity
    ASSERT_EQ(system.m_constraints.length(), 1);
    EXPECT_EQ(system.m_constraints[0], second);
    EXPECT_EQ(system.m_total_storage_size, 224);
    EXPECT_EQ(system.get_effector_priority(), 0);
}

TEST(RollConstraintTest, SetAxisResetsTheAngleUntilTheNextSetAngle) {
    auto b = leaningBody();
    AngularConstraint1D c(b.get());
    EXPECT_EQ(c.m_type, KN_CONSTRAINT_HINGE);
    EXPECT_FLOAT_EQ(c.m_dir_os[0].x, 1.0f);
    FastConstraintSolver solver;
    solver.addConstraint(&c);
    ASSERT_NE(c.getRollConstraint(), nullptr);
    c.setAngle(0.3f);
    EXPECT_FLOAT_EQ(c.getRollConstraint()->get_roll_angle(), 0.3f);
    c.setAxis(Vector3(0, -1, 0), Vector3(0, 0, 1), Vector3(1, 0, 0));
    EXPECT_FLOAT_EQ(c.getRollConstraint()->get_roll_angle(), 0.0f);
    EXPECT_FLOAT_EQ(c.getRollConstraint()->m_dir0.z, 1.0f);
    c.setAngle(0.2f);
    EXPECT_FLOAT_EQ(c.getRollConstraint()->get_roll_angle(), 0.2f);
    EXPECT_EQ(b->m_neverDeactivate, 1);
    solver.removeConstraint(&c);
    EXPECT_EQ(b->m_neverDeactivate, 0);
    EXPECT_EQ(c.getRollConstraint(), nullptr);
}

TEST(FastConstraintSolverTest, DiesWithItsLastConstraintAndConstraintsOutlivingItForgetIt) {
    auto b = leaningBody();
    RigidCollection collection;
    auto* solver = new FastConstraintSolver();
    auto c1 = std::make_unique<AngularConstraint1D>(b.get());
    auto c2 = std::make_unique<AngularConstraint1D>(b.get());
    solver->addConstraint(c1.get());
    solver->addConstraint(c2.get());
    collection.addAction(solver, 0);
    c1.reset();
    EXPECT_EQ(solver->getNumConstraints(), 1);
    EXPECT_EQ(collection.getActions().size(), 1u);
    c2.reset();  // the last one: the solver announces its own death
    EXPECT_EQ(collection.getActions().size(), 0u);
    delete solver;
    AngularConstraint1D c(b.get());
    {
        FastConstraintSolver short_lived;
        short_lived.addConstraint(&c);
        ASSERT_NE(c.getRollConstraint(), nullptr);
    }
    EXPECT_EQ(c.getRollConstraint(), nullptr);
    c.setAngle(0.2f);  // nothing to set, and nothing freed is touched
    c.applyChanges();
    EXPECT_EQ(c.getDependants().size(), 0u);
}
