// Bikes driven by the headless driver on a generated outdoor track: a rider following the racing line
// with a simple steering rule rides a whole lap on the track surface.
#include <gtest/gtest.h>

#include <algorithm>

#include "../support/bike_driver.h"
#include "world/spline_manager.h"

namespace {

using namespace biketest;

// Progress along the lap's centre line, in centre points, from the nearest point ahead of the last one.
struct LapProgress {
    const std::vector<CentrePoint>& centre;
    size_t at = 0;
    size_t passed = 0;
    void update(const qzVector3d& p) {
        const size_t n = centre.size();
        auto d2 = [&](size_t i) {
            const CentrePoint& c = centre[i % n];
            return (c.x - p.x) * (c.x - p.x) + (c.z - p.z) * (c.z - p.z);
        };
        size_t best = at;
        for (size_t k = 1; k < 20; ++k)
            if (d2(at + k) < d2(best)) best = at + k;
        passed += best - at;
        at = best % n;
    }
};

TEST(BikeRideTest, RacingLineRiderCompletesALapOnTheTrack) {
    BikeDriver driver(FirstTrack(TrackKind::Outdoor), 1);
    ASSERT_TRUE(driver.attached);
    const std::vector<qzVector3d> line = RacingLine(driver.world.design, CSplineManager::MedOne);
    driver.Add(LineFollower(line));
    LapProgress lap{driver.world.design.centre};
    int offRun = 0, worstOffRun = 0, steps = 0;
    const int limit = 60 * 300;
    while (lap.passed < lap.centre.size() && steps < limit) {
        driver.Run(1);
        ++steps;
        const Sample& s = driver.traces[0].back();
        lap.update(s.position);
        offRun = OnTrack(s.terrainType) ? 0 : offRun + 1;
        worstOffRun = std::max(worstOffRun, offRun);
    }
    RecordProperty("lap_seconds", std::to_string(steps / 60.0f));
    RecordProperty("longest_off_track_steps", worstOffRun);
    EXPECT_GE(lap.passed, lap.centre.size()) << "lap not finished in " << limit / 60 << " s";
    EXPECT_LE(worstOffRun, 60) << "steps off the track in a row; lap " << lap.passed << "/"
                               << lap.centre.size() << " in " << steps << " steps";
}

}  // namespace
