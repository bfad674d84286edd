// Riding off the world: a bike that reaches the world edge is back on rideable ground at once, inside
// the world and away from its edge, and rides on; on every freestyle world ridden from the start, and
// on each kind of track ridden off toward its nearest edge.
#include <gtest/gtest.h>

#include <cstdio>

#include "bike/bike_laps.h"
#include "bike/kinetic_bike.h"
#include "console/kernel/clock.h"
#include "console/pad/pad.h"
#include "game/core/global_options.h"
#include "game/model/model.h"
#include "race/countdown.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"
#include "world/world_model.h"

namespace {

using EdgeRace = racetest::DiscRaceTest;

// What a ride saw, frame by frame (a frame is two model steps).
struct EdgeRide {
    int placings = 0;       // riding bike put back without a crash (the world edge)
    int throws = 0;         // throws back from the edge of a baja course
    int worstWait = 0;      // most steps from a placing until the bike had ridden 1 m from where it was put
    int framesAtEdge = 0;   // riding frames that ended within the edge zone
    int framesOutside = 0;  // frames whose bike stood outside the world
    int longestStill = 0;   // most riding frames in a row in which the bike did not move
    int offTrack = 0;       // riding frames on an off-track surface
    int countOnFloor = 0;   // riding frames on the floor, as the one before, with the off-track count running
};

// The player's bike ridden alone on `w` with the throttle held from the start signal for `seconds`;
// with `offTheEdge`, first put 1500 units from the world edge nearest its start, facing that edge.
EdgeRide RideFromGo(Worlds_Enum w, void* common, int seconds, bool offTheEdge = false) {
    CQzGame::drawFrames = false;
    const CGameOptions saved = gameOptions;
    gameOptions = racetest::RaceOptions(w, 0);
    gameOptions.timeOrLap = 0;  // a timed event longer than the ride
    gameOptions.duration = 600;
    auto* race = new CQzGame(&gameOptions, common, 0);
    auto frame = [&](bool throttle) {
        console::PadInput in = console::PadIdle();
        if (throttle) in.buttons = console::kPadCross;
        console::PadSetInput(0, 0, in);
        EXPECT_EQ(race->updateGame(), 0);
        console::ClockTickVblank();
        console::ClockTickVblank();
    };
    while (!CQzGame::gameStart->gameStartData.gameStarted) frame(false);
    KineticBike* bike = CQzGame::bike[0];
    CModel* m = GetModel();
    CWorldModel* world = dynamic_cast<CWorldModel*>(m->objects[static_cast<size_t>(m->worldId)]);
    const float side = CWorldModel::worldWidth;
    if (offTheEdge) {
        qzVector3d p = bike->position, out(-1.0f, 0.0f, 0.0f);
        const float gaps[4] = {p.x, side - p.x, p.z, side - p.z};
        const qzVector3d outs[4] = {
            {-1.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 0.0f, 1.0f}};
        int k = 0;
        for (int i = 1; i < 4; ++i)
            if (gaps[i] < gaps[k]) k = i;
        out = outs[k];
        if (k < 2)
            p.x = k == 0 ? 1500.0f : side - 1500.0f;
        else
            p.z = k == 2 ? 1500.0f : side - 1500.0f;
        bike->setStartPos(p, out);
    }
    EdgeRide r;
    qzVector3d last = bike->position, placedAt;
    bool wasRiding = true;
    uint32_t lastCounter = bike->crash.postCrashCounter, lastState = 0;
    int waiting = -1, still = 0;  // steps since the bike was placed (-1: it has ridden on)
    bool wasOnFloor = false;
    for (int f = 0; f < seconds * 30; ++f) {
        frame(true);
        const qzVector3d p = bike->position;
        const uint32_t state = bike->crash.crashState;
        const bool riding = state == 0;
        if (p.x < 0.0f || p.z < 0.0f || p.x > side || p.z > side) ++r.framesOutside;
        if (riding && world->checkNearEdgeOfWorld(p)) ++r.framesAtEdge;
        // The off-track count is looked at before a step's surface is read: it lags the surface a step.
        const bool onFloor = riding && !bike->laps.isOffTrack;
        r.offTrack += riding && bike->laps.isOffTrack;
        r.countOnFloor += onFloor && wasOnFloor && bike->laps.trackToHudOffTrack != bikelaps::kHudOnTrack;
        wasOnFloor = onFloor;
        r.throws += state == 1 && lastState != 1;
        // Placing a bike starts its post-crash count again.
        if (riding && wasRiding && bike->crash.postCrashCounter < lastCounter) {
            ++r.placings;
            placedAt = p;
            if (waiting < 0) waiting = 0;
        } else if (waiting >= 0) {
            waiting += 2;
            const float dx = p.x - placedAt.x, dz = p.z - placedAt.z;
            if (dx * dx + dz * dz > 100.0f * 100.0f) {
                if (waiting > r.worstWait) r.worstWait = waiting;
                waiting = -1;
            }
        }
        const float mx = p.x - last.x, mz = p.z - last.z;
        still = riding && mx * mx + mz * mz < 4.0f ? still + 1 : 0;
        if (still > r.longestStill) r.longestStill = still;
        last = p;
        wasRiding = riding;
        lastState = state;
        lastCounter = bike->crash.postCrashCounter;
    }
    if (waiting > r.worstWait) r.worstWait = waiting;
    delete race;
    gameOptions = saved;
    return r;
}

// Inside the world, never riding at its edge, riding again within a second of every placing. A bike held
// against a track object with the throttle open stands still until the pinned crash takes it (about 35
// frames of the race); nothing holds it longer.
void ExpectKeptInside(const EdgeRide& r, Worlds_Enum w) {
    const char* name = CDemoLoopManager::getWorldString(w);
    std::printf(
        "%s: placed %d, thrown %d, worst wait %d steps, at the edge %d, outside %d, still %d frames, "
        "off track %d, counting on the floor %d\n",
        name, r.placings, r.throws, r.worstWait, r.framesAtEdge, r.framesOutside, r.longestStill, r.offTrack,
        r.countOnFloor);
    EXPECT_EQ(r.framesOutside, 0) << name;
    EXPECT_EQ(r.framesAtEdge, 0) << name;
    EXPECT_LE(r.worstWait, 60) << name;
    EXPECT_LE(r.longestStill, 45) << name;
}

// Ridden straight from the start with the throttle held, each arena is left several times: the first
// time before any crash (the bike had no reset place yet and went to the world's corner), later after
// crashes at the edge (the bike was put back into the edge zone and held there).
TEST_F(EdgeRace, EveryFreestyleArenaRiddenOffFromTheStartKeepsTheBikeInside) {
    for (Worlds_Enum w : {F01, F02, F03, F04}) {
        const EdgeRide r = RideFromGo(w, common_, 60);
        ExpectKeptInside(r, w);
        // Put back away from the edge and facing the centre, the bike crosses the arena before it meets
        // the edge again (3 or 4 placings in these rides); one put back at the edge meets it again and
        // again (10 to 24).
        EXPECT_GT(r.placings, 0) << "never reached the edge";
        EXPECT_LE(r.placings, 8) << "put back at the edge";
        // Back on the floor the off-track count has ended: it would put the riding bike back four seconds
        // after it began.
        EXPECT_GT(r.offTrack, 0) << "never off the track";
        EXPECT_EQ(r.countOnFloor, 0) << CDemoLoopManager::getWorldString(w);
    }
}

// Each kind of track ridden off toward its nearest world edge: a baja course throws the bike back, the
// others put it back on the track or in the arena.
TEST_F(EdgeRace, EachKindOfTrackTakesABikeBackFromItsEdge) {
    for (Worlds_Enum w : {B01, I02, O01, F04}) {
        const EdgeRide r = RideFromGo(w, common_, 20, true);
        ExpectKeptInside(r, w);
        if (w == B01)
            EXPECT_GT(r.throws, 0);
        else
            EXPECT_GT(r.placings, 0);
    }
}

}  // namespace
