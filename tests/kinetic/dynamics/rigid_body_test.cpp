// Rigid body: mass and inertia, placement by the display origin, integration, state arrays, the collision
// matrix and clones.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "kinetic/collide/spherical_primitive.h"
#include "kinetic/dynamics/rigid_body.h"

using namespace Kinetic;

namespace {

SphericalPrimitiveBlueprint sphere(float r, float mass, const Vector3& at) {
    SphericalPrimitiveBlueprint bp;
    bp.m_radius = r;
    bp.m_mass = mass;
    bp.m_offsetTransform.setTranslation(at);
    return bp;
}

Quaternion axisAngle(const Vector3& axis, float angle) {
    Vector3 a = axis.getNormalized();
    return Quaternion(std::cos(angle / 2), a * std::sin(angle / 2));
}

void expectVec(const Vector3& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

}  // namespace

TEST(RigidBodyTest, MassAndInertia) {
    RigidBody b;
    Primitive* p = b.addPrimitive(sphere(1, 1, Vector3_Zero));
    const Matrix3 unit = b.m_unitInertia;
    b.setMass(2.0f);
    EXPECT_EQ(p->m_mass, 2.0f);
    EXPECT_NEAR(b.m_inertia(0, 0), 2 * unit(0, 0), 1e-6f);
    EXPECT_NEAR(b.m_inertiaInv(1, 1), 1.0f / (2 * unit(1, 1)), 1e-5f);
    b.setInertia(Matrix3(4, 0, 0, 0, 2, 0, 0, 0, 0));  // singular: inverted on the diagonal
    EXPECT_FLOAT_EQ(b.m_unitInertia(0, 0), 2.0f);
    EXPECT_FLOAT_EQ(b.m_inertiaInv(0, 0), 0.25f);
    EXPECT_FLOAT_EQ(b.m_inertiaInv(1, 1), 0.5f);
    EXPECT_EQ(b.m_inertiaInv(2, 2), 0.0f);
    b.setInertia(Matrix3_Zero);
    EXPECT_TRUE(b.m_inertiaInv.isExactlyZero());
    b.setMass(0.0f);  // fixes the body, for good
    EXPECT_TRUE(b.isFixed());
    EXPECT_FALSE(b.isActive());
    EXPECT_EQ(p->m_mass, 0.0f);
    EXPECT_EQ(b.m_massInv, 0.0f);
    b.setMass(5.0f);
    EXPECT_EQ(b.m_mass, 0.0f);
    b.setInertia(Matrix3_Identity);
    EXPECT_TRUE(b.m_inertiaInv.isExactlyZero());
}

TEST(RigidBodyTest, TwoSpheresCentreOfMassAndParallelAxis) {
    RigidBody b;
    const Vector3 displayPos(10, -2, 3);
    const Quaternion displayRot = axisAngle(Vector3(0, 1, 0), 0.7f);
    b.setDisplayToWorldTransform(displayPos, displayRot);
    Primitive* p0 = b.addPrimitive(sphere(0.5f, 1, Vector3(0, 0, 0)));
    const float own = p0->m_unitInertia(0, 0);  // 0.4 r^2 per unit mass
    Primitive* p1 = b.addPrimitive(sphere(0.5f, 1, Vector3(2, 0, 0)));
    EXPECT_FLOAT_EQ(b.m_mass, 2.0f);
    expectVec(b.m_local_to_display_translation, 1, 0, 0);
    expectVec(p0->m_bodyToLocalTransform.getTranslation(), -1, 0, 0);
    expectVec(p1->m_bodyToLocalTransform.getTranslation(), 1, 0, 0);
    EXPECT_NEAR(b.m_inertia(0, 0), 2 * own, 1e-5f);
    EXPECT_NEAR(b.m_inertia(1, 1), 2 * own + 2, 1e-5f);
    EXPECT_NEAR(b.m_inertia(2, 2), 2 * own + 2, 1e-5f);
    Vector3 pos;
    Quaternion rot;
    b.getDisplayToWorldTransform(pos, rot);
    expectVec(pos, displayPos.x, displayPos.y, displayPos.z);
    // The centre of mass is one unit along the rotated body x axis from the display origin.
    const Vector3 expected = displayPos + displayRot.getRotatedPos(Vector3(1, 0, 0));
    expectVec(b.m_position, expected.x, expected.y, expected.z);
}

TEST(RigidBodyTest, ShiftCentreOfMassKeepsDisplayPoseAndSetTransformMovesIt) {
    RigidBody b;
    b.addPrimitive(sphere(1, 1, Vector3_Zero));
    const Quaternion q = axisAngle(Vector3(1, 0, 0), 1.2f);
    b.setDisplayToWorldTransform(Vector3(1, 2, 3), q);
    const Vector3 before = b.m_position;
    b.shiftCentreOfMass(Vector3(0, 0.1f, 0));
    Vector3 pos;
    Quaternion rot;
    b.getDisplayToWorldTransform(pos, rot);
    expectVec(pos, 1, 2, 3);
    const Vector3 moved = before + q.getRotatedPos(Vector3(0, 0.1f, 0));
    expectVec(b.m_position, moved.x, moved.y, moved.z);
    // The shape stays where it was in the world.
    Primitive* p = b.getPrimitives()[0];
    expectVec(p->getBodyToWorldTransform().getTranslation(), before.x, before.y, before.z);
    // Setting the transform moves the start state and invalidates the shapes' cached transforms.
    Transform t;
    t.setTranslation(Vector3(4, 5, 6));
    const int serial = b.m_serialNumber;
    b.setTransform(t);
    EXPECT_EQ(b.m_serialNumber, serial + 1);
    expectVec(b.m_startPosition, 4, 5, 6);
    expectVec(p->getBodyToWorldTransform().getTranslation(), 4, 5 - 0.1f, 6);  // the shift stays
    EXPECT_EQ(p->m_worldSerialNumber, b.m_serialNumber);
}

TEST(RigidBodyTest, EulerIntegrateUsesVelocitiesBeforeForces) {
    RigidBody b;
    b.addPrimitive(sphere(1, 2, Vector3_Zero));
    b.m_linearVelocity = Vector3(1, 0, 0);
    b.m_forceAccum = Vector3(0, 4, 0);
    b.m_torqueAccum = Vector3(0, 0, 1);
    b.eulerIntegrate(0.5f);
    expectVec(b.m_position, 0.5f, 0, 0);     // old velocity
    expectVec(b.m_linearVelocity, 1, 1, 0);  // + dt F / m
    EXPECT_EQ(b.m_rotation.m_real, 1.0f);    // old angular velocity was zero
    EXPECT_NEAR(b.m_angularVelocity.z, 0.5f * b.m_inertiaInv(2, 2), 1e-6f);
    EXPECT_EQ(b.m_forceAccum.lengthSqrd(), 0.0f);
    EXPECT_EQ(b.m_torqueAccum.lengthSqrd(), 0.0f);
}

TEST(RigidBodyTest, StateArrayRoundTrip) {
    RigidBody b;
    b.addPrimitive(sphere(1, 3, Vector3_Zero));
    b.setDisplayToWorldTransform(Vector3(1, 2, 3), axisAngle(Vector3(1, 1, 0), 0.4f));
    b.m_linearVelocity = Vector3(0.5f, -1, 2);
    b.m_angularVelocity = Vector3(0.1f, 0.2f, -0.3f);
    b.m_forceAccum = Vector3(1, 1, 1);
    float a[13];
    b.convertToArray(a);
    EXPECT_FLOAT_EQ(a[8], -3.0f);  // momentum
    b.convertFromArray(a);
    expectVec(b.m_position, 1, 2, 3);
    expectVec(b.m_linearVelocity, 0.5f, -1, 2);
    expectVec(b.m_angularVelocity, 0.1f, 0.2f, -0.3f);
    EXPECT_EQ(b.m_forceAccum.lengthSqrd(), 0.0f);
    float d[13];
    b.m_torqueAccum = Vector3(0, 0, 7);
    b.convertDerivativeToArray(d);
    const Quaternion dq = Quaternion(0.0f, b.m_angularVelocity) * b.m_rotation;
    EXPECT_FLOAT_EQ(d[6], 0.5f * dq.m_real);
    EXPECT_FLOAT_EQ(d[12], 7.0f);
    d[7] = 9;
    b.convertFromDerivativeArray(d);
    EXPECT_EQ(b.m_forceAccum.x, 9.0f);
    // Angular momentum is deliberately not rotated into world axes: the bike's handling is tuned on this.
    RigidBody turned;
    turned.setInertia(Matrix3(1, 0, 0, 0, 2, 0, 0, 0, 3));
    turned.setDisplayToWorldTransform(Vector3_Zero, axisAngle(Vector3(0, 0, 1), 1.5707964f));
    turned.m_angularVelocity = Vector3(1, 0, 0);
    turned.convertToArray(a);
    EXPECT_FLOAT_EQ(a[10], 1.0f);
    EXPECT_FLOAT_EQ(a[11], 0.0f);
}

TEST(RigidBodyTest, StepPositionInterpolatesTheLastStep) {
    RigidBody b;
    b.addPrimitive(sphere(1, 1, Vector3_Zero));
    b.m_linearVelocity = Vector3(2, 0, 0);
    b.setStartState();
    b.eulerIntegrate(0.1f);
    b.m_timestep = 0.1f;
    b.m_stepPosition = 1.0f;
    b.setStepPosition(0.5f);
    expectVec(b.m_position, 0.1f, 0, 0);
    b.setStepPosition(0.0f);
    expectVec(b.m_position, 0, 0, 0);
    EXPECT_EQ(b.m_stepPosition, 0.0f);
    b.setPinned(true);
    b.setStepPosition(1.0f);
    EXPECT_EQ(b.m_stepPosition, 0.0f);  // pinned bodies stay put
    EXPECT_EQ(b.m_linearVelocity.lengthSqrd(), 0.0f);
}

TEST(RigidBodyTest, CollisionMatrixAndPointVelocity) {
    RigidBody b;
    b.addPrimitive(sphere(1, 2, Vector3_Zero));
    b.recomputeTransform();
    b.m_angularVelocity = Vector3(0, 0, 1);
    expectVec(b.getPointVelocity(Vector3(1, 0, 0)), 0, 1, 0);
    // K . j equals the velocity change of an impulse j at p.
    const Vector3 p(0.5f, 0.3f, -0.2f), j(0.1f, -0.4f, 0.7f);
    const Vector3 r = p - b.m_position;
    const Vector3 dv = j * b.m_massInv + (b.m_worldInertiaInv * r.cross(j)).cross(r);
    const Vector3 kj = b.getCollisionMatrix(p) * j;
    expectVec(kj, dv.x, dv.y, dv.z);
}

TEST(RigidBodyTest, CloneCopiesStateButNotMotion) {
    RigidBody b;
    b.addPrimitive(sphere(1, 2, Vector3(0, 1, 0)));
    b.setDisplayToWorldTransform(Vector3(3, 0, 0), Quaternion_Zero);
    b.m_linearVelocity = Vector3(1, 2, 3);
    b.m_forceAccum = Vector3(5, 5, 5);
    std::unique_ptr<RigidBody> c(b.clone());
    EXPECT_EQ(c->m_mass, 2.0f);
    EXPECT_EQ(c->m_linearVelocity.lengthSqrd(), 0.0f);
    EXPECT_EQ(c->m_forceAccum.lengthSqrd(), 0.0f);
    ASSERT_EQ(c->getPrimitives().size(), 1u);
    EXPECT_EQ(c->getPrimitives()[0]->getEntity(), c.get());
    EXPECT_NE(c->getPrimitives()[0]->m_ID, b.getPrimitives()[0]->m_ID);
    expectVec(c->getPrimitives()[0]->getBodyToWorldTransform().getTranslation(), 3, 1, 0);
    EXPECT_TRUE(c->getDependants().empty());
}
