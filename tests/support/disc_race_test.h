// Races on the sample disc: its boot's driver modules loaded (the pad library binds pad 1), the engine
// started and the common objects loaded; the race's processor time reads zero, the demo loop is off. The
// game's options record is given back as the test found it.
#pragma once

#include <gtest/gtest.h>

#include "console/cd/cd.h"
#include "console/iop/iop.h"
#include "console/pad/pad.h"
#include "engine/hal/engine_fixture.h"
#include "engine/sys/boot.h"
#include "engine/sys/heap.h"
#include "game/core/global_options.h"
#include "game/files/file_manager.h"
#include "race/demo_loop.h"
#include "race/race_game.h"
#include "support/race_options.h"

namespace racetest {

class DiscRaceTest : public enginetest::EngineTest {
protected:
    void SetUp() override { BootDisc(); }
    void TearDown() override {
        x_free(common_);
        EngineTest::TearDown();
        gameOptions = savedOptions_;
    }
    // `padTwo`: pad 2 plugged in too; `afterBoot` runs between the hardware boot and the engine's start.
    void BootDisc(bool padTwo = false, void (*afterBoot)() = nullptr) {
        ASSERT_TRUE(console::CdMount(QZ_DISC_DIR));
        console::PadReset();
        if (padTwo)
            console::PadSetInput(1, 0, console::PadIdle());  // plugged in before the boot opens the ports
        console::IopReset();
        ASSERT_EQ(x_HardwareBootSystem(), 0);
        if (afterBoot) afterBoot();
        EngineTest::SetUp();
        common_ = GetFileManager()->loadFile("COMMON\\qz02dat.bin");
        ASSERT_NE(common_, nullptr);
        CQzGame::cpuTimeSource = ZeroCpu;
        DLManager.setDemoLoopState(DL_DISABLED);
    }
    void* common_ = nullptr;
    const CGameOptions savedOptions_ = gameOptions;
};

}  // namespace racetest
