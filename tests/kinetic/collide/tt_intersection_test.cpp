// Closest points of a point and a triangle against hand-worked answers (triangle pairs are checked
// through the distance kernel's hull test).
#include <gtest/gtest.h>

#include <cmath>

#include "kinetic/collide/tt_intersection.h"

using namespace Kinetic;

namespace {

void expectVec(const Vector3& v, const Vector3& e) {
    EXPECT_NEAR(v.x, e.x, 1e-5f);
    EXPECT_NEAR(v.y, e.y, 1e-5f);
    EXPECT_NEAR(v.z, e.z, 1e-5f);
}

}  // namespace

TEST(ClosestPointTriTest, EachRegionGivesItsFeatureCodeAndFoot) {
    const Vector3 tri[3] = {Vector3(0, 0, 0), Vector3(3, 0, 0), Vector3(0, 3, 0)};
    struct Case {
        Vector3 p;
        float distance;
        Vector3 foot;
        int code;
    } cases[] = {
        // Over or under the face: code 2.
        {Vector3(1, 1, 2), 2.0f, Vector3(1, 1, 0), 2},
        {Vector3(1, 1, -0.5f), 0.5f, Vector3(1, 1, 0), 2},
        // Beyond each corner: codes 0, 3, 6.
        {Vector3(-1, -1, 0), std::sqrt(2.0f), Vector3(0, 0, 0), 0},
        {Vector3(5, -1, 1), std::sqrt(6.0f), Vector3(3, 0, 0), 3},
        {Vector3(-1, 5, 0), std::sqrt(5.0f), Vector3(0, 3, 0), 6},
        // Beside an edge: codes 10 (edge 0), 22 (edge 1), 7 (edge 2).
        {Vector3(1, -2, 0), 2.0f, Vector3(1, 0, 0), 10},
        {Vector3(3, 3, 0), 1.5f * std::sqrt(2.0f), Vector3(1.5f, 1.5f, 0), 22},
        {Vector3(-2, 1, 0), 2.0f, Vector3(0, 1, 0), 7},
        // On edge 0: distance 0, but the point reported is edge 2's closest point (the sphere test discards
        // contacts this close, so only the distance matters); the end of edge 2 at parameter exactly 1
        // still counts as the edge.
        {Vector3(1, 0, 0), 0.0f, Vector3(0, 0, 0), 7},
        {Vector3(0, 1, 0), 0.0f, Vector3(0, 1, 0), 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p.x << "," << c.p.y << "," << c.p.z);
        Vector3 r;
        int code = -1;
        EXPECT_NEAR(TTintersection::closestPointTri(c.p, tri, r, code), c.distance, 1e-5f);
        expectVec(r, c.foot);
        EXPECT_EQ(code, c.code);
    }
    // A collapsed triangle gives its point; a zero-area sliver a finite answer.
    const Vector3 p(2, 2, 2);
    const Vector3 dot[3] = {p, p, p};
    const Vector3 line[3] = {Vector3(0, 0, 0), Vector3(1, 0, 0), Vector3(2, 0, 0)};
    Vector3 r;
    int code = -1;
    EXPECT_NEAR(TTintersection::closestPointTri(Vector3(2, 2, 5), dot, r, code), 3.0f, 1e-6f);
    expectVec(r, p);
    EXPECT_NEAR(TTintersection::closestPointTri(Vector3(1, 1, 0), line, r, code), 1.0f, 1e-6f);
}
