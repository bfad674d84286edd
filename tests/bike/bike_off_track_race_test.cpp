// The off-track count ends when the bike is back on the track: on a circuit near the racing line at the
// bike's way time, in a freestyle arena (whose way time does not follow the bike) on leaving the
// off-track surface.
#include <gtest/gtest.h>

#include "bike/bike_laps.h"
#include "bike/kinetic_bike.h"
#include "console/kernel/clock.h"
#include "console/pad/pad.h"
#include "race/countdown.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"
#include "world/spline_manager.h"

namespace {

using OffTrackRace = racetest::DiscRaceTest;

// After the start the bike is put on the racing line half a lap from its way time, on the track's
// surface but far from the line where its way time stands, with the off-track count running.
TEST_F(OffTrackRace, TheCountEndsOnAnArenaFloorAndOnACircuitOnlyNearItsLine) {
    CQzGame::drawFrames = false;
    for (Worlds_Enum w : {O01, F01}) {
        racetest::RaceOptions(w, 0);
        auto* race = racetest::NewRace(common_);
        auto frame = [&] {
            console::PadSetInput(0, 0, console::PadIdle());
            EXPECT_EQ(race->updateGame(), 0);
            console::ClockTickVblank();
            console::ClockTickVblank();
        };
        while (!CQzGame::gameStart->gameStartData.gameStarted) frame();
        KineticBike* bike = CQzGame::bike[0];
        CSplineManager* sm = CSplineManager::getSplineManager();
        const CQZSpline& way = sm->spline(CSplineManager::WayPoint);
        ASSERT_GT(way.count(), 1);
        const float lap = way.GetPointTime(way.count() - 1);
        const float at = bike->laps.curWayTime;
        qzVector3d p, d, line, dir;
        ASSERT_TRUE(sm->getPoint(at + (at < lap / 2 ? lap / 2 : -lap / 2), CSplineManager::WayPoint, p, d));
        ASSERT_TRUE(sm->getPoint(at, CSplineManager::WayPoint, line, dir));
        const float dx = p.x - line.x, dz = p.z - line.z;
        ASSERT_GT(dx * dx + dz * dz, 2500.0f * 2500.0f);
        bike->setStartPos(p, d);
        bike->laps.trackToHudOffTrack = 2;
        frame();
        EXPECT_EQ(bike->crash.crashState, 0u);
        EXPECT_EQ(bike->laps.isOffTrack, 0);
        EXPECT_EQ(bike->laps.trackToHudOffTrack, w == F01 ? bikelaps::kHudOnTrack : 2u)
            << CDemoLoopManager::getWorldString(w);
        delete race;
    }
}

}  // namespace
