// A bike ridden into a turned track object meets it: on every world each fixed object's collision box
// holds the object as it stands, and a bike turning circles on o01 with the throttle open hits the
// turned block beside its start and crashes instead of standing still inside it.
#include <gtest/gtest.h>

#include <cstdio>

#include "bike/kinetic_bike.h"
#include "console/kernel/clock.h"
#include "console/pad/pad.h"
#include "game/core/global_options.h"
#include "game/model/model.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/geometric_primitive.h"
#include "kinetic/collide/internal_collide.h"
#include "kinetic/dynamics/toolkit.h"
#include "race/countdown.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"

namespace {

using StaticObjectRace = racetest::DiscRaceTest;

CQzGame* StartRace(Worlds_Enum w, void* common) {
    CQzGame::drawFrames = false;
    gameOptions = racetest::RaceOptions(w, 0);
    gameOptions.timeOrLap = 0;  // a timed event longer than the ride
    gameOptions.duration = 600;
    return new CQzGame(&gameOptions, common, 0);
}

void Frame(CQzGame* race, uint32_t buttons) {
    console::PadInput in = console::PadIdle();
    in.buttons = buttons;
    console::PadSetInput(0, 0, in);
    EXPECT_EQ(race->updateGame(), 0);
    console::ClockTickVblank();
    console::ClockTickVblank();
}

// Fixed meshes whose broad-phase box leaves out one of their vertices (as placed in the world).
int BoxesMissingTheirObject(int& checked) {
    Kinetic::InternalCollide* cd = GetModel()->kineticToolkit->m_defaultCollisionDetector->getImpl();
    int missing = 0;
    checked = 0;
    for (Kinetic::Collidable* c : cd->m_fixedList) {
        const auto* g = dynamic_cast<const Kinetic::GeometricPrimitive*>(c);
        if (!g) continue;
        ++checked;
        for (int i = 0; i < g->getGeometry()->getNumVertices(); ++i) {
            const Kinetic::Vector3 v = g->getWorldVertex(i);
            const Kinetic::AABB& b = g->m_AABB;
            if (v.x < b.m_min.x || v.y < b.m_min.y || v.z < b.m_min.z || v.x > b.m_max.x || v.y > b.m_max.y ||
                v.z > b.m_max.z) {
                ++missing;
                break;
            }
        }
    }
    return missing;
}

TEST_F(StaticObjectRace, EveryFixedObjectsBoxHoldsTheObjectAsPlaced) {
    const CGameOptions saved = gameOptions;
    for (int wi = 0; wi < END_WORLD_ENUMS; ++wi) {
        const Worlds_Enum w = static_cast<Worlds_Enum>(wi);
        CQzGame* race = StartRace(w, common_);
        Frame(race, 0);
        int checked = 0;
        const int missing = BoxesMissingTheirObject(checked);
        std::printf("%s: %d of %d fixed meshes outside their box\n", CDemoLoopManager::getWorldString(w),
                    missing, checked);
        EXPECT_GT(checked, 0);
        EXPECT_EQ(missing, 0) << CDemoLoopManager::getWorldString(w);
        delete race;
    }
    gameOptions = saved;
}

// Throttle and right held from the start: the bike circles into the turned block near the start. A bike
// held against an object with the throttle open crashes after 61 steps, so it may stand still for about
// 31 frames and a few more while it slows; never longer (before, it stood inside the block's corner
// with 70 km/h on its clock and no contact reported, so no crash rule could fire).
TEST_F(StaticObjectRace, CirclingIntoATurnedBlockDoesNotHoldTheBikeStill) {
    const CGameOptions saved = gameOptions;
    CQzGame* race = StartRace(O01, common_);
    while (!CQzGame::gameStart->gameStartData.gameStarted) Frame(race, 0);
    KineticBike* bike = CQzGame::bike[0];
    qzVector3d last = bike->position;
    int still = 0, longest = 0, crashes = 0;
    uint32_t lastState = 0;
    for (int f = 0; f < 30 * 30; ++f) {
        Frame(race, console::kPadCross | console::kPadRight);
        const qzVector3d p = bike->position;
        const uint32_t state = bike->crash.crashState;
        crashes += state != 0 && lastState == 0;
        const float mx = p.x - last.x, mz = p.z - last.z;
        still = state == 0 && mx * mx + mz * mz < 4.0f ? still + 1 : 0;
        if (still > longest) longest = still;
        last = p;
        lastState = state;
    }
    std::printf("o01 circling right: longest still %d frames, %d crashes\n", longest, crashes);
    EXPECT_LE(longest, 45);
    delete race;
    gameOptions = saved;
}

}  // namespace
