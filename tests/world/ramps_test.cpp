// Ramps: pairing of the ends the walk finds, and the walk and the nearest-pair lookups around a square
// track whose terrain map marks jumps and crash zones.
#include "world/ramps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/heap_image.h"
#include "world/spline_format.h"
#include "world/spline_manager.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"
#include "world_fixture.h"

namespace {

struct Store {
    Store() : ramps(CRamps::getInstance()) {}
    ~Store() { CRamps::resetStatics(); }
    CRamps* ramps;
};

Ramp End(TypeList code, float x) {
    Ramp r{};
    r.pos = qzVector3d(x, 0.0f, 0.0f);
    r.rampSubType = CRamps::JumpSubType(code);
    r.rampType = (code == crash_end || r.rampSubType >= 8) ? 1u : 0u;
    r.wayTime = x;
    return r;
}

TEST(RampsTest, TakeoffsPairWithTheFirstLaterLandingTheyAccept) {
    // Ends are told apart by their x; each pair is (takeoff x, landing x). The walk below pairs the
    // other kinds.
    const struct {
        const char* what;
        bool jumps;
        std::vector<Ramp> ends;
        std::vector<std::pair<float, float>> pairs;
    } cases[] = {
        // clang-format off
        {"skill and preload kinds", true, {End(jump_skill4, 1), End(preload2, 2), End(landing2, 3), End(landing4, 4)}, {{1, 4}, {2, 3}}},
        {"landing before its takeoff", true, {End(landing3, 1), End(jump_skill3, 2)}, {}},
        {"two beginnings, one end", false, {End(crash_begin, 1), End(crash_begin, 2), End(crash_end, 3), End(crash_begin, 4)}, {{1, 3}, {2, 3}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        std::vector<RampPair> out;
        CRamps::PairRamps(c.ends, c.jumps, out);
        ASSERT_EQ(out.size(), c.pairs.size()) << c.what;
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].takeoff.x, c.pairs[i].first) << c.what;
            EXPECT_EQ(out[i].landing.x, c.pairs[i].second) << c.what;
            EXPECT_EQ(out[i].wayTime, c.pairs[i].first) << c.what;
        }
    }
    EXPECT_EQ(CRamps::JumpSubType(grass) + CRamps::JumpSubType(crash_begin), -2);
}

// A 4 x 4-tile world of grid 8 with a square track (sides from 1000 to 6000, 320 units wide), ridden
// anticlockwise from (1000, 1000) along +x. Bands across the straights (ranges of the distance s along
// the track) carry jump and crash codes, each more than the jump search's sideways reach (810 units)
// from the other sides.
constexpr float kGrid = 8.0f, kLow = 1000.0f, kHigh = 6000.0f, kSideLength = kHigh - kLow;

struct Band {
    float from, to;
    TypeList code;
};
const Band kBands[] = {
    {1500, 1600, preload3},      {2200, 2300, landing2},       {2900, 3000, landing3},
    {6500, 6600, crash_begin},   {8400, 8500, crash_end},      {11200, 11300, aiPreLoad},
    {11700, 11800, jumpLand},    {12800, 12900, landingStrip}, {16500, 16600, crash_begin},
    {17500, 17600, jump_skill4},
};

// The distance along the track of the point of the nearest side, and how far off that side (x, z) lies.
void OnTrack(float x, float z, float& s, float& off) {
    const float d[4] = {std::fabs(z - kLow), std::fabs(x - kHigh), std::fabs(z - kHigh), std::fabs(x - kLow)};
    const float along[4] = {x - kLow, z - kLow, kHigh - x, kHigh - z};
    int side = 0;
    for (int i = 1; i < 4; ++i)
        if (d[i] < d[side]) side = i;
    s = float(side) * kSideLength + along[side];
    off = d[side];
}

qzVector3d PointAt(float s) {
    const int side = int(s / kSideLength);
    const float a = s - float(side) * kSideLength;
    const float x[4] = {kLow + a, kHigh, kHigh - a, kLow}, z[4] = {kLow, kLow + a, kHigh, kHigh - a};
    return qzVector3d(x[side], 0.0f, z[side]);
}

struct SquareTrack {
    SquareTrack() {
        std::vector<uint8_t> grid = worldtest::Grid(offGrass);
        for (uint32_t hz = 0; hz < terrainmap::kSide; ++hz)
            for (uint32_t hx = 0; hx < terrainmap::kSide; ++hx) {
                float s, off;
                OnTrack(4.0f * hx + 2.0f, 4.0f * hz + 2.0f, s, off);  // the half-unit position's centre
                if (off > 160.0f) continue;  // (the sides run on past the corners, with no bands there)
                uint8_t code = hardpack;
                for (const Band& b : kBands)
                    if (s >= b.from && s < b.to) code = b.code;
                grid[size_t(hz) * terrainmap::kSide + hx] = code;
            }
        image = std::make_unique<testsupport::HeapImage>(terrainmap::WriteMap(grid));
        ok = CTerrainType::getInstance()->setPointer(image->p, image->size, 16, int(kGrid));

        SplineSection section;
        for (float s = 0.0f; s < 4.0f * kSideLength; s += 250.0f) {
            const qzVector3d p = PointAt(s);
            section[0].points.push_back(SplinePointFromWorld(p.x, 0.0f, p.z, 1.0f, kGrid, 16));
        }
        const auto bytes = WriteSplineSection(section);
        CSplineManager::getSplineManager()->loadSplines(bytes.data(), bytes.size(), kGrid, 16);
    }
    ~SquareTrack() {
        CSplineManager::cleanUp();
        CTerrainType::resetStatics();
    }
    std::unique_ptr<testsupport::HeapImage> image;
    bool ok;
};

// The end lies on the track where the walk left the band, within a step and a map position of its far
// edge, and was found in the spline step that holds it.
void ExpectEndAt(const qzVector3d& p, float edge, float wayTime, const char* what) {
    float s, off;
    OnTrack(p.x, p.z, s, off);
    EXPECT_NEAR(s, edge, 8.0f) << what;
    EXPECT_LT(off, 5.0f) << what;
    if (wayTime >= 0.0f) {
        EXPECT_EQ(std::fmod(wayTime - 1.0f, 2000.0f), 0.0f) << what;
        EXPECT_LE(wayTime, s) << what;
        EXPECT_GT(wayTime + 2000.0f, s) << what;
    }
}

TEST(RampsTest, TheWalkFindsEveryJumpAndCrashZoneAroundTheLap) {
    SquareTrack track;
    ASSERT_TRUE(track.ok);
    ASSERT_TRUE(CSplineManager::getSplineManager()->spline(CSplineManager::WayPoint).valid());
    Store s;
    s.ramps->heightAt = [](float x, float z) { return -0.01f * x - 0.02f * z; };
    s.ramps->preProcessJumpRamps();
    s.ramps->preProcessCrashRamps();

    const struct { float takeoff, landing; } jumps[] = {{1600, 3000}, {11300, 12900}, {11800, 12900}};
    ASSERT_EQ(s.ramps->jumpRampPairSets.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const RampPair& p = s.ramps->jumpRampPairSets[i];
        ExpectEndAt(p.takeoff, jumps[i].takeoff, p.wayTime, "takeoff");
        ExpectEndAt(p.landing, jumps[i].landing, -1.0f, "landing");
        EXPECT_EQ(p.takeoff.y, -0.01f * p.takeoff.x - 0.02f * p.takeoff.z);
        // The rider on the takeoff gets its pair; one 3000 units away from the track's centre does not.
        EXPECT_EQ(s.ramps->getJumpRampPair(p.takeoff), &p);
        const qzVector3d out = p.takeoff - qzVector3d(3500.0f, 0.0f, 3500.0f);
        EXPECT_EQ(s.ramps->getJumpRampPair(p.takeoff + out * (3000.0f / std::hypot(out.x, out.z))), nullptr);
    }
    EXPECT_EQ(s.ramps->jumpRampPairSets[1].landing.x, s.ramps->jumpRampPairSets[2].landing.x);

    ASSERT_EQ(s.ramps->crashRampPairSets.size(), 1u);  // the last beginning has no end after it
    const RampPair& crash = s.ramps->crashRampPairSets[0];
    ExpectEndAt(crash.takeoff, 6600, crash.wayTime, "crash beginning");
    ExpectEndAt(crash.landing, 8500, -1.0f, "crash end");
    EXPECT_EQ(crash.dir.y, 0.0f);  // horizontal, along the track (+z on this side)
    EXPECT_NEAR(crash.dir.z, 1.0f, 1e-3f);
    EXPECT_EQ(s.ramps->getCrashRampPair(crash.takeoff), &crash);

    // Rebuilding starts from scratch; without a waypoint line there is nothing to find.
    s.ramps->preProcessJumpRamps();
    EXPECT_EQ(s.ramps->jumpRampPairSets.size(), 3u);
    CSplineManager::cleanUp();
    s.ramps->preProcessJumpRamps();
    s.ramps->preProcessCrashRamps();
    EXPECT_TRUE(s.ramps->jumpRampPairSets.empty());
    EXPECT_TRUE(s.ramps->crashRampPairSets.empty());
    EXPECT_EQ(s.ramps->getCrashRampPair(qzVector3d()), nullptr);
}

}  // namespace
