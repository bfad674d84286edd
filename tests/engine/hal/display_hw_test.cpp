#include "engine/hal/display_hw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "console/cd/host_output.h"
#include "engine/hal/dma_tasks.h"
#include "engine/sys/heap.h"
#include "engine_fixture.h"
#include "support/temp_dir.h"

namespace {

using enginetest::EngineTest;
using enginetest::Vertex;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class ScreenDumpTest : public EngineTest {
protected:
    void TearDown() override {
        console::SetOutputDirectory("");
        EngineTest::TearDown();
    }
};

TEST_F(ScreenDumpTest, WritesTheDisplayBufferAsRgbRowsTopToBottom) {
    testsupport::TempDir out;
    console::SetOutputDirectory(out.path().c_str());
    _ve_view v{};
    veDisplayCreateView2D(&v, 0, 0, 640, 448, kViewAspectFromViewport, 0.5f);
    // A red band over rows 100..199 of the left half.
    for (int f = 0; f < 3; ++f) {
        veEngineBeginFrame();
        veDisplayActivateView(&v);
        veRenderContextDisable(kRenderTexture);
        _ve_quad q{Vertex(0, 100, 0, 200, 0, 0), Vertex(320, 100, 0, 200, 0, 0),
                   Vertex(320, 200, 0, 200, 0, 0), Vertex(0, 200, 0, 200, 0, 0)};
        vePrimDrawQuad(&q);
        veEngineEndFrame();
    }
    // The thousandth dump is number 999, the next number 0.
    veDumpCount = 999;
    EXPECT_EQ(veDisplayHardWareScreenDump(), 1);
    EXPECT_EQ(ReadFile(out.file("scrn999.raw")).size(), 860160u);
    EXPECT_EQ(veDisplayHardWareScreenDump(), 1);
    EXPECT_EQ(veDumpCount, 1u);
    const std::vector<uint8_t> raw = ReadFile(out.file("scrn000.raw"));
    ASSERT_EQ(raw.size(), 860160u);
    auto px = [&](int x, int y) {
        const size_t i = (size_t(y) * 640 + x) * 3;
        return uint32_t(raw[i]) | (uint32_t(raw[i + 1]) << 8) | (uint32_t(raw[i + 2]) << 16);
    };
    EXPECT_EQ(px(100, 150), 200u);
    for (const auto& [x, y] : {std::pair{10, 10}, {500, 150}, {100, 300}}) EXPECT_EQ(px(x, y), 0x800000u);
    // The display came back: frames are shown again afterwards.
    EXPECT_EQ(veDisplayVSyncNoUpdateEnabled.load(), 0u);
    const uint64_t shown = veDisplayShownFrames();
    RunFrames(2);
    EXPECT_GT(veDisplayShownFrames(), shown);
}

// A dump that cannot be written is reported, and the display comes back all the same.
TEST_F(ScreenDumpTest, FailuresAreReportedNotCrashed) {
    veDumpCount = 5;
    EXPECT_EQ(veDisplayHardWareScreenDump(), 1);
    EXPECT_NE(enginetest::g_log.find("cannot open \"scrn005.raw\""), std::string::npos) << enginetest::g_log;
    EXPECT_EQ(veDisplayVSyncNoUpdateEnabled.load(), 0u);
    testsupport::TempDir out;
    console::SetOutputDirectory(out.path().c_str());
    std::vector<void*> held;  // every block of the heap large enough for the image
    held.reserve(4096);       // (its own room taken first: once the heap is full it cannot grow)
    for (uint32_t size : {16u << 20, 1u << 20, 64u << 10}) {
        while (void* p = x_fn_malloc(size, "", 0)) held.push_back(p);
    }
    EXPECT_EQ(veDisplayHardWareScreenDump(), 1);
    for (void* p : held) x_free(p);
    EXPECT_NE(enginetest::g_log.find("no memory"), std::string::npos) << enginetest::g_log;
    EXPECT_TRUE(ReadFile(out.file("scrn006.raw")).empty());
    EXPECT_EQ(veDisplayVSyncNoUpdateEnabled.load(), 0u);
}

TEST_F(EngineTest, RenderTargetClearsAlternateContextsAndStopAtTheLimit) {
    veEngineBeginFrame();
    _ve_view v{};
    veDisplayCreateView2D(&v, 0, 0, 64, 32, 0, 0.0f);
    const int tasks = veDmaBuild->numTasks;
    const int ctx0 = ve_display_clear_context;
    veDisplayClearFrameBuffer(&v, 1);
    EXPECT_EQ(ve_display_clear_context, ctx0 ^ 1);
    veDisplayClearFrameBuffer(&v, 0);
    EXPECT_EQ(ve_display_clear_context, ctx0);
    // The first record names context 2 when the toggle became 1, else context 1: the two differ.
    const _ve_clearframe_env* rec = veClearFramePtr - 2;
    EXPECT_NE(rec[0].draw1.frame1addr, rec[1].draw1.frame1addr);
    for (int i = 0; i < 40; ++i) veDisplayClearFrameBuffer(&v, 1);
    EXPECT_EQ(engine::clearCount, 32);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 32);
    EXPECT_NE(enginetest::g_log.find("more than 32 clears"), std::string::npos);
    veEngineEndFrame();
}

TEST_F(EngineTest, ViewportClearRunsTheViewsClearPacket) {
    // A clear region painting (5, 6, 7) over the whole frame buffer with context 1.
    alignas(16) static _ve_clear_region region;
    std::memset(&region, 0, sizeof region);
    uint32_t* d = region.data;
    d[3] = 0x50000009;  // DIRECT 9
    const uint64_t gif[2] = {8 | (1ull << 15) | (1ull << 60), 0xE};
    std::memcpy(d + 4, gif, 16);
    const uint64_t regs[8][2] = {{0x30000, 0x47},                   // TEST_1: Z ALWAYS
                                 {6, 0x00},                         // PRIM sprite
                                 {5 | (6 << 8) | (7 << 16), 0x01},  // RGBAQ
                                 {uint64_t(1728 * 16) | (uint64_t(1824 * 16) << 16), 0x05},  // XYZ2
                                 {uint64_t(2368 * 16) | (uint64_t(2272 * 16) << 16), 0x05},  // XYZ2
                                 {0x50000, 0x47},
                                 {0, 0x3F},
                                 {0, 0x3F}};
    std::memcpy(d + 8, regs, sizeof regs);
    _ve_view v{};
    veDisplayCreateView2D(&v, 0, 0, 640, 448, kViewClear, 0.0f);
    v.clearRegion = &region;
    veEngineBeginFrame();
    veDisplayActivateView(&v);
    veEngineEndFrame();
    veEngineBeginFrame();
    EXPECT_EQ(region.dmaTag[0] & 0xFFFF, 10u);
    EXPECT_EQ((region.dmaTag[0] >> 24) & 0xFF, 0x80u);
    EXPECT_EQ(Rgb(FramePixel(300, 200)), 5u | (6u << 8) | (7u << 16));
    veEngineEndFrame();
}

}  // namespace
