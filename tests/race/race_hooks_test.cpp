// What a built race wires up: every hook set while it runs and none after it, the crash camera of a
// human (and never of a computer rider), the camera cut when a bike is placed, and the pickup award
// won by taking every icon of the world.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "bike/kinetic_bike.h"
#include "game/model/model.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "game/view/util.h"
#include "game/view/view_3d.h"
#include "kinetic/dynamics/collision_event.h"
#include "race/countdown.h"
#include "race/end_of_race.h"
#include "race/end_screens.h"
#include "race/hud/hud.h"
#include "race/hud/pause_menu.h"
#include "race/race_game.h"
#include "race/scene/camera.h"
#include "support/disc_race_test.h"
#include "world/objects/kinetic_pickup_objects.h"

namespace {

using RaceHooks = racetest::DiscRaceTest;

// Every hook the race installs, by name, and whether it is set now.
std::vector<std::pair<const char*, bool>> Hooks() {
    return {{"C3DView::setupCamera", C3DView::setupCamera != nullptr},
            {"CUtil::raceViews", CUtil::raceViews != nullptr},
            {"KineticBike::cameraModeHook", KineticBike::cameraModeHook != nullptr},
            {"KineticBike::cameraTeleportHook", KineticBike::cameraTeleportHook != nullptr},
            {"CCamera::setHudArrowPos", CCamera::setHudArrowPos != nullptr},
            {"raceEndHudOff", raceEndHudOff != nullptr},
            {"raceEndAimTrackCamera", raceEndAimTrackCamera != nullptr},
            {"CGameEnd::freestyleRanking", CGameEnd::freestyleRanking != nullptr},
            {"PauseMusic::setSong", PauseMusic::setSong != nullptr},
            {"PauseMusic::pause", PauseMusic::pause != nullptr},
            {"CGameStart::triggerSound", CGameStart::triggerSound != nullptr},
            {"CStats::terrainTypeAt", CStats::terrainTypeAt != nullptr},
            {"CTrackBonus::pickupIconCount", CTrackBonus::pickupIconCount != nullptr}};
}

CCamera* CameraOf(const CQzGame& race, int player) {
    return dynamic_cast<CCamera*>(CModel::modelPtr->objects[static_cast<size_t>(race.cameraId[player])]);
}

float Distance(const qzVector3d& a, const qzVector3d& b) {
    const qzVector3d d = a - b;
    return std::sqrt(d * d);
}

// Frames with the throttle off until player 0's camera has swept round to follow its bike.
void UntilFollowing(CQzGame& race) {
    for (int f = 0; f < 900 && CameraOf(race, 0)->Mode != CAMMODE_FOLLOW; ++f)
        ASSERT_EQ(race.updateGame(), CQzGame::kGoOn);
    ASSERT_EQ(CameraOf(race, 0)->Mode, CAMMODE_FOLLOW);
}

TEST_F(RaceHooks, EveryHookIsSetWhileARaceRunsAndNoneIsLeftAfterIt) {
    for (Worlds_Enum w : {B01, F01}) {
        racetest::RaceOptions(w);
        auto* race = racetest::NewRace(common_);
        for (const auto& [name, set] : Hooks()) EXPECT_TRUE(set) << name;
        EXPECT_EQ(CUtil::raceViews, CQzGame::view);
        EXPECT_EQ(race->updateGame(), CQzGame::kGoOn);
        delete race;
        for (const auto& [name, set] : Hooks()) EXPECT_FALSE(set) << name << " after the race";
        // The race's own clock source is not one of them: the test's stays.
        EXPECT_EQ(CQzGame::cpuTimeSource, racetest::ZeroCpu);
    }
}

// The camera switches seen through the installed hook (passed on to it).
std::vector<std::pair<int, int>> g_switches;
void (*g_raceSwitch)(int, int) = nullptr;
void RecordSwitch(int cameraId, int mode) {
    g_switches.emplace_back(cameraId, mode);
    g_raceSwitch(cameraId, mode);
}

TEST_F(RaceHooks, AHumansCrashFramesItWithTheCrashCameraAndTheResetCutsBackAComputerRiderTouchesNone) {
    racetest::RaceOptions(B01);
    auto* race = racetest::NewRace(common_);
    UntilFollowing(*race);
    g_raceSwitch = KineticBike::cameraModeHook;
    KineticBike::cameraModeHook = RecordSwitch;
    g_switches.clear();
    CCamera* cam = CameraOf(*race, 0);

    // No crash starts within 180 steps of the start.
    KineticBike* me = CQzGame::bike[0];
    KineticBike* cpu = CQzGame::bike[1];
    ASSERT_TRUE(cpu->isCPU);
    for (int f = 0; f < 600 && me->crash.postCrashCounter < 180; ++f) ASSERT_EQ(race->updateGame(), 0);

    // A computer rider's crash, start to recovery: no camera is switched.
    cpu->startCrash(2);
    ASSERT_EQ(cpu->crash.crashState, 2u);
    int f = 0;
    for (; f < 400 && cpu->crash.crashState != 0; ++f) ASSERT_EQ(race->updateGame(), 0);
    EXPECT_EQ(cpu->crash.crashState, 0u);
    EXPECT_TRUE(g_switches.empty());
    EXPECT_EQ(cam->Mode, CAMMODE_FOLLOW);

    // The human's: the crash camera from its first step, the follow camera again at the reset, cut
    // onto the bike there and then.
    me->startCrash(2);
    ASSERT_EQ(race->updateGame(), 0);
    EXPECT_GE(me->crash.crashState, 3u);
    EXPECT_EQ(cam->Mode, CAMMODE_CRASH);
    ASSERT_EQ(g_switches.size(), 1u);
    EXPECT_EQ(g_switches[0], std::make_pair(race->cameraId[0], static_cast<int>(CAMMODE_CRASH)));
    for (f = 0; f < 400 && me->crash.crashState != 0; ++f) {
        ASSERT_EQ(race->updateGame(), 0);
        if (me->crash.crashState == 3) {
            EXPECT_EQ(cam->Mode, CAMMODE_CRASH) << "frame " << f;
        }
    }
    EXPECT_EQ(cam->Mode, CAMMODE_FOLLOW);
    ASSERT_EQ(g_switches.size(), 2u);
    EXPECT_EQ(g_switches[1], std::make_pair(race->cameraId[0], static_cast<int>(CAMMODE_FOLLOW)));
    EXPECT_LT(Distance(cam->position, me->position), 1000.0f);
    KineticBike::cameraModeHook = g_raceSwitch;
    delete race;
}

TEST_F(RaceHooks, PlacingABikeCutsAFollowingCameraToItAndLeavesAnyOtherCamera) {
    racetest::RaceOptions(B01);
    auto* race = racetest::NewRace(common_);
    UntilFollowing(*race);
    KineticBike* me = CQzGame::bike[0];
    CCamera* cam = CameraOf(*race, 0);
    // Put back 4000 units along the way it faces, turned half round.
    const qzVector3d start = me->position;
    const qzVector3d ahead = me->position + me->frame.forwardDir * 4000.0f;
    const qzVector3d back = me->frame.forwardDir * -1.0f;
    ASSERT_GT(Distance(cam->position, ahead), 3000.0f);
    me->setStartPos(ahead, back);
    EXPECT_LT(Distance(cam->position, me->position), 1000.0f);
    // The eye is behind the bike as it now faces: on the far side from where it looks.
    const qzVector3d eyeToBike = me->position - cam->position;
    EXPECT_GT(eyeToBike.x * back.x + eyeToBike.z * back.z, 0.0f);

    // A camera framing a crash stays where it is.
    cam->Mode = CAMMODE_CRASH;
    const qzVector3d eye = cam->position;
    me->setStartPos(start, me->frame.forwardDir);
    EXPECT_EQ(Distance(cam->position, eye), 0.0f);
    cam->Mode = CAMMODE_FOLLOW;
    delete race;
}

// The award of a freestyle world that asks for every icon, taken icon by icon.
TEST_F(RaceHooks, APickupAwardIsWonByTakingEveryIconAndNotOneFewer) {
    racetest::RaceOptions(F01);
    auto* race = racetest::NewRace(common_);
    int award = -1;
    for (int i = 0; i < CTrackBonus::getNumTrackBonusAwards(); ++i)
        if (CTrackBonus::getTrackBonusType(i) == PICKUP_ICON) award = i;
    ASSERT_GE(award, 0);
    std::vector<size_t> icons;
    for (size_t i = 0; i < CModel::modelPtr->objects.size(); ++i)
        if (dynamic_cast<CKineticPickupObject*>(CModel::modelPtr->objects[i])) icons.push_back(i);
    ASSERT_GT(icons.size(), 1u);
    KineticBike* me = CQzGame::bike[0];
    EXPECT_EQ(CTrackBonus::trackBonusAwards[award].bonusValue, static_cast<float>(icons.size()));
    EXPECT_EQ(me->bikeStats.pickupsCount, static_cast<int32_t>(icons.size()));

    // Awards are judged once the race has started.
    for (int f = 0; f < 600 && !me->laps.startRace; ++f) ASSERT_EQ(race->updateGame(), 0);
    Kinetic::CollisionEvent touch;
    const uint32_t bit = 1u << PICKUP_ICON;
    for (size_t k = 0; k + 1 < icons.size(); ++k) {
        static_cast<CKineticPickupObject*>(CModel::modelPtr->objects[icons[k]])
            ->phantomCollisionHandler(me, touch);
        ASSERT_EQ(race->updateGame(), 0);
        EXPECT_EQ(me->trackBonus.awardRecieved & bit, 0u) << k + 1 << " of " << icons.size();
    }
    static_cast<CKineticPickupObject*>(CModel::modelPtr->objects[icons.back()])
        ->phantomCollisionHandler(me, touch);
    ASSERT_EQ(race->updateGame(), 0);
    EXPECT_EQ(me->trackBonus.awardRecieved & bit, bit);
    // The HUD has taken it and shows its message.
    const CHud* hud = CameraOf(*race, 0)->hudPointer;
    ASSERT_NE(hud, nullptr);
    EXPECT_EQ(hud->hudData.trackBonusActivated, 1);
    EXPECT_STREQ(hud->hudData.trackBonusFlavorString,
                 CTrackBonus::trackBonusAwards[award].bonusFlavorRecText);
    delete race;
}

}  // namespace
