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

// Boots on the first call; on every call puts back what the benchmarks before may have changed: the sample
// disc mounted (others mount their own discs or none) with the CD layer's files and buffers reset, the log
// silenced, and pad 2 plugged in when `padTwo`, absent otherwise. Answers the common objects file, or null
// when the disc or the boot failed.
inline void* BootSampleDisc(bool padTwo = false) {
    static void* common = nullptr;
    static bool booted = false, bootFailed = false;
    if (bootFailed || !console::CdMount(QZ_BENCH_DISC)) return nullptr;
    PS2CD_ResetFiles();
    console::PadSetInput(1, 0, padTwo ? console::PadIdle() : console::PadInput{});
    if (!booted) {
        booted = true;
        console::ClockReset();
        console::VsyncReset();
        veClockReset();
        if (x_HardwareBootSystem() != 0) {
            bootFailed = true;
            return nullptr;
        }
        veEngineInit(0, nullptr);
    }
    x_GetIODriver()->FnPrint = [](const char*) {};
    if (!common) common = GetFileManager()->loadFile("COMMON\\qz02dat.bin");
    return common;
}

// One player and the outdoor field, the first racer ridden by the computer too, in the game's options
// record.
inline CGameOptions& AttractOptions() {
    CGameOptions& o = racetest::RaceOptions(O01);
    o.demoMode = 1;
    return o;
}

}  // namespace benchrace
