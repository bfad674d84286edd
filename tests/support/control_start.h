// The controls started afresh for a test: a fresh virtual clock, no pad or multitap input, the control
// layer reset and started as the boot starts it.
#pragma once

#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "console/pad/mtap.h"
#include "console/pad/pad.h"
#include "engine/hal/control.h"
#include "engine/sys/math.h"

namespace testsupport {

inline void StartControls() {
    console::ClockReset();
    console::VsyncReset();
    console::PadReset();
    console::MtapReset();
    veControlReset();
    x_InitMATH();
    veControlInit();
}

}  // namespace testsupport
