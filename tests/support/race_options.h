// For the race tests and benchmarks: a three-lap race's options, and a processor time that reads zero
// so the load governor never thins the race out.
#pragma once

#include <cstdint>
#include <cstdio>

#include "game/core/game_options.h"
#include "race/demo_loop.h"

namespace racetest {

inline float ZeroCpu() {
    return 0.0f;
}

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
