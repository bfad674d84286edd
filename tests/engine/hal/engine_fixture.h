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
#include "console/pad/mtap.h"
#include "console/pad/pad.h"
#include "engine/hal/control.h"
#include "engine/hal/display.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/engine.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "engine/sys/math.h"
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

    static void RunFrames(int n) {
        for (int f = 0; f < n; ++f) {
            veEngineBeginFrame();
            veEngineEndFrame();
        }
    }

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

inline _matrix4 Translation(float x, float y, float z) {
    _matrix4 m;
    M4_Identity(&m);
    m.M[12] = x, m.M[13] = y, m.M[14] = z;
    return m;
}

// A 640 x 448 3D view, centred, aspect 1:1, camera at the origin looking down +z (x right, y down): a
// point (x, y, z) lands on pixel (320 + 512 x / z, 224 + 512 y / z). Display mode 0 again afterwards.
class View3DTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        veDisplayCreateView3D(&view_, 0, 0, 640, 448, kViewCentred | kViewAspectFromViewport, 1.0f, 65535.0f);
        M4_Identity(&view_.cameraMatrix);
    }
    void TearDown() override {
        veDisplaySetMode(0);
        EngineTest::TearDown();
    }
    // Activates the view with a translation as the local-to-world.
    void Place(float x, float y, float z) {
        veDisplayActivateView(&view_);
        const _matrix4 t = Translation(x, y, z);
        veEngineSetLocalToWorld(&t);
    }
    _ve_view view_{};
};

inline _ve_vertex Vertex(float x, float y, float z, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 128) {
    _ve_vertex v{};
    v.x = x, v.y = y, v.z = z, v.w = v.q = 1.0f;
    v.r = r, v.g = g, v.b = b, v.a = a;
    return v;
}

// The controls started afresh as the boot starts them: a fresh clock, no pad or multitap input.
inline void StartControls() {
    console::ClockReset();
    console::VsyncReset();
    console::PadReset();
    console::MtapReset();
    veControlReset();
    x_InitMATH();
    veControlInit();
}

}  // namespace enginetest
