// The pose copy between a model object and its body: units, the half turn, and body addressing.
#include <gtest/gtest.h>

#include "kinetic/dynamics/rigid_body.h"
#include "world/objects/kinetic_rigid_object.h"

namespace {

struct OneBody : KineticRigidObject {
    OneBody() : KineticRigidObject(3) { setRigidBody(&body); }
    Kinetic::RigidBody body;
};

TEST(KineticRigidObject, PoseGoesToPhysicsAndComesBack) {
    const float h = 0.70710678f;
    // clang-format off
    struct Case { qzVector3d pos; float s, x, y, z; };  // model orientation (s, x, y, z)
    for (const Case& c : {Case{{100.0f, 200.0f, -300.0f}, 1.0f, 0.0f, 0.0f, 0.0f}, Case{{-50.0f, 0.0f, 1250.0f}, h, 0.0f, h, 0.0f},
                          Case{{7.0f, -9.0f, 3.0f}, 0.5f, 0.5f, 0.5f, 0.5f}}) {
        // clang-format on
        OneBody o;
        EXPECT_EQ(o.getRigidBody(5), &o.body);  // one body answers every index
        o.position = c.pos;
        o.qOrientation.S = c.s;
        o.qOrientation.Axis = {c.x, c.y, c.z};
        o.updateKineticFromModelObject();
        Kinetic::Vector3 p;
        Kinetic::Quaternion q;
        o.body.getDisplayToWorldTransform(p, q);
        for (auto [got, want] : {std::pair{p.x, c.pos.x}, {p.y, c.pos.y}, {p.z, c.pos.z}})
            EXPECT_NEAR(got, want * 0.01f, 1e-5f);
        // Body = model x half turn about x: (s, x, y, z)(0, 1, 0, 0) = (-x, s, z, -y).
        for (auto [got, want] :
             {std::pair{q.m_real, -c.x}, {q.m_imag.x, c.s}, {q.m_imag.y, c.z}, {q.m_imag.z, -c.y}})
            EXPECT_NEAR(got, want, 1e-5f);
        o.position = qzVector3d();
        o.update(0.0f);
        for (auto [got, want] :
             {std::pair{o.position.x, c.pos.x}, {o.position.y, c.pos.y}, {o.position.z, c.pos.z}})
            EXPECT_NEAR(got, want, 1e-3f);
        // The half turn twice is the rotation -1: the same orientation with every sign flipped.
        const qzQuaternion& r = o.qOrientation;
        for (auto [got, want] : {std::pair{r.S, c.s}, {r.Axis.x, c.x}, {r.Axis.y, c.y}, {r.Axis.z, c.z}})
            EXPECT_NEAR(got, -want, 1e-5f);
    }
}

}  // namespace
