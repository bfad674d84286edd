// Boots the engine headless on a fresh virtual clock, with the console log captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "console/gs/gs_device.h"
#include "console/gs/gs_registers.h"
#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "engine/hal/display.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/engine.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "support/log_capture.h"

namespace enginetest {

using testsupport::g_log;
inline std::string g_printAt;
inline void CapturePrintAt(const char* text, int x, int y) {
    g_printAt += std::to_string(x) + "," + std::to_string(y) + ":" + text + "|";
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { Boot(); }
    void TearDown() override {
        veDisplaySetFrameShownCallback(nullptr, nullptr);
        x_GetIODriver()->FnPrintAt = savedPrintAt_;
        log_.reset();
    }

    void Boot() {
        console::ClockReset();
        console::VsyncReset();
        veClockReset();
        x_InitSTDIO();
        savedPrintAt_ = x_GetIODriver()->FnPrintAt;
        log_.emplace();
        x_GetIODriver()->FnPrintAt = CapturePrintAt;
        g_printAt.clear();
        veEngineSetPrimBufferLimit(0x80000);
        ASSERT_EQ(veEngineInit(0, nullptr), 1);
        // start-up reinstalls the stdio driver
        log_->attach();
        x_GetIODriver()->FnPrintAt = CapturePrintAt;
    }

    static uint32_t FramePixel(int x, int y) {
        return console::gs::Gs().Memory().ReadPixel(0, 10, console::gs::kPsmCt32, x, y);
    }
    static uint32_t DisplayPixel(int x, int y) {
        return console::gs::Gs().Memory().ReadPixel(kDisplayBufferBlock, 10, console::gs::kPsmCt32, x, y);
    }
    static uint32_t Rgb(uint32_t rgba) { return rgba & 0xFFFFFF; }

    // Begin, let `draw` add work, end; then the next begin runs that work into the frame buffer.
    template <typename F>
    void DrawAndRun(F draw) {
        veEngineBeginFrame();
        draw();
        veEngineEndFrame();
        veEngineBeginFrame();
    }

    std::optional<testsupport::LogCapture> log_;
    void (*savedPrintAt_)(const char*, int, int) = nullptr;
};

inline _ve_vertex Vertex(float x, float y, float z, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 128) {
    _ve_vertex v{};
    v.x = x;
    v.y = y;
    v.z = z;
    v.w = 1.0f;
    v.q = 1.0f;
    v.r = r;
    v.g = g;
    v.b = b;
    v.a = a;
    return v;
}

}  // namespace enginetest
