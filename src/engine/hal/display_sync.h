// The vertical-blank side of the frame protocol: the handler that shows finished frames, the frame-rate
// limit, the frames-per-second ring, the timing statistics and freezing the display. The main program
// and the handler meet only through the status words, each written by one side.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<uint32_t> veDisplayReadyToRender;
extern std::atomic<uint32_t> veDisplayFrameRenderDone;
extern std::atomic<uint32_t> veDisplayFrameLimitCount;
extern std::atomic<uint32_t> veDisplayFrameLimitMax;
extern std::atomic<uint32_t> veDisplayVSyncNoUpdateEnabled;
namespace engine {
extern std::atomic<uint32_t> fpsData[60];
extern std::atomic<uint32_t> fpsIndex;
}  // namespace engine

struct _ve_debug_timing {
    uint32_t status;
    uint32_t x, y;
};
extern _ve_debug_timing veDisplayDebugTimings[3];

// The status words as start-up leaves them: nothing rendering, ready to show (an empty first frame).
void veDisplayResetStatusWords();

int veVSyncIntHandler(int);
void veDisplaySetMaxFPS(uint32_t n);
uint32_t veDisplayGetFPS();
void veDisplaySetDebugTimings(uint32_t on);
void veDisplayShowStatistics();
// Enable waits for the odd field's blank (as start-up does) before the frames reach the display again, so
// that frames shown every second blank always land on the same field; disable freezes the display.
void veDisplayHardwareEnableDisplay();
void veDisplayHardwareDisableDisplay();

// Host hook: called from the vertical-blank handler each time a frame has been copied to the display
// buffer (its picture is then console::gs::Gs().ReadDisplay()). Null removes it.
using veDisplayFrameShownFn = void (*)(void* user);
void veDisplaySetFrameShownCallback(veDisplayFrameShownFn fn, void* user);
// Frames shown since start-up.
uint64_t veDisplayShownFrames();
