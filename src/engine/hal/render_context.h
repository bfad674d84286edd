// Render contexts: the switch board over the immediate-mode render environment, the GS register set the
// primitive layer sends ahead of its primitives whenever a setter changed it.
#pragma once

#include <cstdint>

enum _ve_render_function : uint8_t {
    NEVER = 0,
    ALWAYS = 1,
    LESS = 2,
    LEQUAL = 3,
    EQUAL = 4,
    GEQUAL = 5,
    GREATER = 6,
    NOTEQUAL = 7,
    MODULATE = 8,
    DECAL = 9,
    HIGHLIGHT = 10,
    HIGHTLIGT2 = 11,
};

// Masks of veRenderContextEnable / Disable.
inline constexpr uint32_t kRenderZBuffer = 1;
inline constexpr uint32_t kRenderAlpha = 2;
inline constexpr uint32_t kRenderTexture = 4;
inline constexpr uint32_t kRenderShading = 8;
inline constexpr uint32_t kRenderFog = 16;
inline constexpr uint32_t kRenderZTest = 32;

// The render environment: a VIF/GIF packet of 13 quadwords (its layout is what the VIF and GS read).
struct alignas(16) _ve_render_environment {
    uint32_t vifCommands[4];
    uint64_t gifTag[2];
    uint64_t frame, frameAddr;
    uint64_t zbuf, zbufaddr;
    uint64_t xyoffset, xyoffsetAddr;
    uint64_t texFlush, texFlushAddr;
    uint64_t test, testAddr;
    uint64_t tex0, tex0Addr;
    uint64_t tex1, tex1Addr;
    uint64_t clamp, clampAddr;
    uint64_t scissor, scissorAddr;
    uint64_t alpha, alphaAddr;
    uint64_t texa, texaAddr;
};
static_assert(sizeof(_ve_render_environment) == 208);

struct _ve_render_environment_header {
    uint32_t size;
    _ve_render_environment* env;
};

struct _ve_render_context {
    uint8_t flags;  // bit 0 Z writes, 1 alpha, 2 texturing, 3 shading, 4 Z test
    uint8_t zBufferFunc, alphaFunc, textureFunc, zTestFunc;
};

extern _ve_render_context veRenderContext;
// Copy 0 addresses GS context 1, copy 1 context 2.
extern _ve_render_environment veRenderEnvironment[2];

void veRenderContextEnable(uint32_t mask);
void veRenderContextDisable(uint32_t mask);
void veRenderContextSetFunc(uint32_t mask, _ve_render_function f);
void veRenderContextInit();
void veRenderEnvironmentInit();
void veRenderSetScissor(int x0, int y0, int x1, int y1);
void veSetRenderXYOffsetEnv(int x, int y);
void veRenderSetTexture(uint32_t texBase, uint32_t bufWidth, uint32_t psm, uint32_t log2w, uint32_t log2h,
                        uint32_t palBase);
void veRenderSetWrapS(uint32_t mode);
void veRenderSetWrapT(uint32_t mode);
void veRenderGetEnvironment(_ve_render_environment_header* header);
