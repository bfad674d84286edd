// Parametric and racing-line splines: knot order, evaluation and its hint, the curve build, point
// refusals, times, look-ahead, binding and the forward match search.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "world/parametric_spline.h"
#include "world/qz_spline.h"
#include "world_fixture.h"

namespace {

struct Knot {
    float value, parameter;
};

void Build(CParametricSpline& s, const std::vector<Knot>& knots, float s0 = 0.0f, float s1 = 0.0f) {
    for (const Knot& k : knots) ASSERT_TRUE(s.AddPoint(k.value, k.parameter));
    ASSERT_TRUE(s.MakeCurrentPointsIntoSpline(s0, s1, false, nullptr));
}

bool Eval(const CParametricSpline& s, float t, float* v) {
    int index = 0;
    float fraction = 0.0f;
    return s.OptimizedGetPointOnSpline(t, *v, index, fraction);
}

// A racing line through world points (x, y, z) with w = 1.
void Line(CQZSpline& s, const worldtest::Points& pts) {
    ASSERT_TRUE(s.SetMaxNumPoints(int(pts.size())));
    for (const auto& p : pts) ASSERT_TRUE(s.AddPoint(p[0], p[1], p[2], 1.0f));
    ASSERT_TRUE(s.MakeCurrentPointsIntoSpline());
}

using worldtest::Straight;

// Checkpoint gates of the match search: always open, always shut.
bool Open(float&, float&, float, float, int) {
    return true;
}
bool Shut(float&, float&, float, float, int) {
    return false;
}

TEST(ParametricSpline, KnotOrderRefusalsAndEvaluationRange) {
    CParametricSpline s;
    for (const Knot& k : std::vector<Knot>{{5, 2}, {7, 1}, {9, 3}})
        EXPECT_TRUE(s.AddPoint(k.value, k.parameter));
    EXPECT_FALSE(s.AddPoint(0, 2));  // a duplicate in the middle
    EXPECT_FALSE(s.AddPoint(0, 3));  // and at the end
    ASSERT_EQ(s.count(), 3);
    EXPECT_EQ(s.knot(0).value, 7.0f);
    EXPECT_EQ(s.knot(2).parameter, 3.0f);
    CParametricSpline full;
    for (int i = 0; i < full.capacity(); ++i) ASSERT_TRUE(full.AddPoint(0, float(i)));
    EXPECT_FALSE(full.AddPoint(0, 1000));
    ASSERT_TRUE(full.SetMaxNumPoints(100));
    EXPECT_EQ(full.count(), 64);  // knots kept across the growth
    EXPECT_TRUE(full.AddPoint(0, 1000));
    EXPECT_FALSE(full.SetMaxNumPoints(-1));

    // Two knots: linear, both ends inside; three or more: the first parameter is outside.
    const std::vector<Knot> two = {{0, 0}, {10, 10}}, three = {{0, 0}, {4, 5}, {1, 10}};
    const struct {
        const std::vector<Knot>* knots;
        float t;
        bool ok;
        float value;  // checked when ok
    } cases[] = {
        {&two, 0.0f, true, 0.0f},    {&two, 10.0f, true, 10.0f}, {&two, 2.5f, true, 2.5f},
        {&two, -0.1f, false, 0},     {&two, 10.1f, false, 0},    {&three, 0.0f, false, 0},
        {&three, 10.0f, true, 1.0f}, {&three, 5.0f, true, 4.0f}, {&three, 10.5f, false, 0},
    };
    for (const auto& c : cases) {
        CParametricSpline k;
        Build(k, *c.knots);
        float v = -99.0f;
        EXPECT_EQ(Eval(k, c.t, &v), c.ok) << "t " << c.t << " knots " << c.knots->size();
        EXPECT_NEAR(c.ok ? v : 0.0f, c.value, 1e-5f) << "t " << c.t;
    }
    CParametricSpline one;
    one.AddPoint(1, 1);
    EXPECT_FALSE(one.MakeCurrentPointsIntoSpline(0, 0, false, nullptr));
}

// Knot derivatives of the curve build, worked by hand from the elimination order (no division by the
// previous pivot), unweighted and with unit interval weights; the curve meets every knot with them.
TEST(ParametricSpline, BuildDerivativesFollowTheEliminationOrder) {
    struct Case {
        std::vector<Knot> knots;
        float s0, s1;
        bool weighted;
        std::vector<float> D;
    } cases[] = {
        {{{0, 0}, {2, 1}, {2, 3}}, 3, 6, false, {3, -1, 6}},
        {{{0, 0}, {1, 1}, {2, 2}, {3, 3}}, 1, 1, false, {1, 0.4f, 0.4f, 1}},
        {{{0, 0}, {2, 1}, {2, 3}}, 3, 6, true, {3, -3, 6}},
    };
    for (const Case& c : cases) {
        CParametricSpline s;
        for (const Knot& k : c.knots) s.AddPoint(k.value, k.parameter);
        const std::vector<float> weights(c.knots.size(), 1.0f);
        ASSERT_TRUE(s.MakeCurrentPointsIntoSpline(c.s0, c.s1, false, c.weighted ? weights.data() : nullptr));
        for (size_t i = 0; i < c.D.size(); ++i) EXPECT_NEAR(s.derivative(int(i)), c.D[i], 1e-6f) << i;
        for (size_t i = 1; i < c.knots.size(); ++i) {
            float v;
            ASSERT_TRUE(Eval(s, c.knots[i].parameter, &v));
            EXPECT_NEAR(v, c.knots[i].value, 1e-5f);
        }
    }
}

TEST(ParametricSpline, MonotonicBuildTakesTheSmallerSecant) {
    CParametricSpline s;
    for (Knot k : std::vector<Knot>{{0, 0}, {10, 1}, {12, 2}, {30, 3}}) s.AddPoint(k.value, k.parameter);
    ASSERT_TRUE(s.MakeCurrentPointsIntoSpline(100, 100, true, nullptr));
    const float D[] = {10, 2, 2, 18};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.derivative(i), D[i]) << i;
}

// A hint outside 1..n-1, or naming a segment that does not hold t, is not trusted with its fraction.
TEST(ParametricSpline, BadHintsAreNotTrusted) {
    CParametricSpline s;
    Build(s, {{0, 0}, {8, 4}, {2, 10}, {5, 20}});
    float fresh, v;
    ASSERT_TRUE(Eval(s, 6.0f, &fresh));
    for (int bad : {0, 4, -3, 3}) {
        float f = 0.9f;
        ASSERT_TRUE(s.OptimizedGetPointOnSpline(6.0f, v, bad, f));
        EXPECT_EQ(v, fresh) << bad;
    }
}

TEST(RacingLine, PointRefusalsTimesAndTheCurveThroughThePoints) {
    CQZSpline r;
    ASSERT_TRUE(r.AddPoint(0, 0, 0, 1));
    const float refused[][4] = {
        {0.5f, 0.5f, 0.5f, 1}, {0, 0.99f, 0, 1}, {10, 0, 0, 0}, {10, 0, 0, -1}, {10, 0, 0, NAN}};
    for (const auto& c : refused)
        EXPECT_FALSE(r.AddPoint(c[0], c[1], c[2], c[3])) << c[0] << " " << c[1] << " " << c[3];
    for (int i = 1; i < r.capacity(); ++i) ASSERT_TRUE(r.AddPoint(0, float(i), 0, 1));
    EXPECT_FALSE(r.AddPoint(0, 1000, 0, 1));
    CQZSpline single;
    single.AddPoint(0, 0, 0, 1);
    EXPECT_FALSE(single.MakeCurrentPointsIntoSpline());
    EXPECT_EQ(single.GetPointTime(0), -1.0f);

    CQZSpline s;  // times are arc lengths
    Line(s, {{0, 0, 0}, {100, 0, 0}, {100, 0, 100}});
    EXPECT_EQ(s.GetPointTime(1), 100.0f);
    EXPECT_EQ(s.GetPointTime(2), 200.0f);
    EXPECT_EQ(s.GetPointTime(64), -1.0f);
    float x, y, z;
    int index = -1;
    ASSERT_TRUE(s.GetRawPointOnSpline(100.0f, x, y, z, &index));
    EXPECT_NEAR(x, 100.0f, 1e-3f);
    EXPECT_NEAR(z, 0.0f, 1e-3f);
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(s.GetRawPointOnSpline(200.5f, x, y, z, nullptr));
    CQZSpline two;  // two points: time is distance over the mean w, and the line is straight
    ASSERT_TRUE(two.AddPoint(0, 0, 0, 2));
    ASSERT_TRUE(two.AddPoint(30, 0, 40, 2));
    ASSERT_TRUE(two.MakeCurrentPointsIntoSpline());
    EXPECT_EQ(two.GetPointTime(1), 25.0f);
    ASSERT_TRUE(two.GetRawPointOnSpline(12.5f, x, y, z, nullptr));
    EXPECT_NEAR(x + z, 35.0f, 1e-4f);
}

TEST(RacingLine, LookAheadIsScaledByTheControlValueAndHalvedAtTheEnd) {
    CQZSpline s;
    ASSERT_TRUE(s.SetMaxNumPoints(21));
    for (int i = 0; i <= 20; ++i) ASSERT_TRUE(s.AddPoint(50.0f * i, 0, 0, 2.0f));
    ASSERT_TRUE(s.MakeCurrentPointsIntoSpline());
    struct Case {
        float t, ahead;
    } cases[] = {{100, 30}, {999.9f, 50}};
    for (const Case& c : cases) {
        float x, y, z, dx, dy, dz;
        ASSERT_TRUE(s.GetVControlledPointNDir(c.t, c.ahead, x, y, z, dx, dy, dz)) << c.t;
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 2.0f * c.ahead, 1e-3f) << c.t;
        EXPECT_GT(dx, 0.0f);
    }
    float x, y, z, dx, dy, dz;
    EXPECT_FALSE(s.GetVControlledPointNDir(1000.5f, 10, x, y, z, dx, dy, dz));
    EXPECT_FALSE(s.GetVControlledPointNDir(1000.0f, 10, x, y, z, dx, dy, dz));  // at the very end: no room
}

// A line 20 units to the side of the waypoint line and starting 30 units earlier runs 30 units of its own
// time ahead of the waypoint time everywhere; the bind also gives the waypoint line the small step its
// forward match search takes.
TEST(RacingLine, BindMapsWaypointTimeAndTheMatchSearchFollowsTheRacer) {
    CQZSpline s, line;
    Line(s, Straight(0, 1000, 0));
    Line(line, Straight(-30, 970, 20));
    ASSERT_TRUE(line.Bind(&s));
    EXPECT_FLOAT_EQ(s.bindInterval(), 50.0f / 1000.0f);
    for (float tc : {50.0f, 350.0f, 950.0f}) {  // the line's point nearest each waypoint
        float x, y, z;
        ASSERT_TRUE(line.GetRawPointOnSpline(line.GetMyTimeFromControl(tc), x, y, z, nullptr)) << tc;
        EXPECT_NEAR(x, tc, 0.1f);
        EXPECT_NEAR(z, 20.0f, 1e-3f);
    }
    CQZSpline unbuilt;
    EXPECT_FALSE(line.Bind(&unbuilt));
    EXPECT_EQ(unbuilt.GetMyTimeFromControl(10.0f), -1.0f);

    EXPECT_EQ(s.GetNewMatchTimeXZ(300.0f, 15.0f, 250.0f, 0.0f, Open, 0), 300.0f);  // behind its time
    const float caught = s.GetNewMatchTimeXZ(105.0f, 15.0f, 140.0f, 5.0f, Open, 0);
    EXPECT_LE(caught, 140.0f);
    EXPECT_GT(caught, 125.0f);
    EXPECT_EQ(s.GetNewMatchTimeXZ(105.0f, 15.0f, 140.0f, 5.0f, Shut, 0), 105.0f);
    // Past the middle of the next segment: the time moves to the end of its own segment.
    const float next = s.GetNewMatchTimeXZ(110.0f, 15.0f, 180.0f, 0.0f, Open, 0);
    EXPECT_GE(next, 149.0f);
    EXPECT_LE(next, 151.0f);
    // Running off the end of a closed line wraps to the loop-connect point.
    s.setLoopConnect(2);
    EXPECT_EQ(s.GetNewMatchTimeXZ(990.0f, 15.0f, 1200.0f, 0.0f, Open, 0), 100.0f + 15.0f);
    s.setLoopConnect(99);  // not one of its points: the first point
    EXPECT_EQ(s.GetNewMatchTimeXZ(990.0f, 15.0f, 1200.0f, 0.0f, Open, 0), 15.0f);
    EXPECT_EQ(s.GetNewMatchTimeXZ(999.0f, 15.0f, 1200.0f, 0.0f, Open, 0), 15.0f);
}

}  // namespace
