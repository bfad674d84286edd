// For the race tests and benchmarks: a three-lap race's options, and a processor time that reads zero
// so the load governor never thins the race out. A test race is built as the game builds it, from the
// one options record the whole game reads (the front end fills it, the race, the world, the bikes and the
// HUD read it): options in a record of the test's own would reach the race but nothing it reads through
// the global record (the world objects' collision, the crash bits, the track type).
#pragma once

#include <cstdint>
#include <cstdio>

#include "game/core/game_options.h"
#include "game/core/global_options.h"
#include "race/demo_loop.h"
#include "race/race_game.h"

namespace racetest {

inline float ZeroCpu() {
    return 0.0f;
}

// Fills the game's options record for a three-lap race on `world` and returns it: what it holds after
// this is what the next race reads.
inline CGameOptions& RaceOptions(Worlds_Enum world, int32_t cpuRiders = 1, int32_t humans = 1) {
    static const CGameOptions kZero;  // a static record: every field the constructor leaves is zero
    gameOptions = kZero;
    gameOptions.numHumanPlayers = humans;
    gameOptions.cpuRiders = cpuRiders;
    gameOptions.duration = 3;
    gameOptions.timeOrLap = 1;
    std::snprintf(gameOptions.WorldFile, sizeof gameOptions.WorldFile, "%s",
                  CDemoLoopManager::getWorldString(world));
    gameOptions.trackType = CDemoLoopManager::getWorldType(world);
    return gameOptions;
}

// A race built from the game's options record, as the main loop builds it.
inline CQzGame* NewRace(void* common, unsigned int restart = 0) {
    return new CQzGame(&gameOptions, common, restart);
}

}  // namespace racetest
