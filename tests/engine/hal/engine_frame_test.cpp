#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/stage/dma_stage.h"
#include "engine/hal/dma_tasks.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

// A chain of one END tag with no data.
alignas(16) const uint64_t kEmptyChain[2] = {7ull << 28, 0};

TEST_F(EngineTest, StartUpShowsAnEmptyFrameOfTheBackColour) {
    // Start-up waited for blanks (the odd field) with the status words ready and an empty, finished
    // list: the first blank showed an empty frame and released the first begin of frame.
    EXPECT_GE(veDisplayShownFrames(), 1u);
    EXPECT_EQ(veDisplayFrameRenderDone.load(), 1u);
    EXPECT_EQ(veDmaTasksAreComplete(), 1);
    const uint64_t blanks = console::VsyncCount();
    veEngineBeginFrame();
    EXPECT_EQ(console::VsyncCount(), blanks);
    for (int f = 0; f < 4; ++f) {
        veEngineEndFrame();
        veEngineBeginFrame();
    }
    // The display buffer holds the frame buffer's clear colour (0, 0, 128) everywhere the copy samples
    // the frame buffer only (the odd field's filter blends each row with the one below: the last row
    // blends with the memory after the frame buffer).
    for (int y = 0; y < 447; y += 5)
        for (int x = 0; x < 640; x += 7) ASSERT_EQ(Rgb(DisplayPixel(x, y)), 0x800000u) << x << "," << y;
    std::vector<uint8_t> rgba(640 * 448 * 4);
    ASSERT_TRUE(console::gs::Gs().ReadDisplay(rgba.data()));
    EXPECT_EQ(rgba[0] | rgba[1] << 8 | rgba[2] << 16, 0x800000);
    // A new back colour changes the clear.
    veEngineEndFrame();
    veDisplaySetBackColor(10, 20, 30);
    RunFrames(3);
    EXPECT_EQ(Rgb(DisplayPixel(100, 100)), 10u | (20u << 8) | (30u << 16));
}

TEST_F(EngineTest, FrameRateFollowsTheLimitAndAFrozenDisplayDropsToZero) {
    RunFrames(70);
    EXPECT_EQ(veEngineGetFPS(), 60u);
    veDisplayDisableDisplay();
    uint64_t shown = veDisplayShownFrames();
    RunFrames(70);
    // Frames are still released (the loop did not hang) but none reaches the display.
    EXPECT_EQ(veDisplayShownFrames(), shown);
    EXPECT_EQ(veEngineGetFPS(), 0u);
    veDisplayEnableDisplay();
    RunFrames(3);
    EXPECT_GT(veDisplayShownFrames(), shown);
    // Limit 1: two seconds of virtual time show 60 frames.
    veEngineSetMaxFPS(1);
    const uint64_t cycles0 = console::ClockCycles();
    shown = veDisplayShownFrames();
    while (console::ClockCycles() - cycles0 < 2 * console::kCpuCyclesPerSecond) RunFrames(1);
    EXPECT_NEAR(double(veDisplayShownFrames() - shown), 60.0, 1.0);
    EXPECT_EQ(veEngineGetFPS(), 30u);
}

// The two fields copy the frame differently (the odd one's filter blends each row with the one below)
// and read the display buffer from a different row. At 30 frames a second every frame lands on one field:
// whichever field the frozen stretch ended on, the display comes back on in the same phase, so every
// frame is shown on the even field, as at start-up.
TEST_F(EngineTest, AtThirtyFramesTheDisplayComesBackOnTheSameFieldWhateverTheFrozenStretchLeft) {
    static std::vector<uint32_t> rows;  // the display buffer's first row read for each shown frame
    veDisplaySetFrameShownCallback(
        [](void*) {
            const uint64_t fb = console::gs::Gs().ReadPriv(console::gs::kPrivDispfb1);
            rows.push_back(console::gs::RegFrom<console::gs::GsDispfb>(fb).DBY);
        },
        nullptr);
    for (int extra = 0; extra < 4; ++extra) {
        SCOPED_TRACE(extra);
        veEngineSetMaxFPS(0);
        RunFrames(3);
        veDisplayDisableDisplay();
        RunFrames(4);
        for (int b = 0; b < extra; ++b) console::VsyncWait();  // a load that took blanks of its own
        veEngineSetMaxFPS(1);
        veEngineBeginFrame();
        veEngineEndFrame();
        veDisplayEnableDisplay();
        rows.clear();
        RunFrames(20);
        ASSERT_GE(rows.size(), 15u);
        for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], 0u) << "shown frame " << i;
    }
}

// At 60 frames a second the shown frames alternate fields. An unchanging picture (a white band across
// rows 100 to 199) stays where it is on both: at most the rows at its edges blend with their neighbours.
TEST_F(EngineTest, AnUnchangingPictureStaysPutAcrossFields) {
    static std::vector<std::vector<uint8_t>> pictures;
    static std::vector<uint32_t> rows;
    pictures.clear();
    rows.clear();
    veDisplaySetFrameShownCallback(
        [](void*) {
            std::vector<uint8_t> rgba(640 * 448 * 4);
            console::dma::StageDrain();
            console::gs::Gs().ReadDisplay(rgba.data());
            pictures.push_back(std::move(rgba));
            const uint64_t fb = console::gs::Gs().ReadPriv(console::gs::kPrivDispfb1);
            rows.push_back(console::gs::RegFrom<console::gs::GsDispfb>(fb).DBY);
        },
        nullptr);
    veEngineSetMaxFPS(0);
    for (int f = 0; f < 8; ++f) {
        veEngineBeginFrame();
        console::dma::StageDrain();
        console::gs::LocalMemory& m = console::gs::Gs().Memory();
        for (uint32_t y = 100; y < 200; ++y)
            for (uint32_t x = 0; x < 640; ++x) m.WritePixel(0, 10, console::gs::kPsmCt32, x, y, 0xFFFFFFu);
        veEngineEndFrame();
    }
    veEngineBeginFrame();
    veEngineEndFrame();
    ASSERT_GE(pictures.size(), 6u);
    const size_t first = pictures.size() - 6;  // the first frames were shown before the band was drawn
    int fields[2] = {0, 0};
    for (size_t i = first; i < pictures.size(); ++i) {
        SCOPED_TRACE(i);
        ++fields[rows[i] & 1];
        const std::vector<uint8_t>& p = pictures[i];
        auto rgb = [&](int x, int y) {
            const uint8_t* o = &p[(size_t(y) * 640 + size_t(x)) * 4];
            return uint32_t(o[0]) | uint32_t(o[1]) << 8 | uint32_t(o[2]) << 16;
        };
        for (int x = 0; x < 640; x += 37) {
            EXPECT_EQ(rgb(x, 98), 0x800000u) << x;
            EXPECT_EQ(rgb(x, 100), 0xFFFFFFu) << x;
            EXPECT_EQ(rgb(x, 198), 0xFFFFFFu) << x;
            EXPECT_EQ(rgb(x, 200), 0x800000u) << x;
        }
        if (i == first) continue;
        // Consecutive frames differ in the band's edge rows at most.
        for (int y = 0; y < 447; ++y) {
            if (y == 99 || y == 199) continue;
            const size_t row = size_t(y) * 640 * 4;
            ASSERT_EQ(0, std::memcmp(&p[row], &pictures[i - 1][row], 640 * 4)) << "row " << y;
        }
    }
    EXPECT_GE(fields[0], 2);
    EXPECT_GE(fields[1], 2);
}

TEST_F(EngineTest, TimesAreCyclesOverTheClockRateAndPrintOnlyWithDebugTimings) {
    RunFrames(3);
    EXPECT_EQ(enginetest::g_printAt, "");
    veDisplaySetDebugTimings(1);
    RunFrames(61);
    veEngineBeginFrame();
    // 2,949,120 cycles of work between two begins: 10 ms (printed in ms); transfers take no time.
    console::ClockAdvanceCycles(2949120);
    enginetest::g_printAt.clear();
    veEngineEndFrame();
    veEngineBeginFrame();
    EXPECT_EQ(veCpuNumCycles, 2949120u);
    EXPECT_FLOAT_EQ(veEngineGetCpuTime(), 0.01f);
    EXPECT_EQ(veEngineGetDmaTime(), 0.0f);
    veEngineEndFrame();
    EXPECT_EQ(enginetest::g_printAt,
              "8,10:FPS=60\n|8,20:CPU=0.00|8,30:DMA=0.00|8,10:FPS=60\n|8,20:CPU=10.00|8,30:DMA=0.00|");
    veEngineDisableDebugTimings();
    enginetest::g_printAt.clear();
    RunFrames(1);
    EXPECT_EQ(enginetest::g_printAt, "");
}

TEST_F(EngineTest, TaskListsRunInQueueOrderAndRefuseTheTaskAfterTheLast) {
    veEngineBeginFrame();
    for (int i = 0; i < kDmaMaxTasks; ++i) veDmaAddDmaTask(kEmptyChain, 1, 0);
    EXPECT_EQ(veDmaBuild->numTasks, kDmaMaxTasks);
    veDmaAddDmaTask(kEmptyChain, 1, 0);
    EXPECT_EQ(veDmaBuild->numTasks, kDmaMaxTasks);
    EXPECT_EQ(veDmaRefusedTasks(), 1u);
    EXPECT_NE(enginetest::g_log.find("more than 4096 DMA tasks"), std::string::npos);
    veEngineEndFrame();
    veEngineBeginFrame();
    EXPECT_EQ(veDmaTasksAreComplete(), 1);
    EXPECT_EQ(veDmaExecute->currentId, kDmaMaxTasks);
    // A channel without the list's end interrupt would stall every later frame: refused.
    veDmaAddDmaTask(kEmptyChain, 0, 0);
    EXPECT_EQ(veDmaBuild->numTasks, 0);
    EXPECT_EQ(veDmaRefusedTasks(), 2u);
    veEngineEndFrame();
    veEngineBeginFrame();
    EXPECT_EQ(veDmaTasksAreComplete(), 1);
    veEngineEndFrame();
}

TEST_F(EngineTest, EndWithoutBeginDoesNothingAndTwoBeginsCloseTheFirstFrame) {
    const uint64_t frame = veEngineFrame.load();
    veEngineEndFrame();
    EXPECT_EQ(veEngineFrame.load(), frame);
    veEngineBeginFrame();
    EXPECT_EQ(veEngineBeginFrameOccured.load(), 1u);
    veEngineBeginFrame();  // closes the first: counted
    EXPECT_EQ(veEngineFrame.load(), frame + 1);
    EXPECT_EQ(veEngineBeginFrameOccured.load(), 1u);
    veEngineEndFrame();
    EXPECT_EQ(veEngineFrame.load(), frame + 2);
    EXPECT_EQ(veEngineBeginFrameOccured.load(), 0u);
}

}  // namespace
