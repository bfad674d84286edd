// Splines: parametric knots, evaluation, hints and the curve build; racing lines' point refusals, times,
// look-ahead, binding and match search; the spline section's refusals of damaged sections; the spline
// manager's loading, point, lap and checkpoint queries, and the terrain walks of the ramp searches.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "support/image_patch.h"
#include "support/log_capture.h"
#include "world/parametric_spline.h"
#include "world/qz_spline.h"
#include "world/spline_format.h"
#include "world/spline_manager.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"
#include "world_fixture.h"

namespace {

using testsupport::Peek;
using testsupport::Poke;
using worldtest::Points;
using worldtest::Straight;

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
    // Control values at the float limit make the look-ahead not a number: refused, not searched forever.
    CQZSpline huge;
    ASSERT_TRUE(huge.SetMaxNumPoints(5));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(huge.AddPoint(50.0f * i, 0, 0, i % 2 ? 3e38f : 1.0f));
    ASSERT_TRUE(huge.MakeCurrentPointsIntoSpline());
    for (float t : {30.0f, 75.0f, 120.0f, 170.0f}) huge.GetVControlledPointNDir(t, 1, x, y, z, dx, dy, dz);
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

constexpr int kTiles = 16;  // 1792 x 1792 world units at grid spacing 2: one half-unit map position a unit
constexpr float kGrid = 2.0f;

SplineRecord Record(const Points& world, int loop = 0, int lap = 0) {
    SplineRecord r;
    r.loopConnect = int16_t(loop);
    r.lapWaypoint = int16_t(lap);
    for (const auto& p : world)
        r.points.push_back(SplinePointFromWorld(p[0], p[1], p[2], 1.0f, kGrid, kTiles));
    return r;
}

// The track of these tests: the waypoint line along x at z 400 (0..1000, times equal to x), the first
// racing line 20 units beside it; the other lines empty.
SplineSection Track() {
    SplineSection s;
    s[CSplineManager::WayPoint] = Record(Straight(0, 1000, 400), 0, 12);
    s[CSplineManager::WayPoint].startLapped = 5;
    s[CSplineManager::BegOne] = Record(Straight(0, 1000, 420), 2);
    return s;
}

// Byte offset of record i in a written section.
size_t RecordAt(const std::vector<uint8_t>& bytes, int i) {
    size_t at = 0;
    for (int k = 0; k < i; ++k) {
        const int n = Peek<int16_t>(bytes, at);
        at += n < 0 ? splinefile::kShortHeadSize : splinefile::kHeadSize + size_t(n) * 28;
    }
    return at;
}

class SplineWorld : public ::testing::Test {
protected:
    void SetUp() override { codes_ = worldtest::Grid(loam); }
    void TearDown() override {
        CSplineManager::cleanUp();
        CTerrainType::resetStatics();
    }
    // Paints world rectangle [x0, x1) x [z0, z1) with a terrain code.
    void Paint(float x0, float z0, float x1, float z1, uint8_t code) {
        for (int z = int(2 * z0 / kGrid); z < int(2 * z1 / kGrid); ++z)
            for (int x = int(2 * x0 / kGrid); x < int(2 * x1 / kGrid); ++x)
                codes_[size_t(z) * terrainmap::kSide + x] = code;
    }
    CSplineManager* Load(const SplineSection& section, bool attachMap = true) {
        bytes_ = WriteSplineSection(section);
        EXPECT_TRUE(CheckSplineSection(bytes_.data(), uint32_t(bytes_.size()), kGrid).ok);
        if (attachMap) {
            map_ = terrainmap::WriteMap(codes_);
            EXPECT_TRUE(
                CTerrainType::getInstance()->setPointer(map_.data(), map_.size(), kTiles, int(kGrid)));
        }
        CSplineManager* m = CSplineManager::getSplineManager();
        m->loadSplines(bytes_.data(), bytes_.size(), kGrid, kTiles);
        return m;
    }

    std::vector<uint8_t> codes_, map_, bytes_;
};

// Each damaged copy of a good section is refused with its reason and record, and the checker reads
// nothing outside the copy (the sanitizer build holds it to that).
TEST(SplineSection, DamagedSectionsAreRefused) {
    const std::vector<uint8_t> good = WriteSplineSection(Track());
    std::vector<uint8_t> padded = good;
    padded.resize(good.size() + 12);  // bytes after the ninth record belong to no record
    const SplineCheck check = CheckSplineSection(padded.data(), uint32_t(padded.size()), kGrid);
    ASSERT_TRUE(check.ok) << check.why;
    EXPECT_EQ(check.length, good.size());
    const size_t way = RecordAt(good, 0), beg = RecordAt(good, 1), med = RecordAt(good, 3);
    const size_t point1 = way + 8 + 16;       // waypoint point 1
    const size_t tweak0 = way + 8 + 21 * 16;  // waypoint tweak 0
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
        int spline;
        const char* why;
    };
    // clang-format off
    const Case cases[] = {
        {"negative count", [&](auto& b) { Poke(b, med, int16_t(-1)); }, 3, "negative point count"},
        {"count past the end", [&](auto& b) { Poke(b, beg, int16_t(30000)); }, 1, "past the end"},
        {"loop index = n", [&](auto& b) { Poke(b, beg + 2, int16_t(21)); }, 1, "loop-connect"},
        {"lap waypoint < 0", [&](auto& b) { Poke(b, way + 4, int16_t(-2)); }, 0, "lap waypoint"},
        {"w = 0", [&](auto& b) { Poke(b, point1 + 12, 0.0f); }, 0, "look-ahead"},
        {"NaN tweak", [&](auto& b) { Poke(b, tweak0 + 4, NAN); }, 0, "finite"},
        {"huge tweak", [&](auto& b) { Poke(b, tweak0 + 8, -65.0f); }, 0, "tweak is out of range"},
        {"point off the world", [&](auto& b) { Poke(b, point1 + 8, 897.0f); }, 0, "outside the world"},
        {"points too close", [&](auto& b) { Poke(b, point1, Peek<float>(b, way + 8) + 0.4f); }, 0, "closer than 1.0"},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        const SplineCheck check = CheckSplineSection(bytes.data(), uint32_t(bytes.size()), kGrid);
        ASSERT_FALSE(check.ok) << c.name;
        EXPECT_EQ(check.spline, c.spline) << c.name;
        EXPECT_NE(std::string(check.why).find(c.why), std::string::npos) << c.name << ": " << check.why;
    }
    SplineSection shortWay = Track();
    shortWay[0].points.resize(2);
    shortWay[0].lapWaypoint = 1;
    const std::vector<uint8_t> bytes = WriteSplineSection(shortWay);
    testsupport::LogCapture log;
    EXPECT_FALSE(ValidateSplineSection(bytes.data(), uint32_t(bytes.size()), kGrid, "o01.bin").ok);
    EXPECT_EQ(log.text(), "world o01.bin refused: spline 0: the waypoint spline needs at least 3 points\n");
    SplineSection bad;  // the writer refuses tweaks that do not match the points
    bad[3].points.resize(3, _SplinePoint{0, 0, 0, 1});
    bad[3].tweaks.resize(2);
    EXPECT_TRUE(WriteSplineSection(bad).empty());
    SplineSection empty;  // a world without splines
    const std::vector<uint8_t> none = WriteSplineSection(empty);
    EXPECT_TRUE(CheckSplineSection(none.data(), uint32_t(none.size()), kGrid).ok);
}

// Records of one point, of none and with a negative count (a 4-byte head) are stepped over by their
// lengths; lap fields come from the waypoint record only; racing lines are bound to the waypoint line.
TEST_F(SplineWorld, LoadingStepsOverShortRecordsAndBindsTheLines) {
    SplineSection s = Track();
    s[1].points.resize(1);
    s[1].lapWaypoint = 7;
    s[3] = Record(Straight(0, 500, 380));
    std::vector<uint8_t> bytes = WriteSplineSection(s);
    const size_t rec2 = RecordAt(bytes, 2);
    bytes.erase(bytes.begin() + long(rec2) + 4, bytes.begin() + long(rec2) + 8);
    Poke(bytes, rec2, int16_t(-1));
    CSplineManager* m = CSplineManager::getSplineManager();
    m->loadSplines(bytes.data(), bytes.size(), kGrid, kTiles);
    EXPECT_EQ(m->lapWayPoint, 12u);
    EXPECT_EQ(m->bStartLapped, 1);
    EXPECT_FALSE(m->spline(CSplineManager::BegOne).valid());
    EXPECT_EQ(m->spline(CSplineManager::BegTwo).count(), 0);
    const CQZSpline& med = m->spline(CSplineManager::MedOne);
    ASSERT_EQ(med.count(), 11);
    EXPECT_EQ(med.point(10)[2], 380.0f);
    EXPECT_NEAR(med.GetMyTimeFromControl(250.0f), 250.0f, 0.1f);

    testsupport::LogCapture log;
    m->loadSplines(bytes.data(), bytes.size() - 1, kGrid, kTiles);
    EXPECT_TRUE(log.has("Spline section ends inside record 8"));

    // A world of 9 tiles at grid spacing 8: file point (10, 2, 100) lies at (80, -200, 8 * (672 - 100)).
    SplineSection nine;
    for (float x : {10.0f, 20.0f, 30.0f}) nine[0].points.push_back({x, 2.0f, 100.0f, 1.0f});
    bytes = WriteSplineSection(nine);
    m->loadSplines(bytes.data(), bytes.size(), 8.0f, 9);
    const float* p = m->spline(CSplineManager::WayPoint).point(0);
    EXPECT_EQ(std::vector<float>(p, p + 3), (std::vector<float>{80.0f, -200.0f, 4576.0f}));
    const _SplinePoint back = SplinePointFromWorld(80.0f, -200.0f, 4576.0f, 1.0f, 8.0f, 9);
    EXPECT_EQ(back.x + back.y + back.z, 112.0f);
}

TEST_F(SplineWorld, PointLapAndControlQueriesAndTweaks) {
    CSplineManager* m = Load(Track(), false);
    EXPECT_FLOAT_EQ(m->wayTimeToPercent(500.0f), 0.5f);
    EXPECT_EQ(m->isPastLap(600.0f), 1);  // point 12 at time 600
    EXPECT_EQ(m->isPastLap(599.9f), 0);

    qzVector3d point(1, 2, 3), dir;
    EXPECT_FALSE(m->getPoint(300.0f, CSplineManager::SplineType(9), point, dir));
    EXPECT_EQ(point.x, 1.0f);
    ASSERT_TRUE(m->getPoint(300.0f, CSplineManager::WayPoint, point, dir));
    EXPECT_NEAR(point.x, 300.0f, 1e-3f);
    EXPECT_NEAR(dir.x, 1.0f, 1e-3f);  // w 1: one unit ahead
    ASSERT_TRUE(m->getControlledPoint(500.0f, 10.0f, CSplineManager::BegOne, point, dir));
    EXPECT_GT(point.x, 500.0f);  // the line's point beside waypoint time 500, 10 further on
    EXPECT_LT(point.x, 515.0f);
    EXPECT_NEAR(point.z, 420.0f, 1e-3f);
    ASSERT_TRUE(m->getControlledPoint(990.0f, 50.0f, CSplineManager::BegOne, point, dir));
    EXPECT_NEAR(point.x, 100.0f, 1e-3f);  // off the end: its loop-connect point 2
    EXPECT_FALSE(m->getControlledPoint(100.0f, 0.0f, CSplineManager::ExtOne, point, dir));
    // Tweaks longer than half a unit are applied.
    const float plain = m->spline(CSplineManager::WayPoint).curve(2).derivative(5);
    for (float t : {0.3f, 0.2f}) {
        SplineSection s = Track();
        s[0].tweaks.assign(s[0].points.size(), _SplineTweak{0, 0, 0});
        s[0].tweaks[5] = _SplineTweak{t, t, t};
        const float d = Load(s, false)->spline(CSplineManager::WayPoint).curve(2).derivative(5);
        EXPECT_EQ(d != plain, t > 0.25f) << t;
    }
    CSplineManager::resetStatics();  // a new race starts without the old splines
    EXPECT_EQ(CSplineManager::getSplineManager()->wayTimeToPercent(10.0f), -1.0f);
}

// The waypoint time does not move while its point lies in a checkpoint zone the racer still has to
// pass; the gate refuses a stretch that crosses such a zone.
TEST_F(SplineWorld, CheckpointsHoldTheWaypointTime) {
    Paint(380, 0, 420, 896, checkpoint0 + 3);
    Paint(600, 0, 605, 896, checkpoint0 + 5);
    CSplineManager* m = Load(Track());
    const qzVector3d racer(415, 0, 400);
    EXPECT_EQ(m->advanceControlTime(395.0f, racer, 3), 395.0f);
    EXPECT_EQ(m->advanceControlTime(395.0f, racer, 2), 395.0f);
    const float moved = m->advanceControlTime(395.0f, racer, 4);
    EXPECT_GT(moved, 395.0f);
    EXPECT_LE(moved, 415.0f);

    struct Case {
        float toX;
        int next;
        bool open;
    } cases[] = {{650, 5, false}, {650, 4, false}, {650, 6, true}, {590, 5, true}, {500.6f, 5, true}};
    for (const Case& c : cases) {
        float x = 500, z = 400;
        EXPECT_EQ(CSplineManager::checkPointCheck(x, z, c.toX, 400, c.next), c.open)
            << c.toX << " " << c.next;
        if (c.open && c.toX - 500 > 0.5f) {
            EXPECT_NEAR(x, c.toX, kGrid / 2);
        }
    }
}

// Walking along the track out of a crash zone gives its code (a walk ending inside finds nothing); across
// a takeoff strip gives its marker and the strip's four corners; a landing strip its marker only.
TEST_F(SplineWorld, CrashAndJumpSearchesReportZonesAndTakeoffCorners) {
    Paint(400, 350, 420, 450, crash_begin);
    Paint(600, 350, 620, 450, jump_skill3);
    Paint(800, 350, 820, 450, landing2);
    CSplineManager* m = Load(Track());
    float x = 300, z = 400;
    TypeList type = obsolete;
    EXPECT_EQ(m->findCrashRamps(x, z, 500, 400, type), crash_begin);
    EXPECT_EQ(type, loam);
    EXPECT_EQ(x, 420.0f);  // the first point outside
    x = 300;
    EXPECT_EQ(m->findCrashRamps(x, z, 410, 400, type), obsolete);  // ends inside
    EXPECT_EQ(type, crash_begin);
    EXPECT_EQ(m->findCrashRamps(x, z, x + 0.9f, z, type), obsolete);  // shorter than a step: no walk

    float cx[4], cz[4];
    x = 500;
    EXPECT_EQ(m->findJumpRamps(x, z, 700, 400, type, cx, cz), jump_skill3);
    EXPECT_EQ(type, loam);
    EXPECT_EQ(x, 620.0f);
    // Corners 0 and 1 at the far edge, 2 and 3 at the near edge; 0 and 2 on the left (-z), within one
    // walk step along and one sideways scan step across.
    const float edgeX[4] = {620, 620, 600, 600}, edgeZ[4] = {350, 450, 350, 450};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(cx[k], edgeX[k], kGrid / 2 + 0.01f) << k;
        EXPECT_NEAR(cz[k], edgeZ[k], 10.5f) << k;
        cx[k] = -1.0f;
    }
    EXPECT_EQ(m->findJumpRamps(x, z, 900, 400, type, cx, cz), landing2);
    EXPECT_EQ(cx[0], -1.0f);
}

}  // namespace
