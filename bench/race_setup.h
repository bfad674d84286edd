// Set-up shared by the benchmarks that ride races from the sample disc: the console and the engine booted
// once with the log silenced (a race's log lines are not measured) and the common objects file loaded,
// and the options of an attract-style race on the first outdoor track.
#pragma once

#include "../tests/support/race_options.h"
#include "console/cd/cd.h"
#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "console/pad/pad.h"
#include "engine/hal/engine.h"
#include "engine/sys/boot.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "game/files/file_manager.h"

namespace benchrace {

// Boots on the first call (with pad 2 plugged in when `padTwo`); answers the common objects file.
inline void* BootSampleDisc(bool padTwo = false) {
    static void* common = nullptr;
    if (common) return common;
    console::CdMount(QZ_BENCH_DISC);
    if (padTwo) {
        console::PadReset();
        console::PadSetInput(1, 0, console::PadIdle());
    }
    console::ClockReset();
    console::VsyncReset();
    veClockReset();
    if (x_HardwareBootSystem() != 0) return nullptr;
    veEngineInit(0, nullptr);
    x_GetIODriver()->FnPrint = [](const char*) {};
    common = GetFileManager()->loadFile("COMMON\\qz02dat.bin");
    return common;
}

// One player and the outdoor field, the first racer ridden by the computer too.
inline CGameOptions AttractOptions() {
    CGameOptions o = racetest::RaceOptions(O01);
    o.demoMode = 1;
    return o;
}

}  // namespace benchrace
