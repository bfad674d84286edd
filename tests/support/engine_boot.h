// The engine started headless on a fresh virtual clock, once per program, without the console's boot.
#pragma once

#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "engine/hal/engine.h"
#include "engine/sys/clock.h"

namespace testsupport {

inline void BootEngineOnce() {
    static bool booted = false;
    if (booted) return;
    booted = true;
    console::ClockReset();
    console::VsyncReset();
    veClockReset();
    veEngineInit(0, nullptr);
}

}  // namespace testsupport
