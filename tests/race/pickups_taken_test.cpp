// Every bonus of a track taken in one race: each is counted once and deleted as it is taken, and the
// race still gives the heap back to the byte.
#include <gtest/gtest.h>

#include "bike/kinetic_bike.h"
#include "engine/hal/sound.h"
#include "engine/sys/heap.h"
#include "game/model/model.h"
#include "race/race_game.h"
#include "support/disc_race_test.h"
#include "world/objects/kinetic_pickup_objects.h"

namespace {

class PickupRace : public racetest::DiscRaceTest {};

// A race on `w` in which the human racer, after the first frame, is put on each pickup in turn and stays
// for up to ten frames, until the physics has reported it inside the pickup, then 30 frames more; the
// number taken. The pickup counts the bike that enters it and has the model delete it.
int RaceTakingEveryPickup(Worlds_Enum w, void* common) {
    racetest::RaceOptions(w);
    auto* race = racetest::NewRace(common);
    EXPECT_EQ(race->updateGame(), 0);
    KineticBike* bike = CQzGame::bike[0];
    int taken = 0;
    // Each pickup taken leaves its slot empty, so the table is walked by index.
    for (size_t i = 0; i < CModel::modelPtr->objects.size(); ++i) {
        auto* p = dynamic_cast<CKineticPickupObject*>(CModel::modelPtr->objects[i]);
        if (!p) continue;
        const int found = bike->bikeStats.pickupsFound;
        const qzVector3d at = p->position;
        bike->setStartPos(at, bike->frame.forwardDir);
        for (int f = 0; f < 10 && CModel::modelPtr->objects[i]; ++f) EXPECT_EQ(race->updateGame(), 0);
        EXPECT_EQ(CModel::modelPtr->objects[i], nullptr)
            << "the pickup at " << at.x << " " << at.y << " " << at.z;
        EXPECT_EQ(bike->bikeStats.pickupsFound, found + 1);
        taken += bike->bikeStats.pickupsFound - found;
    }
    for (int f = 0; f < 30; ++f) EXPECT_EQ(race->updateGame(), 0);
    delete race;
    return taken;
}

TEST_F(PickupRace, EveryPickupTakenGivesTheHeapBackToTheByte) {
    // With the sound engine on, as in the game: each race loads its track's sounds and leaves none.
    veSoundSetMaxSamples(120);
    ASSERT_EQ(veSoundInit(), 0);
    const Worlds_Enum kTracks[] = {F01, F02, F03, F04};
    // Two first rounds size the stores and pools that live for the whole program.
    for (int round = 0; round < 2; ++round)
        for (Worlds_Enum w : kTracks) RaceTakingEveryPickup(w, common_);
    for (Worlds_Enum w : kTracks) {
        const int before = x_TotalMemoryFree();
        const int taken = RaceTakingEveryPickup(w, common_);
        EXPECT_GT(taken, 0);
        EXPECT_EQ(x_TotalMemoryFree(), before)
            << CDemoLoopManager::getWorldString(w) << ": " << taken << " taken";
    }
    veSoundReset();
}

}  // namespace
