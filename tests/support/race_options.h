// Setting up a race on one of the disc's worlds, shared by the race tests and benchmarks: the options
// record of a three-lap race, and a processor-time source that always reads zero so the load governor
// never thins the race out and a headless run repeats exactly.
#pragma once

#include <cstdint>
#include <cstdio>

#include "game/core/game_options.h"
#include "game/race/demo_loop.h"

namespace racetest {

inline float ZeroCpu() {
    return 0.0f;
}

// Options of a three-lap race on `world` with `humans` players and `cpuRiders` as the field setting.
inline CGameOptions RaceOptions(Worlds_Enum world, int32_t cpuRiders = 1, int32_t humans = 1) {
    static const CGameOptions kZero;  // a static record: every field the constructor leaves is zero
    CGameOptions o = kZero;
    o.numHumanPlayers = humans;
    o.cpuRiders = cpuRiders;
    o.duration = 3;
    o.timeOrLap = 1;
    std::snprintf(o.WorldFile, sizeof o.WorldFile, "%s", CDemoLoopManager::getWorldString(world));
    o.trackType = CDemoLoopManager::getWorldType(world);
    return o;
}

}  // namespace racetest
