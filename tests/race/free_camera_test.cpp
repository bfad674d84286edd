// The free camera in a real race driven by a pad script: SELECT freezes the race and hands the pad to the
// player's camera, which flies, turns and climbs from the first view's pose while every bike, the clock and
// the physics stand still; SELECT again rides on.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bike/kinetic_bike.h"
#include "game/model/global_time.h"
#include "game/model/model.h"
#include "game/model/pause_state.h"
#include "game/view/util.h"
#include "game/view/view_3d.h"
#include "host/pad_script.h"
#include "kinetic/dynamics/world.h"
#include "race/control/game_controller.h"
#include "race/race_game.h"
#include "race/scene/camera.h"
#include "support/disc_race_test.h"

namespace {

class FreeCamera : public racetest::DiscRaceTest {
protected:
    void TearDown() override {
        CQzGame::drawFrames = true;
        DiscRaceTest::TearDown();
    }
    void Run(CQzGame* race, int from, int to) {
        for (int f = from; f < to; ++f) {
            pad_.Apply(0, 0, uint64_t(f));
            ASSERT_EQ(race->updateGame(), CQzGame::kGoOn) << f;
        }
    }
    // Everything of the race that a frozen frame must leave alone.
    struct Frozen {
        float clock, physics, raceTime;
        std::vector<qzVector3d> bikes;
    };
    static Frozen RaceNow() {
        Frozen s{globalTime,
                 CModel::modelPtr->kineticWorld->m_currentTime,
                 CQzGame::bike[0]->bikeStats.raceTime,
                 {}};
        for (uint32_t i = 0; i < CQzGame::numOfTotalRacers; ++i)
            s.bikes.push_back(CQzGame::bike[i]->position);
        return s;
    }
    static void ExpectStill(const Frozen& a, const Frozen& b) {
        EXPECT_EQ(a.clock, b.clock);
        EXPECT_EQ(a.physics, b.physics);
        EXPECT_EQ(a.raceTime, b.raceTime);
        ASSERT_EQ(a.bikes.size(), b.bikes.size());
        for (size_t i = 0; i < a.bikes.size(); ++i) {
            EXPECT_EQ(a.bikes[i].x, b.bikes[i].x) << i;
            EXPECT_EQ(a.bikes[i].y, b.bikes[i].y) << i;
            EXPECT_EQ(a.bikes[i].z, b.bikes[i].z) << i;
        }
    }
    static float Dot(const qzVector3d& a, const qzVector3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
    host::PadScript pad_;
};

// Pad 1 rides for 300 frames, SELECT at 300, then: TRIANGLE held 302-361 (ahead), LEFT 364-373 (turn),
// R1 376-385 (climb), UP 388-393 (tilt); SELECT at 398 rides on.
TEST_F(FreeCamera, SelectFliesTheEyeWhileTheRaceStandsStill) {
    host::Error e;
    ASSERT_TRUE(
        pad_.Parse("0-299 CROSS\n300-305 SELECT\n302-361 TRIANGLE\n364-373 LEFT\n376-385 R1\n"
                   "388-393 UP\n398-403 SELECT\n404+ CROSS\n",
                   "test", &e));
    racetest::RaceOptions(O01);
    CQzGame::drawFrames = false;
    auto* race = racetest::NewRace(common_);
    EXPECT_EQ(CUtil::raceViews, CQzGame::view);
    auto* cam = dynamic_cast<CCamera*>(CModel::modelPtr->objects[size_t(CQzGame::view[0]->_cameraID)]);
    ASSERT_NE(cam, nullptr);

    Run(race, 0, 298);
    CQzGame::drawFrames = true;  // the follow camera hands its last pose to the view
    Run(race, 298, 300);
    CQzGame::drawFrames = false;
    ASSERT_EQ(cam->Mode, CAMMODE_FOLLOW);
    ASSERT_GT(CQzGame::bike[0]->bikeStats.raceTime, 1.0f);
    const qzVector3d eye = cam->position, ahead = cam->forwardVec, right = cam->rightVec;

    // SELECT: the race freezes without the pause menu; the free camera starts where the view was.
    Run(race, 300, 302);
    ASSERT_EQ(CPauseState::pauseSwitch, 1);
    ASSERT_EQ(CPauseState::pauseDraw, 0);
    ASSERT_EQ(cam->Mode, CAMMODE_FREE);
    EXPECT_EQ(CQzGame::controller[0]->controlState, STATE_FREECAM);
    EXPECT_NEAR(Dot(cam->forwardVec, ahead), 1.0f, 1e-4f);
    EXPECT_NEAR(Dot(cam->rightVec, right), 1.0f, 1e-4f);
    EXPECT_EQ(cam->position.x, eye.x);
    EXPECT_EQ(cam->position.y, eye.y);
    EXPECT_EQ(cam->position.z, eye.z);
    const Frozen frozen = RaceNow();

    // 60 frames ahead: two steps of 75 units each, along the view's forward.
    Run(race, 302, 364);
    const qzVector3d flown = cam->position - eye;
    EXPECT_NEAR(Dot(flown, ahead), 120 * 75.0f, 1.0f);
    EXPECT_NEAR(std::sqrt(Dot(flown, flown)), 120 * 75.0f, 1.0f) << "straight ahead, nothing else";

    // LEFT turns the view about the vertical without moving the eye.
    const qzVector3d there = cam->position;
    Run(race, 364, 376);
    EXPECT_LT(Dot(cam->forwardVec, ahead), 0.99f);
    EXPECT_NEAR(cam->forwardVec.y, ahead.y, 1e-3f);
    EXPECT_EQ(cam->position.x, there.x);
    EXPECT_EQ(cam->position.y, there.y);
    EXPECT_EQ(cam->position.z, there.z);

    // R1 climbs: 20 steps of 75 against the view's up vector, which points down the screen as +y points
    // down in the world.
    Run(race, 376, 388);
    EXPECT_NEAR(Dot(cam->position - there, cam->upVec), -20 * 75.0f, 1.0f);
    EXPECT_LT(cam->position.y, there.y - 1400.0f);
    // UP tilts the view about its own right-hand axis, which stays put, and the eye with it.
    const qzVector3d turned = cam->forwardVec, side = cam->rightVec, high = cam->position;
    Run(race, 388, 398);
    EXPECT_LT(Dot(cam->forwardVec, turned), 0.99f);
    EXPECT_GT(cam->forwardVec.y, turned.y) << "UP tilts the view down, as a flight stick does";
    EXPECT_NEAR(Dot(cam->rightVec, side), 1.0f, 1e-4f);
    EXPECT_EQ(cam->position.y, high.y);
    ExpectStill(frozen, RaceNow());

    // SELECT again: the camera follows the bike and the race goes on.
    Run(race, 398, 430);
    EXPECT_EQ(CPauseState::pauseSwitch, 0);
    EXPECT_EQ(cam->Mode, CAMMODE_FOLLOW);
    EXPECT_EQ(CQzGame::controller[0]->controlState, STATE_BIKE);
    EXPECT_GT(globalTime, frozen.clock);
    EXPECT_GT(CQzGame::bike[0]->bikeStats.raceTime, frozen.raceTime);
    delete race;
    EXPECT_EQ(CUtil::raceViews, nullptr);
}

}  // namespace
