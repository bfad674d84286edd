// The GS set-up for the engine's single-buffer scheme: all drawing goes into one 640 x 448 frame buffer
// with a Z buffer; at each shown frame a filtered sprite copies it into the display buffer (with a half
// pixel field offset) and the frame buffer is cleared. Also the back colour, render-target clears queued
// as DMA work, the 2D depth conversion and the screen dump.
#pragma once

#include <cstdint>

#include "console/gs/gs_library.h"

struct _ve_view;

// GS memory (pages of 8 KB).
inline constexpr uint32_t kFrameBufferPage = 0;
inline constexpr uint32_t kZBufferPage = 0x8C;
inline constexpr uint32_t kDisplayBufferPage = 0x118;
inline constexpr uint32_t kDisplayBufferBlock = kDisplayBufferPage * 32;  // 0x2300

// One A+D register write.
struct _ve_ad {
    uint64_t value;
    uint64_t addr;
};

struct _ve_frame_env {
    sceGifTag giftag1;
    sceGsDrawEnv1 draw1;
    sceGsClear clear1;
    sceGifTag giftag2;
    sceGsDrawEnv2 draw2;
    sceGsClear clear2;
};

// The filtered copy: TEST, TEX0, TEX1, PRIM, UV, RGBAQ, XYZ2, UV, XYZ2.
struct _ve_sprite {
    _ve_ad test, tex0, tex1, prim, uv0, rgbaq, xyz0, uv1, xyz1;
};

struct _ve_smallframe_env {
    sceGifTag giftag1;
    sceGsDrawEnv1 draw1;
    _ve_sprite sprite1;
    sceGifTag giftag2;
    sceGsDrawEnv2 draw2;
    _ve_sprite sprite2;
};

struct _ve_display_env {
    sceGsDispEnv disp;
};

// A render-target clear: VIF codes, a GIF tag and 14 A+D writes, padded to 512 bytes.
struct alignas(16) _ve_clearframe_env {
    uint32_t vif[4];
    sceGifTag giftag;
    union {
        sceGsDrawEnv1 draw1;
        sceGsDrawEnv2 draw2;
    };
    sceGsClear clear;
    uint8_t pad[512 - 16 - 16 - 128 - 96];
};
static_assert(sizeof(_ve_clearframe_env) == 512);

// A view's own clear packet, filled by its owner: a DMA tag (rewritten when queued) and 10 quadwords
// of VIF codes and GS writes.
struct alignas(16) _ve_clear_region {
    uint64_t dmaTag[2];
    uint32_t data[40];
};

extern _ve_frame_env veFrameEnv;
extern _ve_smallframe_env veDownSampleEnv;
extern _ve_display_env veDisplayEnv[2];
extern uint8_t veDisplayBackColorR, veDisplayBackColorG, veDisplayBackColorB;
extern _ve_clearframe_env* veClearFrameEnv[2];
extern _ve_clearframe_env* veClearFramePtr;
namespace engine {
extern int clearCount;
}  // namespace engine
extern int ve_display_clear_context;
extern uint32_t veDumpCount;

// Current render target (the frame buffer, or a render buffer between switches).
extern uint32_t veFramePSM, veFrameFBW, veFrameFBP;
extern uint32_t veZBufferPSM, veZBufferFBW, veZBufferFBP;
extern uint32_t veDisplayPixelWidth, veDisplayPixelHeight;

int veDisplayHardwareInit();
void veInitDrawEnv();
void veDisplayInitFrameBufferSettings();
void veDisplaySetBackColor(uint8_t r, uint8_t g, uint8_t b);
void veDisplaySetResolution();
void veDisplayClearViewPort(_ve_view* view);
void veDisplayClearAllocateBuffers();
void veDisplayResetClearBuffers();
void veDisplayClearFrameBuffer(_ve_view* view, int useZ);
void veConvertZviewport2D(_ve_view* view, float z);
void veChangeZviewport2D(_ve_view* view);
// Writes the display buffer to "scrn%03d.raw" in the output directory; returns 1. An allocation or open
// that fails is reported on the console and the dump skipped.
int veDisplayHardWareScreenDump();
