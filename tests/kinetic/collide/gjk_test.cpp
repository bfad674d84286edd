// The distance kernel: convex hull distances against hand-worked gaps and against the closest triangle
// pairs of turned hulls, hill-climbing supports, and the storage rule of the kept contact points.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>

#include "kinetic/collide/gjk.h"
#include "kinetic/collide/tt_intersection.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;

namespace {

struct BoxPair {
    std::unique_ptr<Geometry> g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
    std::unique_ptr<RigidBody> a, b;
    BoxPair(const Vector3& pa, const Vector3& pb, const Quaternion& qa = Quaternion_Zero) {
        a.reset(meshBody(g.get(), 1, true, pa, qa));
        b.reset(meshBody(g.get(), 1, true, pb));
        prim(a.get())->precomputeCDinfo(0.2f);
        prim(b.get())->precomputeCDinfo(0.2f);
    }
    static GeometricPrimitive* prim(RigidBody* r) {
        return static_cast<GeometricPrimitive*>(r->getPrimitives()[0]);
    }
    float run(ContactPoint& out, GJKCache& cache) {
        GJK_HillConvex sa(prim(a.get())), sb(prim(b.get()));
        return GJK(sa, sb, out, &cache);
    }
};

}  // namespace

TEST(GJKTest, SeparatedBoxesGiveTheGapTheAxisNormalAndTheMidpoint) {
    BoxPair p(Vector3(1.3f, 0, 0), Vector3(0, 0, 0));
    ContactPoint out;
    GJKCache cache;
    const float d = p.run(out, cache);
    EXPECT_NEAR(d, 0.3f, 1e-5f);
    EXPECT_NEAR(out.m_distance, 0.3f, 1e-5f);
    EXPECT_NEAR(out.m_normal.x, 1.0f, 1e-5f);  // from the second box towards the first
    EXPECT_NEAR(out.m_normal.y, 0.0f, 1e-5f);
    EXPECT_NEAR(out.m_position.x, 0.65f, 1e-5f);  // midway between the faces at 0.5 and 0.8
    // The points on each shape are in that shape's own frame: on A's face x = -0.5, on B's x = +0.5.
    EXPECT_NEAR(out.m_pointA.x, -0.5f, 1e-5f);
    EXPECT_NEAR(out.m_pointB.x, 0.5f, 1e-5f);
    // Along another axis, and with the roles exchanged the normal flips.
    BoxPair q(Vector3(0, 0, 0), Vector3(0, -1.75f, 0));
    EXPECT_NEAR(q.run(out, cache), 0.75f, 1e-5f);
    EXPECT_NEAR(out.m_normal.y, 1.0f, 1e-5f);
}

TEST(GJKTest, TouchingOverlappingAndNearlyTouchingBoxesReturnMinusOneAndLeaveOutAlone) {
    for (float x : {1.0f, 0.7f, 1.000001f, 0.0f}) {
        BoxPair p(Vector3(x, 0, 0), Vector3(0, 0, 0));
        ContactPoint out;
        out.m_distance = 123.0f;
        out.m_normal = Vector3(7, 7, 7);
        GJKCache cache;
        EXPECT_EQ(p.run(out, cache), -1.0f) << x;
        EXPECT_EQ(out.m_distance, 123.0f);
        EXPECT_EQ(out.m_normal.x, 7.0f);
    }
}

TEST(GJKTest, HillClimbingReachesTheSameSupportAsAScan) {
    auto g = boxGeometry(Vector3(1, 2, 3));
    std::unique_ptr<RigidBody> body(meshBody(g.get(), 1, true, Vector3(4, 5, 6), aboutZ(0.3f)));
    auto* gp = static_cast<GeometricPrimitive*>(body->getPrimitives()[0]);
    gp->precomputeCDinfo(0.2f);
    ASSERT_NE(gp->m_connectivity, nullptr);
    GJK_HillConvex climb(gp);
    GJK_Convex scan(gp);
    for (int i = 0; i < 26; ++i) {
        const Vector3 d(static_cast<float>(i % 3) - 1.0f, static_cast<float>((i / 3) % 3) - 1.0f,
                        static_cast<float>(i / 9) - 1.0f + 0.01f);
        const Vector3 a = climb.toWorld(climb.getSupportingVertex(d));
        const Vector3 b = scan.toWorld(scan.getSupportingVertex(d));
        EXPECT_NEAR(d.dot(a), d.dot(b), 1e-5f) << i;
    }
}

TEST(GJKTest, KeptPointsSurviveWithinToleranceAndDieBeyond) {
    BoxPair p(Vector3(0, -1.05f, 0), Vector3(0, 0, 0));  // face on face, gap 0.05
    GJK_HillConvex sa(BoxPair::prim(p.a.get())), sb(BoxPair::prim(p.b.get()));
    GJKCache cache;
    ContactPoint stored;
    // A point kept from an earlier pass, at a corner of the faces, 1 unit away from any new contact.
    stored.m_pointA = Vector3(0.5f, 0.5f, 0.5f);
    stored.m_pointB = Vector3(0.5f, -0.5f, 0.5f);
    cache.m_points.push_back(stored);
    std::vector<CollisionDetails> details(1);
    details[0].m_contact.m_position = Vector3(-0.5f, -0.525f, -0.5f);
    cache.m_size = 1;
    ValidatePoints(sa, sb, cache, details, 0.2f);
    ASSERT_EQ(details.size(), 2u);
    EXPECT_NEAR(details[1].m_contact.m_distance, 0.05f, 1e-5f);
    EXPECT_NEAR(details[1].m_contact.m_position.y, -0.525f, 1e-5f);
    EXPECT_EQ(cache.m_points.size(), 1u);
    // The bodies part by 0.3: the kept point's gap reaches the tolerance and it is removed.
    place(p.a.get(), Vector3(0, -1.3f, 0));
    details.resize(1);
    ValidatePoints(sa, sb, cache, details, 0.2f);
    EXPECT_EQ(details.size(), 1u);
    EXPECT_TRUE(cache.m_points.empty());
}

TEST(GJKTest, RandomlyTurnedHullsMatchTheClosestTrianglePairs) {
    // The distance of two disjoint hulls is the least distance of any triangle of one to any of the
    // other, which the triangle routine gives exactly.
    auto ga = boxGeometry(Vector3(0.5f, 0.3f, 0.8f));
    auto gb = boxGeometry(Vector3(0.4f, 0.9f, 0.2f));
    uint32_t s = 2024;
    auto rnd = [&s] {
        s = s * 1103515245u + 12345u;
        return static_cast<float>((s >> 8) & 0xFFFF) / 65536.0f;
    };
    int checked = 0;
    for (int trial = 0; trial < 40; ++trial) {
        Quaternion qa(rnd() - 0.5f, rnd() - 0.5f, rnd() - 0.5f, rnd() - 0.5f);
        Quaternion qb(rnd() - 0.5f, rnd() - 0.5f, rnd() - 0.5f, rnd() - 0.5f);
        auto unit = [](Quaternion q) {
            const float l = std::sqrt(q.lengthSqrd());
            return Quaternion(q.m_real / l, q.m_imag.x / l, q.m_imag.y / l, q.m_imag.z / l);
        };
        const Vector3 pa(3 * rnd(), 3 * rnd(), 3 * rnd());
        std::unique_ptr<RigidBody> a(meshBody(ga.get(), 1, true, pa, unit(qa)));
        std::unique_ptr<RigidBody> b(meshBody(gb.get(), 1, true, Vector3(0, 0, 0), unit(qb)));
        auto* pa_ = static_cast<GeometricPrimitive*>(a->getPrimitives()[0]);
        auto* pb_ = static_cast<GeometricPrimitive*>(b->getPrimitives()[0]);
        pa_->precomputeCDinfo(0.1f);
        pb_->precomputeCDinfo(0.1f);
        float best = FLT_MAX;
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 12; ++j) {
                Vector3 s1[3], s2[3], p, q;
                for (int k = 0; k < 3; ++k) {
                    s1[k] = pa_->getWorldFaceVertex(i, k);
                    s2[k] = pb_->getWorldFaceVertex(j, k);
                }
                best = std::min(best, TTintersection::closestTriTri(s1, s2, p, q));
            }
        GJK_HillConvex sa(pa_), sb(pb_);
        GJKCache cache;
        ContactPoint out;
        const float d = GJK(sa, sb, out, &cache);
        if (best < 1e-3f) {
            continue;  // touching or overlapping (a hull inside the other shows no crossing triangles)
        }
        ++checked;
        EXPECT_NEAR(d, best, 2e-4f) << trial;
        // The reported points are that far apart along the normal.
        const Vector3 wa = pa_->getBodyToWorldTransform().getTransformedPos(out.m_pointA);
        const Vector3 wb = pb_->getBodyToWorldTransform().getTransformedPos(out.m_pointB);
        EXPECT_NEAR((wa - wb).length(), d, 2e-4f);
        EXPECT_NEAR((wa - wb).dot(out.m_normal), d, 2e-4f);
    }
    EXPECT_GT(checked, 20);
}

TEST(GJKTest, NonFinitePoseEndsAtOnceWithNoContact) {
    // A body that blew up numerically must neither hang the kernel nor make a contact.
    BoxPair p(Vector3(1.3f, 0, 0), Vector3(0, 0, 0));
    const float nan = std::nanf("");
    place(p.a.get(), Vector3(nan, 0, 0));
    ContactPoint out;
    GJKCache cache;
    const float d = p.run(out, cache);
    EXPECT_FALSE(d >= 0.0f && d < 1e30f);  // never a finite separation within any tolerance
}
