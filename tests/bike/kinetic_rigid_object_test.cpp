// The pose copy between a model object and its body: units, the half turn, and body addressing.
#include <gtest/gtest.h>

#include "bike/kinetic_rigid_object.h"
#include "game/model/packet.h"
#include "kinetic/dynamics/rigid_body.h"

namespace {

struct OneBody : KineticRigidObject {
    OneBody() : KineticRigidObject(3) { setRigidBody(&body); }
    Kinetic::RigidBody body;
};

TEST(KineticRigidObject, PoseGoesToPhysicsAndComesBack) {
    struct Case {
        qzVector3d pos;
        float s, x, y, z;  // model orientation
    };
    const float h = 0.70710678f;
    const Case cases[] = {
        {{100.0f, 200.0f, -300.0f}, 1.0f, 0.0f, 0.0f, 0.0f},
        {{-50.0f, 0.0f, 1250.0f}, h, 0.0f, h, 0.0f},
        {{7.0f, -9.0f, 3.0f}, 0.5f, 0.5f, 0.5f, 0.5f},
    };
    for (const Case& c : cases) {
        OneBody o;
        o.position = c.pos;
        o.qOrientation.S = c.s;
        o.qOrientation.Axis = {c.x, c.y, c.z};
        o.updateKineticFromModelObject();
        Kinetic::Vector3 p;
        Kinetic::Quaternion q;
        o.body.getDisplayToWorldTransform(p, q);
        EXPECT_NEAR(p.x, c.pos.x * 0.01f, 1e-5f);
        EXPECT_NEAR(p.y, c.pos.y * 0.01f, 1e-5f);
        EXPECT_NEAR(p.z, c.pos.z * 0.01f, 1e-5f);
        // Body = model x half turn about x: (s, x, y, z)(0, 1, 0, 0) = (-x, s, z, -y).
        EXPECT_NEAR(q.m_real, -c.x, 1e-5f);
        EXPECT_NEAR(q.m_imag.x, c.s, 1e-5f);
        EXPECT_NEAR(q.m_imag.y, c.z, 1e-5f);
        EXPECT_NEAR(q.m_imag.z, -c.y, 1e-5f);

        o.position = qzVector3d();
        o.update(0.0f);
        EXPECT_NEAR(o.position.x, c.pos.x, 1e-3f);
        EXPECT_NEAR(o.position.y, c.pos.y, 1e-3f);
        EXPECT_NEAR(o.position.z, c.pos.z, 1e-3f);
        // The half turn twice is the rotation -1: the same orientation with every sign flipped.
        EXPECT_NEAR(o.qOrientation.S, -c.s, 1e-5f);
        EXPECT_NEAR(o.qOrientation.Axis.x, -c.x, 1e-5f);
        EXPECT_NEAR(o.qOrientation.Axis.y, -c.y, 1e-5f);
        EXPECT_NEAR(o.qOrientation.Axis.z, -c.z, 1e-5f);
    }
}

TEST(KineticRigidObject, OneBodyAnswersEveryIndexAndIgnoresInput) {
    OneBody o;
    EXPECT_EQ(o.getRigidBodyCount(), 1);
    EXPECT_EQ(o.getRigidBody(5), o.getRigidBody(0));
    EXPECT_EQ(o.getRigidBody(0), &o.body);
    o.position = qzVector3d(1.0f, 2.0f, 3.0f);
    CPacket packet(0, PKT_ACTION, 1, static_cast<unsigned char>(0));
    o.doAction(packet, 0.0f);
    EXPECT_EQ(o.position.x, 1.0f);
    EXPECT_EQ(o.rigidBody, &o.body);
}

}  // namespace
