#include "console/kernel/vsync.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "console/gs/gs_device.h"
#include "console/kernel/clock.h"
#include "console/stage/dma_stage.h"

namespace console {
namespace {

std::atomic<VsyncHandlerFn> g_handler{nullptr};
std::atomic<uint64_t> g_delivered{0};
// Real time: the 60 Hz boundary (clock cycles / cycles per blank) of the last delivered blank.
uint64_t g_lastBoundary = 0;
bool g_inHandler = false;

// At most this many overdue blanks are delivered at once after a long stall (a load, a breakpoint).
constexpr uint64_t kMaxCatchUp = 8;

}  // namespace

uint64_t VsyncDeliver() {
    // A blank is where the game takes its DMA data back: everything sent before it has been read (the GS
    // may still be drawing it; whatever looks at its drawing waits for that).
    console::dma::StageBlank();
    ClockTickVblank();
    gs::Gs().ToggleField();
    const uint64_t n = g_delivered.fetch_add(1) + 1;
    // A handler that waits for a blank itself would recurse; the blank is still counted.
    VsyncHandlerFn h = g_handler.load();
    if (h && !g_inHandler) {
        g_inHandler = true;
        h(0);
        g_inHandler = false;
    }
    return n;
}

void VsyncWait() {
    if (ClockGetMode() == ClockMode::Deterministic) {
        VsyncDeliver();
        return;
    }
    uint64_t boundary = ClockCycles() / kCyclesPerVblank;
    if (g_lastBoundary == 0 || boundary < g_lastBoundary) g_lastBoundary = boundary;
    if (boundary > g_lastBoundary) {
        uint64_t due = boundary - g_lastBoundary;
        if (due > kMaxCatchUp) due = kMaxCatchUp;
        for (uint64_t i = 0; i < due; ++i) VsyncDeliver();
        g_lastBoundary = boundary;
        return;
    }
    const uint64_t target = (g_lastBoundary + 1) * kCyclesPerVblank;
    for (;;) {
        const uint64_t now = ClockCycles();
        if (now >= target) break;
        const uint64_t ns = (target - now) * 1000000000ull / kCpuCyclesPerSecond;
        if (ns > 200000) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(ns - 100000));
        } else {
            std::this_thread::yield();
        }
    }
    g_lastBoundary += 1;
    VsyncDeliver();
}

uint64_t VsyncCount() {
    return g_delivered.load();
}

bool VsyncOddField() {
    // The field is the blank's, not the drawing's: nothing to wait for.
    return !gs::Gs().FieldBit();
}

void VsyncReset() {
    g_handler.store(nullptr);
    g_delivered.store(0);
    g_lastBoundary = 0;
    g_inHandler = false;
}

}  // namespace console

int sceGsSyncV(int) {
    console::VsyncWait();
    return console::VsyncOddField() ? 1 : 0;
}

VsyncHandlerFn sceGsSyncVCallback(VsyncHandlerFn handler) {
    return console::g_handler.exchange(handler);
}
