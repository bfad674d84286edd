#include "engine/hal/display_sync.h"

#include "console/gs/gs_library.h"
#include "console/kernel/hw_registers.h"
#include "console/kernel/vsync.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/dma_tasks.h"
#include "engine/hal/engine.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

std::atomic<uint32_t> veDisplayReadyToRender{1};
std::atomic<uint32_t> veDisplayFrameRenderDone{0};
std::atomic<uint32_t> veDisplayFrameLimitCount{0};
std::atomic<uint32_t> veDisplayFrameLimitMax{0};
std::atomic<uint32_t> veDisplayVSyncNoUpdateEnabled{0};
namespace engine {
std::atomic<uint32_t> fpsData[60];
std::atomic<uint32_t> fpsIndex{0};
}  // namespace engine
_ve_debug_timing veDisplayDebugTimings[3] = {{0, 8, 10}, {0, 8, 20}, {0, 8, 30}};

namespace {
veDisplayFrameShownFn g_shownFn = nullptr;
void* g_shownUser = nullptr;
std::atomic<uint64_t> g_shown{0};

void PutDisplayEnv(int odd) {
    _ve_display_env& d = veDisplayEnv[odd];
    d.disp.dispfb.DBY = static_cast<uint32_t>(odd);
    const uint32_t dh = d.disp.display.DH;
    d.disp.display.DH = dh - 4u * static_cast<uint32_t>(odd);
    sceGsPutDispEnv(&d.disp);
    d.disp.display.DH = dh;
}

void Advance() {
    fpsIndex.store((fpsIndex.load() + 1) % 60);
}
}  // namespace

void veDisplayResetStatusWords() {
    veDisplayFrameRenderDone.store(0);
    veDisplayVSyncNoUpdateEnabled.store(0);
    veDisplayReadyToRender.store(1);
    veDisplayFrameLimitCount.store(0);
    veDisplayFrameLimitMax.store(0);
    for (auto& f : fpsData) f.store(0);
    fpsIndex.store(0);
    g_shown.store(0);
}

int veVSyncIntHandler(int) {
    veClockMaintenance();
    veDisplayFrameLimitCount.fetch_add(1);
    if (veDisplayVSyncNoUpdateEnabled.load()) {
        if (veDmaTasksAreComplete()) {
            veDisplayFrameRenderDone.store(1);
            veDisplayReadyToRender.store(0);
        }
        fpsData[fpsIndex.load()].store(0);
        Advance();
        return 0;
    }
    const int odd = (console::HwRead32(console::kRegGsCsr) & (1u << 13)) ? 0 : 1;
    if (veDmaTasksAreComplete() && veDisplayReadyToRender.load() &&
        veDisplayFrameLimitCount.load() > veDisplayFrameLimitMax.load()) {
        veDisplayFrameLimitCount.store(0);
        sceGsSetHalfOffset(&veDownSampleEnv.draw1, 2048, 2048, static_cast<short>(odd));
        sceGsSetHalfOffset2(&veDownSampleEnv.draw2, 2048, 2048, static_cast<short>(odd));
        sceGsPutDrawEnv(odd ? &veDownSampleEnv.giftag2 : &veDownSampleEnv.giftag1);
        veDisplayInitFrameBufferSettings();
        PutDisplayEnv(odd);
        g_shown.fetch_add(1);
        if (g_shownFn) g_shownFn(g_shownUser);
        // Loop 14: the drawing registers and the clear sprite.
        veFrameEnv.giftag1.NLOOP = 14;
        veFrameEnv.giftag2.NLOOP = 14;
        sceGsPutDrawEnv(odd ? &veFrameEnv.giftag2 : &veFrameEnv.giftag1);
        veDisplayFrameRenderDone.store(1);
        veDisplayReadyToRender.store(0);
        fpsData[fpsIndex.load()].store(1);
    } else {
        PutDisplayEnv(odd);
        fpsData[fpsIndex.load()].store(0);
    }
    Advance();
    return 0;
}

void veDisplaySetMaxFPS(uint32_t n) {
    veDisplayFrameLimitMax.store(n);
}

uint32_t veDisplayGetFPS() {
    uint32_t sum = 0;
    for (auto& f : fpsData) sum += f.load();
    return sum;
}

void veDisplaySetDebugTimings(uint32_t on) {
    for (auto& t : veDisplayDebugTimings) t.status = on;
}

void veDisplayShowStatistics() {
    if (veDisplayDebugTimings[0].status)
        x_printfxy(static_cast<int>(veDisplayDebugTimings[0].x), static_cast<int>(veDisplayDebugTimings[0].y),
                   "FPS=%d\n", static_cast<int>(veEngineGetFPS()));
    if (veDisplayDebugTimings[1].status)
        x_printfxy(static_cast<int>(veDisplayDebugTimings[1].x), static_cast<int>(veDisplayDebugTimings[1].y),
                   "CPU=%03.2f", static_cast<double>(veEngineGetCpuTime() * 1000.0f));
    if (veDisplayDebugTimings[2].status)
        x_printfxy(static_cast<int>(veDisplayDebugTimings[2].x), static_cast<int>(veDisplayDebugTimings[2].y),
                   "DMA=%03.2f", static_cast<double>(veEngineGetDmaTime() * 1000.0f));
}

void veDisplayHardwareEnableDisplay() {
    // The display comes back on in the phase start-up gave it: after the odd field's blank. Each field
    // copies the picture its own way (the odd field's filter blends each row with the one below), so with a
    // frame limit the fields a frozen stretch left would otherwise decide where every later picture sits.
    veEngineHardwareWaitOdd();
    veDisplayVSyncNoUpdateEnabled.store(0);
}

void veDisplayHardwareDisableDisplay() {
    veDisplayVSyncNoUpdateEnabled.store(1);
}

void veDisplaySetFrameShownCallback(veDisplayFrameShownFn fn, void* user) {
    g_shownFn = fn;
    g_shownUser = user;
}

uint64_t veDisplayShownFrames() {
    return g_shown.load();
}
