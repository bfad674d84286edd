// The spline section (checker and refusals of damaged sections) and the spline manager: loading,
// point, lap and checkpoint queries, and the terrain walks of the ramp searches.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "support/image_patch.h"
#include "support/log_capture.h"
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
    EXPECT_FALSE(ValidateSplineSection(bytes.data(), uint32_t(bytes.size()), kGrid, "o01.bin"));
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
