// GS draw environments for geometry drawn through VU1: per GS context a default environment built from
// the active view and the frame settings, and a per-frame area of slots that materials edit and send by
// reference ahead of their chains.
#pragma once

#include <cstdint>

#include "console/gs/gs_library.h"
#include "engine/hal/display_hw.h"

struct ve_texture_handle;

struct _ve_gs_tex {
    _ve_ad texflush, tex1, tex0, clamp;
};

struct alignas(16) _DrawEnv1 {
    uint32_t vif[4];
    sceGifTag giftag;
    sceGsDrawEnv1 gs_draw;
    _ve_gs_tex gs_tex;
    sceGsAlphaEnv gs_alpha;
};
struct alignas(16) _DrawEnv2 {
    uint32_t vif[4];
    sceGifTag giftag;
    sceGsDrawEnv2 gs_draw;
    _ve_gs_tex gs_tex;
    sceGsAlphaEnv gs_alpha;
};
static_assert(sizeof(_DrawEnv1) == 288 && sizeof(_DrawEnv2) == 288);

inline constexpr int kDrawEnvSlots = 2048;

namespace engine {
extern _DrawEnv1 defaultEnv1;
extern _DrawEnv2 defaultEnv2;
extern _DrawEnv1 drawenv1[2][kDrawEnvSlots];
extern _DrawEnv2 drawenv2[2][kDrawEnvSlots];
extern _DrawEnv1* drawEnvPtr1;
extern _DrawEnv2* drawEnvPtr2;
}  // namespace engine
extern int veTextureContextCount;

// Points both current pointers at the start of the half for `parity` and zeroes the counter.
void veDrawEnvStartFrame(int parity);

void veSwitchToRenderBuffer(const ve_texture_handle* handle, int ztest, int bpp);
void veSwitchToFrameBuffer();
void veSetDefaultDrawEnv1();
void veSetDefaultDrawEnv2();
void veCopyDefaultDrawEnv1();
void veCopyDefaultDrawEnv2();
void veSetDefaultTestEnv1(int ate, int atst, int aref, int afail, int date, int datm, int zte, int ztst);
void veSetDefaultTestEnv2(int ate, int atst, int aref, int afail, int date, int datm, int zte, int ztst);
void veSetDefaultScissorEnv1(int x0, int y0, int x1, int y1);
void veSetDefaultScissorEnv2(int x0, int y0, int x1, int y1);
void veSetDefaultMinMagFilter1(int minFilter, int magFilter);
void veSetDefaultMinMagFilter2(int minFilter, int magFilter);
void veSetDrawEnv1Texture(const ve_texture_handle* handle);
void veSetDrawEnv2Texture(const ve_texture_handle* handle);
void veSetTextureEnv2Wrap(int mode);
void veSetAlphaEnv2(int mode, int percentage);
// Each returns 0, or -1 when the frame's slots are used up (nothing is sent then).
int veSendDrawEnv1();
int veSendDrawEnv2();
void veSyncEnv2();
