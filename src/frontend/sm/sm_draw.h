// The screen manager's drawing back end: the 2D clip area, image instances built from bitmap
// descriptors, textured sprites and four-colour rectangles as engine quads in screen pixels, the
// resolution, the run time and the page-flip count.
#pragma once

#include <cstdint>

#include "engine/sys/bitmap.h"

struct _ve_view;

// 2D depth: reset at the start of each screen-manager frame, lowered per sprite.
extern float SMOS_Z;
inline constexpr float SMOS_ZBase = 0.0f;
inline constexpr float SMOS_ZInc = 0.01f;

// Sets up the full-screen 2D view the screen manager draws in and the clip area (the whole screen).
void DRAW_Init();
// Start of a screen-manager frame: activates the view, resets the depth, forgets the render state.
void DRAW_BeginFrame();
// Someone else changed the engine's render contexts: set them again before the next quad.
void DRAW_InvalidateState();
_ve_view* DRAW_GetView();

// Inclusive pixel bounds; quads are cut to them.
void ENG_Set2DClipArea(int32_t L, int32_t T, int32_t R, int32_t B);
void ENG_Get2DClipArea(int32_t* L, int32_t* T, int32_t* R, int32_t* B);
void ENG_GetResolution(int16_t* width, int16_t* height);
float ENG_GetRunTime();
uint32_t ENG_GetPageFlipCount();
// Counts a page flip. Nothing in the game calls it: the count stays at 0, so no sprite's or glyph's
// expiry (the count + 30 at its last use) ever passes and SM_ManageResource frees nothing for age: what
// the front end fetches stays loaded until it is released or the front end ends (SM_KillResource).
// Tests call it to age what they fetched.
void ENG_CountPageFlip();

// An image instance is one word: the address of the bitmap descriptor it shows, or 0.
void VRAM_InitInstance(uint32_t* instance);
int VRAM_SetupFromBMP(uint32_t* instance, BMP_INSTANCE* bmp);
void VRAM_KillInstance(uint32_t* instance);

// Bitmap descriptor fields used here: format, count (colours), dims[0..2] (width, height, line
// bytes), words[0] (pixels), words[2] (palette).
void DRAW_SetupBitmap(BMP_INSTANCE* bmp, int format, int width, int height, int lineBytes, const void* pixels,
                      const void* palette, int colours);

void DRAW_SetMode(uint32_t mode);
void DRAW_ClearMode();
uint32_t DRAW_GetMode();

// Makes the instance's image the active texture; 0 when it has none or it cannot be uploaded.
int DRAW_SetTexture(const uint32_t* instance);
void DRAW_Sprite(uint32_t colour, int32_t x, int32_t y, float z, int32_t w, int32_t h);
void DRAW_SpriteUV(uint32_t colour, int32_t x, int32_t y, float z, int32_t w, int32_t h, float uMin,
                   float vMin, float uMax, float vMax);
void DRAW_Rectangle(uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br, int32_t x, int32_t y, float z,
                    int32_t w, int32_t h);
